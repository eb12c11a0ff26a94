// `tarndb check` on a file another program left unfinished or changes under it: a journal
// beside the file is reported with what the next open will do, and the file is judged as
// that open will leave it, without writing; a file cut while it is checked gives a report,
// never a fault.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/os/fault_env.h"
#include "tarndb/check.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::ReadWhole;
using testing::RunTarndb;
using testing::ToolRun;
namespace fs = std::filesystem;

// Table "books": id autoinc, title string:20 (unique index), note memo; 40 rows.
class CheckBesideJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"add-table", db, "books", "--field", "id:autoinc", "--field",
                             "title:string:20", "--field", "note:memo", "--index",
                             "byTitle:unique:title"},
                            dir.path())
                      .status,
                  0);
        std::ofstream csv(dir.file("b.csv"), std::ios::binary);
        csv << "title,note\n";
        for (int i = 0; i < 40; ++i)
            csv << "b" << (i * 13 % 40) << "," << std::string(i * 50, 'x') << "\n";
        csv.close();
        ASSERT_EQ(RunTarndb({"import", db, "books", dir.file("b.csv")}, dir.path()).status, 0);
        base = ReadWhole(db);
    }

    void Restore() {
        fs::remove(journal);
        std::ofstream(db, std::ios::binary | std::ios::trunc) << base;
    }

    // One transaction that appends rows (memos longer than a page), rewrites one and deletes
    // one, cut short by a crash after `n` writes. Returns false when it finished first.
    bool CrashedTransaction(long n) {
        FaultEnv env;
        tarn::testing::ScopedEnv scoped(&env);
        TTarnDatabase database(nullptr, "Db");
        database.SetDatabaseName("check-journal-writer");
        database.SetFileName(db);
        database.Open();
        TTarnTable books(nullptr, "Books");
        books.SetDatabaseName("check-journal-writer");
        books.SetTableName("books");
        books.Open();
        env.CrashAfterWrites(n);
        bool crashed = false;
        try {
            database.StartTransaction();
            for (int i = 0; i < 4; ++i) {
                books.Append();
                books.FieldByName("title")->SetAsString("new" + std::to_string(i));
                books.FieldByName("note")->SetAsString(std::string(3000 + i * 1500, 'n'));
                books.Post();
            }
            books.First();
            books.Edit();
            books.FieldByName("note")->SetAsString("rewritten");
            books.Post();
            books.Last();
            books.Delete();
            database.Commit();
        } catch (const Exception&) {
            crashed = true;
        }
        // The close tries to roll back: after the crash, in vain.
        try {
            books.Close();
            database.Close();
        } catch (const Exception&) {
        }
        return crashed;
    }

    // Live rows of "books" as the engine shows them after it opened the file.
    int EngineCount() {
        TTarnDatabase database(nullptr, "Db");
        database.SetDatabaseName("check-journal-reader");
        database.SetFileName(db);
        database.Open();
        TTarnTable books(nullptr, "Books");
        books.SetDatabaseName("check-journal-reader");
        books.SetTableName("books");
        books.Open();
        int n = books.RecordCount();
        books.Close();
        database.Close();
        return n;
    }

    tarn::testing::TQuietTimers timers;
    tarn::testing::TempDir dir;
    std::string db = dir.file("books.tdb");
    // The journal is named after the file's real path.
    std::string journal = fs::canonical(dir.path()).string() + "/books.tdb-journal";
    std::string base;
};

// At every point of the transaction where it can stop, the check sees the rows the engine
// will show: sound, with the count of before the transaction (or after it, once it
// committed), and it says what the journal will do. The check writes nothing.
TEST_F(CheckBesideJournal, ChecksTheFileAsTheNextOpenWillLeaveIt) {
    int hot = 0, torn = 0;
    // After 0 writes the journal is there, but its header never made it.
    for (long n = 0;; ++n) {
        SCOPED_TRACE("crash after write " + std::to_string(n));
        Restore();
        if (!CrashedTransaction(n)) break;
        ASSERT_LT(n, 5000) << "the transaction never ends";
        const bool hasJournal = fs::exists(journal);
        const std::string fileBefore = ReadWhole(db);
        const std::string journalBefore = hasJournal ? ReadWhole(journal) : "";
        ToolRun r = RunTarndb({"check", db}, dir.path());
        EXPECT_EQ(ReadWhole(db), fileBefore) << "the check wrote to the file";
        EXPECT_EQ(fs::exists(journal), hasJournal);
        if (hasJournal) {
            EXPECT_EQ(ReadWhole(journal), journalBefore);
            if (r.out.find("will roll back") != std::string::npos) ++hot;
            if (r.out.find("is incomplete") != std::string::npos) ++torn;
            EXPECT_NE(r.out.find(db + ": journal '" + journal + "'"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out.find("journal"), std::string::npos) << r.out;
        }
        const int count = EngineCount();  // plays the journal back
        EXPECT_TRUE(count == 40 || count == 43) << count;
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("ok (1 table, " + std::to_string(count) + " live records"),
                  std::string::npos)
            << "the engine shows " << count << " rows\n"
            << r.out;
    }
    EXPECT_GT(hot, 0);
    EXPECT_GT(torn, 0);
}

// --recover plays the journal back first and checks the result; a journal that does not
// belong to the file is refused, and the file is checked as it is.
TEST_F(CheckBesideJournal, RecoverRollsBackAndForeignJournalsAreNamed) {
    long n = 0;
    std::string report;
    for (;; ++n) {
        Restore();
        ASSERT_TRUE(CrashedTransaction(n));
        if (!fs::exists(journal)) continue;
        report = RunTarndb({"check", db}, dir.path()).out;
        if (report.find("will roll back") != std::string::npos && ReadWhole(db) != base) break;
    }
    const std::string hotJournal = ReadWhole(journal);

    ToolRun r = RunTarndb({"check", db, "--recover"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("was played back and removed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ok (1 table, 40 live records"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(ReadWhole(db), base);

    // The same journal beside another database: the check names it as foreign and judges
    // the file itself.
    ASSERT_EQ(RunTarndb({"create", db + ".other"}, dir.path()).status, 0);
    fs::rename(db + ".other", db);
    std::ofstream(journal, std::ios::binary) << hotJournal;
    ToolRun foreign = RunTarndb({"check", db}, dir.path());
    EXPECT_EQ(foreign.status, 0) << foreign.out << foreign.err;
    EXPECT_NE(foreign.out.find("does not belong to this file"), std::string::npos) << foreign.out;
    EXPECT_NE(foreign.out.find("ok (0 tables"), std::string::npos) << foreign.out;
    EXPECT_TRUE(fs::exists(journal));
}

// Another program cuts the file while the checker reads it (it does not ask for the lock):
// the reads past the new end are reported, the checker is not killed. Runs in a child so that
// a fault shows as a failed test.
TEST(CheckOfACutFile, ReportsInsteadOfFaulting) {
    tarn::testing::TQuietTimers timers;
    tarn::testing::TempDir dir;
    std::string db = dir.file("big.tdb");
    ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
    ASSERT_EQ(
        RunTarndb({"add-table", db, "rows", "--field", "id:autoinc", "--field", "text:string:250"},
                  dir.path())
            .status,
        0);
    std::ofstream csv(dir.file("r.csv"), std::ios::binary);
    csv << "text\n";
    for (int i = 0; i < 2000; ++i) csv << std::string(200, static_cast<char>('a' + i % 26)) << "\n";
    csv.close();
    ASSERT_EQ(RunTarndb({"import", db, "rows", dir.file("r.csv")}, dir.path()).status, 0);
    ASSERT_GT(fs::file_size(db), 400000u);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TCheckOptions options;
        bool cut = false;
        options.progress = [&](int64_t, int64_t) {
            if (!cut) fs::resize_file(db, 8192);
            cut = true;
        };
        TCheckReport report = CheckDatabaseFile(db, options);
        bool named = false;
        for (const TCheckProblem& p : report.problems)
            if (p.text.find("the file shrank from") != std::string::npos &&
                p.text.find(" to 8192 bytes while it was checked") != std::string::npos)
                named = true;
        _exit(cut && named ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status))
        << "the checker was killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "the cut was not reported";
}

}  // namespace
}  // namespace tarn::cli
