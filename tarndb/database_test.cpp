#include "tarndb/database.h"

#include <gtest/gtest.h>

#include "platform/timer/timer.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/session.h"
#include "tarndb/table.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::TempDir;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EAbort&) {
        return "(abort)";
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// Stands in for a dataset: attaches through the session as a dataset does, and closes
// (detaching) when its database disconnects.
class FakeDataSet : public TTarnDatabaseClient {
public:
    explicit FakeDataSet(std::string databaseName, std::string sessionName = "")
        : databaseName_(std::move(databaseName)), sessionName_(std::move(sessionName)) {}
    ~FakeDataSet() override { Close(); }
    void Open() {
        if (TTarnSession* named = Sessions().LookupSession(sessionName_))
            named->ClaimWaitingDatabase(databaseName_);
        session_ = Sessions().RequireSession(sessionName_);
        db_ = session_->AttachDatabase(databaseName_, nullptr, true);
        db_->RegisterClient(this);
        try {
            db_->VerifyAccess();
        } catch (...) {
            Close();
            throw;
        }
    }
    void Close() {
        if (!db_) return;
        TTarnDatabase* db = db_;
        db_ = nullptr;
        db->UnregisterClient(this);
        session_->DetachDatabase(db);
    }
    TTarnDatabase* Database() const { return db_; }
    void DatabaseConnectionChanged(bool connected) override { changes.push_back(connected); }
    void CloseForDatabase() override { Close(); }
    void DatabaseMediumChanged(TTarnDBMediumType) override {}
    std::vector<bool> changes;

private:
    std::string databaseName_, sessionName_;
    TTarnSession* session_ = nullptr;
    TTarnDatabase* db_ = nullptr;
};

class DatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("Catalogue.dat");
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "T", {{"a", ftInteger}});
    }
};

TEST_F(DatabaseTest, DatasetsNamingOneFileShareOneTemporaryDatabase) {
    std::string upper = dir.path() + "/CATALOGUE.DAT";
    FakeDataSet a(path), b(upper), c(path);
    // The same path in another letter case names the same database; the file itself is
    // opened by the first name.
    a.Open();
    b.Open();
    c.Open();
    ASSERT_EQ(a.Database(), b.Database());
    ASSERT_EQ(a.Database(), c.Database());
    TTarnDatabase* db = a.Database();
    EXPECT_TRUE(db->Temporary());
    EXPECT_EQ(db->RefCount(), 3);
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->DatabaseName(), path);
    ASSERT_EQ(db->TableDefs().Count(), 1);
    EXPECT_NE(db->FindTableStorage("t"), nullptr);

    // A relative path is another name: a second database on the same file.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    FakeDataSet rel("Catalogue.dat");
    rel.Open();
    EXPECT_NE(rel.Database(), db);
    rel.Close();
    ASSERT_EQ(chdir(cwd), 0);

    a.Close();
    b.Close();
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), db);
    c.Close();  // the last release frees the temporary database
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), nullptr);
    a.Open();  // and the next open connects anew
    EXPECT_TRUE(a.Database()->Connected());
    EXPECT_EQ(a.Database()->RefCount(), 1);
}

TEST_F(DatabaseTest, KeepConnectionsKeepsTheTemporaryDatabase) {
    TTarnSession session(nullptr, "S");
    session.SetSessionName("KeepSession");
    session.SetKeepConnections(true);
    FakeDataSet a(path, "KeepSession");
    a.Open();
    TTarnDatabase* db = a.Database();
    a.Close();
    EXPECT_EQ(session.LookupDatabase(path), db);
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->RefCount(), 0);
    session.SetActive(false);  // stopping the session frees it
    EXPECT_EQ(session.LookupDatabase(path), nullptr);
}

TEST_F(DatabaseTest, ExplicitDisconnectOfATemporaryDatabaseClosesItsDatasetsSafely) {
    FakeDataSet a(path), b(path);
    a.Open();
    b.Open();
    TTarnDatabase* db = a.Database();
    int disconnected = 0;
    db->AfterDisconnect = [&](TTarnDatabase& d) {
        // The database is whole until its disconnect has finished.
        EXPECT_FALSE(d.Connected());
        EXPECT_EQ(d.DatabaseName(), path);
        ++disconnected;
    };
    db->SetConnected(false);  // the datasets detach while it disconnects
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(a.Database(), nullptr);
    EXPECT_EQ(b.Database(), nullptr);
    EXPECT_EQ(a.changes, std::vector<bool>{false});
    // Its last user let go during the disconnect: it is gone from its session at once.
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), nullptr);
    a.Open();  // the next dataset gets a new connection
    ASSERT_NE(a.Database(), nullptr);
    EXPECT_TRUE(a.Database()->Connected());
    EXPECT_EQ(a.Database()->RefCount(), 1);
    a.Close();
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), nullptr);

    // Table components: a disconnect closes them and frees the database they shared.
    TTarnTable t1(nullptr, "T1"), t2(nullptr, "T2");
    for (TTarnTable* t : {&t1, &t2}) {
        t->SetDatabaseName(path);
        t->SetTableName("T");
        t->Open();
    }
    ASSERT_EQ(t1.Database(), t2.Database());
    t1.Database()->SetConnected(false);
    EXPECT_FALSE(t1.Active());
    EXPECT_FALSE(t2.Active());
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), nullptr);
    t2.Open();
    EXPECT_EQ(t2.RecordCount(), 0);
}

TEST_F(DatabaseTest, ExplicitDisconnectKeepsATemporaryDatabaseItsSessionKeeps) {
    TTarnSession session(nullptr, "KS");
    session.SetSessionName("KeepAfterDisconnect");
    session.SetKeepConnections(true);
    FakeDataSet a(path, "KeepAfterDisconnect");
    a.Open();
    TTarnDatabase* db = a.Database();
    db->SetConnected(false);
    EXPECT_EQ(a.Database(), nullptr);
    EXPECT_EQ(session.LookupDatabase(path), db);  // KeepConnection: stays for the next open
    a.Open();
    EXPECT_EQ(a.Database(), db);
    EXPECT_TRUE(db->Connected());
    a.Close();
}

TEST_F(DatabaseTest, ADatabaseLeftInTheDefaultSessionMovesToItsOwnSessionWhenATableNamesIt) {
    // Set up before its session exists, the database waits in the default session.
    TTarnDatabase db(nullptr, "D2");
    db.SetDatabaseName("alias2");
    db.SetFileName(path);
    db.SetSessionName("Second");
    ASSERT_EQ(&db.Session(), &Sessions().DefaultSession());
    TTarnSession session(nullptr, "S2");
    session.SetSessionName("Second");

    TTarnTable t(nullptr, "T2");
    t.SetSessionName("second");
    t.SetDatabaseName("ALIAS2");
    t.SetTableName("T");
    t.Open();  // the alias, not a file named after it
    EXPECT_EQ(t.Database(), &db);
    EXPECT_EQ(&db.Session(), &session);
    EXPECT_TRUE(session.Active());
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase("alias2"), nullptr);
    EXPECT_EQ(session.LookupDatabase("alias2"), &db);
    EXPECT_EQ(db.RefCount(), 1);
    t.Close();
    EXPECT_FALSE(db.Connected());

    // A database of the default session named by its own session name stays where it is:
    // a table of another session does not take it.
    TTarnDatabase plain(nullptr, "D3");
    plain.SetDatabaseName("alias3");
    plain.SetFileName(path);
    TTarnTable other(nullptr, "T3");
    other.SetSessionName("Second");
    other.SetDatabaseName("alias3");
    other.SetTableName("T");
    EXPECT_NE(ErrorOf([&] { other.Open(); }), "(no error)");  // "alias3" is no file
    EXPECT_EQ(&plain.Session(), &Sessions().DefaultSession());
}

TEST_F(DatabaseTest, ConnectAndDisconnectEventsInOrder) {
    TTarnDatabase db(nullptr, "DB1");
    db.SetDatabaseName("events");
    db.SetFileName(path);
    std::vector<std::string> log;
    db.BeforeConnect = [&](TTarnDatabase& d) {
        log.push_back(d.Connected() ? "before+" : "before-");
    };
    db.AfterConnect = [&](TTarnDatabase& d) { log.push_back(d.Connected() ? "after+" : "after-"); };
    db.BeforeDisconnect = [&](TTarnDatabase& d) {
        log.push_back(d.Connected() ? "bdis+" : "bdis-");
    };
    db.AfterDisconnect = [&](TTarnDatabase& d) {
        log.push_back(d.Connected() ? "adis+" : "adis-");
    };
    db.Open();
    db.Open();  // nothing happens when connected
    std::vector<std::string> names;
    db.ListTableNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"T"});
    db.Close();
    names = {"kept"};
    db.ListTableNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_EQ(log, (std::vector<std::string>{"before-", "after+", "bdis+", "adis-"}));
}

TEST_F(DatabaseTest, FailureMessages) {
    TTarnDatabase named(nullptr, "DB1");
    EXPECT_EQ(ErrorOf([&] { named.Open(); }), "DB1: Database name missing");
    named.SetDatabaseName("one");
    named.SetFileName(path);
    named.Open();
    EXPECT_EQ(ErrorOf([&] { named.SetFileName("x"); }),
              "DB1: Cannot perform this operation on an open database");
    EXPECT_EQ(ErrorOf([&] { named.SetDatabaseName("x"); }),
              "DB1: Cannot perform this operation on an open database");
    EXPECT_EQ(ErrorOf([&] { named.SetExclusive(true); }),
              "DB1: Cannot perform this operation on an open database");
    EXPECT_EQ(ErrorOf([&] { named.SetSessionName("x"); }),
              "DB1: Cannot perform this operation on an open database");
    TTarnDatabase twin(nullptr, "DB2");
    EXPECT_EQ(ErrorOf([&] { twin.SetDatabaseName("ONE"); }), "Duplicate database name 'ONE'");
    twin.SetDatabaseName("two");
    twin.SetSessionName("Nowhere");  // no such session: stored, no error
    EXPECT_EQ(ErrorOf([&] { twin.Open(); }), "Invalid session name Nowhere");

    TTarnSession s1(nullptr, "S1");
    EXPECT_EQ(ErrorOf([&] { s1.SetActive(true); }), "S1: Session name missing");
    s1.SetSessionName("Alpha");
    TTarnSession s2(nullptr, "S2");
    EXPECT_EQ(ErrorOf([&] { s2.SetSessionName("ALPHA"); }), "S2: Duplicate session name 'ALPHA'");
    s1.SetActive(true);
    EXPECT_EQ(ErrorOf([&] { s1.SetSessionName("Beta"); }),
              "S1: Cannot perform this operation on an active session");
    EXPECT_EQ(ErrorOf([&] { s1.SetAutoSessionName(true); }),
              "S1: Cannot perform this operation on an active session");
    EXPECT_EQ(ErrorOf([&] { Sessions().RequireSession("Gamma"); }), "Invalid session name Gamma");
    EXPECT_EQ(Sessions().LookupSession(""), &Sessions().DefaultSession());

    TTarnOwner form;
    TTarnSession a(&form, "SA");
    TTarnSession b(&form, "SB");
    EXPECT_EQ(ErrorOf([&] { a.SetAutoSessionName(true); }),
              "SA: Cannot enable AutoSessionName property with more than one session on a form or "
              "data-module");
    TTarnOwner form2;
    TTarnSession c(&form2, "SC");
    c.SetAutoSessionName(true);
    EXPECT_EQ(ErrorOf([&] { c.SetSessionName("x"); }),
              "SC: Cannot modify SessionName while AutoSessionName is enabled");
    EXPECT_EQ(ErrorOf([&] { TTarnSession d(&form2, "SD"); }),
              "Cannot add a session to the form or data-module while session 'SC' has "
              "AutoSessionName enabled");
    c.SetAutoSessionName(false);
}

TEST(Sessions, AutoSessionNameNumbersAndOwnerComponents) {
    TTarnOwner form1, form2;
    TTarnSession s1(&form1, "S1");
    TTarnDatabase db1(&form1, "D1");
    s1.SetAutoSessionName(true);
    EXPECT_EQ(s1.SessionName(), "S1_1");
    EXPECT_EQ(&db1.Session(), &s1);  // the owner's database moves to the session
    EXPECT_EQ(db1.SessionName(), "S1_1");
    TTarnSession s2(&form2, "S2");
    s2.SetAutoSessionName(true);
    EXPECT_EQ(s2.SessionName(), "S2_2");
    s1.SetAutoSessionName(false);
    s2.SetAutoSessionName(false);
    s2.SetAutoSessionName(true);
    EXPECT_EQ(s2.SessionName(), "S2_1");
    s2.SetComponentName("Renamed");
    EXPECT_EQ(s2.SessionName(), "Renamed_1");
    TTarnDatabase late(&form2, "D2");  // joins the owner's auto-named session at once
    EXPECT_EQ(&late.Session(), &s2);
    s2.SetAutoSessionName(false);
}

TEST(Sessions, LockSettingsStoreNegativeAsZeroAndReachTheFileLock) {
    TempDir dir;
    std::string path = dir.file("l.dat");
    TTarnDBCreator::CreateDatabase(path);
    TTarnSession session(nullptr, "LS");
    session.SetSessionName("LockSession");
    session.SetLockRetryCount(-5);
    EXPECT_EQ(session.LockRetryCount(), 0);
    session.SetLockWaitTime(-1);
    EXPECT_EQ(session.LockWaitTime(), 0);
    session.SetLockRetryCount(2);
    session.SetLockWaitTime(7);

    testing::SleepRecordingEnv env;
    testing::ScopedEnv scoped(&env);
    TTarnDatabase db(nullptr, "LD");
    db.SetDatabaseName("locked");
    db.SetFileName(path);
    db.SetSessionName("LockSession");
    db.Open();
    EXPECT_EQ(&db.Session(), &session);
    TTarnDBFileIO holder(nullptr, TTarnDBMediumType::mtDisk, false);
    holder.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    holder.AcquireFileLock();
    EXPECT_EQ(ErrorOf([&] { db.FileIO()->AcquireFileLock(); }),
              "Wait for unlock time out: database file '" + path +
                  "' is locked by another connection's transaction");
    EXPECT_EQ(env.sleeps, (std::vector<int>{7, 7}));
    db.Close();
}

TEST_F(DatabaseTest, FlushTimerFlushesOnceAfterAWriteAndNotWhileIdle) {
    TManualTimerDriver driver;
    SetTimerDriver(&driver);
    {
        TTarnDatabase db(nullptr, "FD");
        db.SetDatabaseName("flush");
        db.SetFileName(path);
        db.Open();
        EXPECT_EQ(driver.Running(), 0);  // idle: nothing armed
        TTarnTableIO* t = db.FindTableStorage("T");
        t->AcquireTable();
        testing::RecordBuffer rec(*t);
        rec.Append();
        EXPECT_FALSE(db.FileIO()->IsFlushed());
        EXPECT_EQ(driver.Running(), 1);
        EXPECT_EQ(driver.LastInterval(), 1000);
        EXPECT_EQ(driver.Fire(), 1);
        EXPECT_TRUE(db.FileIO()->IsFlushed());
        EXPECT_EQ(driver.Fire(), 0);  // idle again: not flushed again

        db.SetAutoFlushInterval(5000);
        db.SetAutoFlush(true);
        rec.Append();
        EXPECT_EQ(driver.LastInterval(), 5000);
        EXPECT_EQ(driver.Fire(), 1);
        EXPECT_TRUE(db.FileIO()->IsFlushed());
        db.SetAutoFlush(false);  // stops the timer: writes stay unflushed
        rec.Append();
        EXPECT_EQ(driver.Running(), 0);
        EXPECT_FALSE(db.FileIO()->IsFlushed());
        t->ReleaseTable();
    }
    SetTimerDriver(nullptr);
}

TEST_F(DatabaseTest, AutoFlushIntervalChangedWhileAutoFlushIsOffIsNotLost) {
    TManualTimerDriver driver;
    SetTimerDriver(&driver);
    {
        TTarnDatabase db(nullptr, "FI");
        db.SetDatabaseName("interval");
        db.SetFileName(path);
        db.Open();
        TTarnTableIO* t = db.FindTableStorage("T");
        t->AcquireTable();
        testing::RecordBuffer rec(*t);
        auto periodOfNextWrite = [&] {
            rec.Append();
            const int period = driver.LastInterval();
            driver.Fire();
            return period;
        };
        // The timer runs from the start: a new interval is its period at once.
        db.SetAutoFlushInterval(3000);
        EXPECT_EQ(db.AutoFlushInterval(), 3000);
        EXPECT_EQ(periodOfNextWrite(), 3000);
        // Switched off, then a new interval: switching on again uses the new one.
        db.SetAutoFlush(true);
        db.SetAutoFlush(false);
        db.SetAutoFlushInterval(7000);
        rec.Append();
        EXPECT_EQ(driver.Running(), 0);
        db.SetAutoFlush(true);  // the write waiting since is flushed within the new period
        EXPECT_EQ(driver.LastInterval(), 7000);
        EXPECT_EQ(driver.Fire(), 1);
        EXPECT_TRUE(db.FileIO()->IsFlushed());
        db.SetAutoFlushInterval(2000);
        EXPECT_EQ(periodOfNextWrite(), 2000);
        t->ReleaseTable();
    }
    SetTimerDriver(nullptr);
}

TEST(DatabasePassword, PromptCancelWrongAndRight) {
    TempDir dir;
    std::string path = dir.file("e.dat");
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Blowfish";
    settings.password = "open sesame";
    TTarnDBCreator::CreateDatabase(path, settings);

    int prompts = 0;
    std::string answer;
    bool ok = false;
    SetPasswordPrompt([&](const std::string& name, std::string& password) {
        ++prompts;
        EXPECT_EQ(name, path);
        password = answer;
        return ok;
    });
    FakeDataSet ds(path);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "(abort)");  // cancel: silent, dataset closed
    EXPECT_EQ(ds.Database(), nullptr);
    EXPECT_EQ(prompts, 1);

    // Keep the connection so the wrong password stays remembered.
    TTarnDatabase db(nullptr, "PD");
    db.SetDatabaseName(path);
    db.SetKeepConnection(true);
    db.Open();
    ok = true;
    answer = "wrong";
    FakeDataSet a(path);
    EXPECT_EQ(ErrorOf([&] { a.Open(); }), "Access denied");
    EXPECT_EQ(ErrorOf([&] { a.Open(); }), "Access denied");  // remembered: no prompt
    EXPECT_EQ(prompts, 2);
    db.Close();  // forgets the password
    answer = "open sesame";
    a.Open();
    EXPECT_EQ(prompts, 3);
    EXPECT_TRUE(db.CanAccess());
    a.Close();

    SetPasswordPrompt(nullptr);
    db.Close();
    FakeDataSet b(path);
    EXPECT_EQ(ErrorOf([&] { b.Open(); }), "Access denied");  // no prompt installed
}

}  // namespace
}  // namespace tarn
