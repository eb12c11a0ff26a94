// Sessions: TTarnSession groups databases under a session name, supplies the lock retry
// settings of the file lock and creates databases on demand for datasets that name a
// database nobody created. TTarnSessionList is the process-wide registry of sessions; the
// default session "Default" exists from the first use of the engine to the end of the
// process.
//
// Threads: the session list is guarded by its own lock; starting and stopping sessions,
// AttachDatabase and the auto-name numbers by the process-wide session lock. Databases and
// datasets are used from the thread that created them.
// Raises: EDatabaseError with the messages of the session rules, prefixed with the
// session's component name where it has one.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tarndb/defs.h"
#include "tarndb/owner.h"

namespace tarn {

class TTarnDatabase;

class TTarnSession : public TTarnOwned {
public:
    // Joins the session list. Fails when the owner already holds a session with
    // AutoSessionName.
    explicit TTarnSession(TTarnOwner* owner = nullptr, const std::string& componentName = "");
    ~TTarnSession() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool AutoSessionName() const { return autoSessionName_; }
    void SetAutoSessionName(bool value);
    bool KeepConnections() const { return keepConnections_; }
    void SetKeepConnections(bool value) { keepConnections_ = value; }
    const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(const std::string& name);
    bool SQLHourGlass() const { return sqlHourGlass_; }
    void SetSQLHourGlass(bool value) { sqlHourGlass_ = value; }
    int LockRetryCount() const { return lockRetryCount_; }
    void SetLockRetryCount(int value) { lockRetryCount_ = value < 0 ? 0 : value; }
    int LockWaitTime() const { return lockWaitTime_; }
    void SetLockWaitTime(int value) { lockWaitTime_ = value < 0 ? 0 : value; }
    std::function<void(TTarnSession&)> OnStartup;

    void SetComponentName(const std::string& name) override;

    // The first database whose DatabaseName matches (letter case ignored), or nullptr.
    TTarnDatabase* LookupDatabase(const std::string& name) const;
    // Finds or creates (temporary) the database, connects it and counts one use when
    // `countIt`. `medium` is the dataset's medium type for a database created here.
    TTarnDatabase* AttachDatabase(const std::string& name, TTarnOwner* owner, bool countIt,
                                  TTarnDBMediumType medium = TTarnDBMediumType::mtDisk);
    // One use fewer; at 0 without KeepConnection a temporary database is freed, any other
    // disconnected. A temporary database in the middle of its own connect or disconnect
    // is freed once its disconnect has finished.
    void DetachDatabase(TTarnDatabase* database);
    // A dataset of this session is about to open on `databaseName`: when this session
    // has no database of that name but the default session has one, that database first
    // moves to the session its own SessionName names (as a database set up before its
    // session existed waits in the default session), and that session starts.
    void ClaimWaitingDatabase(const std::string& databaseName);

    const std::vector<TTarnDatabase*>& Databases() const { return databases_; }
    int AutoNameNumber() const { return autoNumber_; }

private:
    friend class TTarnDatabase;
    friend class TTarnSessionList;
    struct DefaultTag {};
    TTarnSession(DefaultTag);
    void AddDatabase(TTarnDatabase* db);
    void RemoveDatabase(TTarnDatabase* db);
    // Moving a database between sessions: the memory of a temporary one moves along.
    std::unique_ptr<TTarnDatabase> ReleaseDatabase(TTarnDatabase* db);
    void AdoptDatabase(TTarnDatabase* db, std::unique_ptr<TTarnDatabase> owned);
    // Frees a database this session created on demand.
    void FreeTemporary(TTarnDatabase* db);
    // The disconnect of `db` has finished: frees it when it is temporary and its last
    // use was released meanwhile (and it is still unused and not kept).
    void DisconnectFinished(TTarnDatabase* db);
    void Start();
    void Stop();
    void ApplyAutoName();
    void LockSession();
    void UnlockSession();

    bool active_ = false;
    bool autoSessionName_ = false;
    bool keepConnections_ = false;
    bool sqlHourGlass_ = true;
    int lockRetryCount_ = 20;
    int lockWaitTime_ = 100;
    std::string sessionName_;
    bool settingOwnName_ = false;
    int autoNumber_ = -1;
    int lockNesting_ = 0;
    std::vector<TTarnDatabase*> databases_;
    std::vector<std::unique_ptr<TTarnDatabase>> temporaries_;
    // Temporary databases whose last use was released while they were busy.
    std::vector<TTarnDatabase*> releasedWhileBusy_;
};

class TTarnSessionList {
public:
    // Empty name: the default session; else the first session of that name (letter case
    // ignored), or nullptr.
    TTarnSession* LookupSession(const std::string& name);
    // As LookupSession, but a non-empty unknown name fails with "Invalid session name %s".
    // Raises: EDatabaseError "Invalid session name %s".
    TTarnSession* RequireSession(const std::string& name);
    TTarnSession& DefaultSession() { return *default_; }
    int Count();
    // Session i, 0 <= i < Count().
    // Raises: EDatabaseError "Session number %d is outside 0..%d" for any other i.
    TTarnSession* Session(int i);

    // The process-wide session lock (recursive).
    std::recursive_mutex& SessionLock() { return sessionLock_; }

private:
    friend class TTarnSession;
    friend TTarnSessionList& Sessions();
    TTarnSessionList();
    void Add(TTarnSession* s);
    void Remove(TTarnSession* s);
    int TakeAutoNumber();
    void ReturnAutoNumber(int n);

    std::mutex listLock_;
    std::recursive_mutex sessionLock_;
    std::vector<TTarnSession*> sessions_;
    std::vector<bool> autoNumbers_;
    std::unique_ptr<TTarnSession> default_;
};

// The process-wide session list, created with the default session on first use.
TTarnSessionList& Sessions();

}  // namespace tarn
