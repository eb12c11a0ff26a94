// TTarnDatabase: a named connection to one database file or in-memory database image.
// While connected it owns the file object, one table storage object per table of the file
// and the table definitions; datasets register with it while they are open. Databases
// belong to a session (TTarnSession) and are found there by DatabaseName; a session
// creates temporary databases on demand for datasets that name a database nobody created.
//
// Ownership: a database created by a program is freed by it; a temporary one by its
// session. A temporary database is never freed while it connects or disconnects: datasets
// closed by a disconnect release their use of it, and the free is left to the end of that
// disconnect. So disconnecting a temporary database (without KeepConnection) whose
// datasets were open frees it: its pointer is not to be used after SetConnected(false).
//
// Threads: used from the thread that created it. The flush timer may fire on a timer
// thread; its handler only flushes, under a lock that connecting and disconnecting take.
// Errors: EDatabaseError with the messages of the connection rules (prefixed with the
// component name where it has one); errors of the file object pass through connecting
// unchanged after the file object was freed; EAbort when the password prompt is cancelled.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tarndb/defs.h"
#include "tarndb/owner.h"

namespace tarn {

class TTarnSession;
class TTarnDBFileIO;
class TTarnTableIO;
class TTimer;
enum class TStoredDataProgress;

// What a database asks of the datasets registered with it.
class TTarnDatabaseClient {
public:
    virtual ~TTarnDatabaseClient() = default;
    // The database connected or is about to disconnect.
    virtual void DatabaseConnectionChanged(bool connected) = 0;
    // The database disconnects: the dataset closes (and unregisters).
    virtual void CloseForDatabase() = 0;
    // The database's MediumType changed.
    virtual void DatabaseMediumChanged(TTarnDBMediumType medium) = 0;
    // A transaction was rolled back: the tables hold what they held before it, and an open
    // dataset shows that (an edit in progress is cancelled).
    virtual void DatabaseRolledBack() {}
};

// The password prompt: given the database's file name, returns false on cancel, or true
// with the entered text. The application installs a dialog; the tool reads the terminal.
using TPasswordPrompt =
    std::function<bool(const std::string& databaseFileName, std::string& password)>;
void SetPasswordPrompt(TPasswordPrompt prompt);

using TDatabaseEvent = std::function<void(class TTarnDatabase&)>;
using TDatabaseProgressEvent = std::function<void(class TTarnDatabase& sender, int percent)>;

class TTarnDatabase : public TTarnOwned {
public:
    explicit TTarnDatabase(TTarnOwner* owner = nullptr, const std::string& componentName = "");
    ~TTarnDatabase() override;

    const std::string& FileName() const { return fileName_; }
    // Raises (this and the other connection settings below): EDatabaseError "Cannot perform
    // this operation on an open database" while connected.
    void SetFileName(const std::string& name);
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& name);
    TTarnDBMediumType MediumType() const { return mediumType_; }
    void SetMediumType(TTarnDBMediumType medium);
    bool Connected() const;
    // Connecting raises: EDatabaseError "Database name missing" and the session's naming
    // errors; EFOpenError when the file cannot be opened; EDatabaseError for a file that is no
    // database or is damaged; EInOutError when a journal left by a crashed writer cannot be
    // rolled back. Disconnecting rolls back an active transaction.
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value);
    // ReadOnly (default false): connect to the file for reading only, also where this user
    // may write it. Nothing is ever written to it, not even to repair what a crashed writer
    // left: a journal to play back makes the connect raise. Set while disconnected.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool KeepConnection() const { return keepConnection_; }
    void SetKeepConnection(bool value);
    const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(const std::string& name);
    bool AutoFlush() const { return autoFlush_; }
    void SetAutoFlush(bool value);
    int AutoFlushInterval() const { return autoFlushInterval_; }
    void SetAutoFlushInterval(int ms);

    TDatabaseEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
    TDatabaseProgressEvent OnCompressProgress, OnUncompressProgress, OnEncryptProgress,
        OnDecryptProgress, OnOperationProgress;

    void SupplyPassword(const std::string& password);
    // Makes sure the password is right, prompting when needed: "Access denied", or EAbort
    // when the prompt is cancelled.
    // Raises: EDatabaseError "Access denied" when the password is missing or wrong; EAbort
    // when the password prompt is cancelled.
    void VerifyAccess();
    // Replaced by the file's table names when connected; left as it was otherwise.
    void ListTableNames(std::vector<std::string>& names);
    TTarnTableIO* FindTableStorage(const std::string& name);

    void RegisterClient(TTarnDatabaseClient* client);
    void UnregisterClient(TTarnDatabaseClient* client);
    int DataSetCount() const { return static_cast<int>(clients_.size()); }

    TTarnSession& Session() const { return *session_; }
    bool Temporary() const { return temporary_; }
    int RefCount() const { return refCount_; }
    bool CanAccess() const { return canAccess_; }
    TTarnTableDefs& TableDefs() { return tableDefs_; }
    // The open file object, or nullptr.
    TTarnDBFileIO* FileIO() { return fileIO_.get(); }
    // The flush timer: armed by the first write after a flush, it flushes once its period
    // has passed (1000 ms until AutoFlush or AutoFlushInterval is set, then
    // AutoFlushInterval), so written data reaches the disk within the period and an idle
    // database never wakes anybody. AutoFlush false stops it.
    TTimer& FlushTimer() { return *flushTimer_; }
    // What the flush timer does when it fires.
    void FlushTimerTick();
    // Forces what was written to the disk now (nothing while not connected or in memory).
    // Errors: EInOutError when the system refuses the flush.
    void Flush();

    // ---- transactions ----
    // StartTransaction makes the writes to every table of this database, until Commit or
    // Rollback, one unit: after a crash or a power cut the file holds all of them or none.
    // Datasets on this database see the transaction's changes at once; other database
    // objects and other processes see them after Commit. Rollback (and a disconnect or
    // close while a transaction is active) puts every table back as it was before: rows,
    // indexes, auto-increment counters, blob values; open datasets are refreshed.
    //
    // Isolation: StartTransaction takes the right to write the file at once (the RESERVED
    // lock state, doc/file-format.md), and keeps it to the end, so what the transaction
    // reads cannot be changed by another writer before it commits: no update is lost, and
    // every transaction sees the file as if the transactions ran one after the other.
    // What it costs others: while it runs, other database objects and processes read the
    // last committed state without waiting; another writer (a transaction or a single
    // Post or Delete) waits for its whole length, and fails after its session's
    // LockRetryCount tries of LockWaitTime ms with EDatabaseError "Wait for unlock time
    // out: database file '<file>' is locked by another connection's transaction";
    // StartTransaction itself fails so and starts nothing. Readers wait only for the
    // commit's own writes, and a commit waits for the readers there are to leave (new
    // ones wait for it, so a stream of readers cannot starve it); a commit that cannot
    // have the file in time fails before its commit point and is rolled back. Keep
    // transactions short.
    //
    // How: the bytes a transaction overwrites are saved first in a rollback journal beside
    // the file ("<file>-journal", named after the file's real path when the database
    // opened, so that a symbolic link or a change of the working directory cannot move it;
    // in memory for an in-memory database), page by page, with the file's length at the
    // start; removing the journal is the commit point. The next opener of a file with a
    // journal left by a crashed writer rolls it back, after checking that the journal
    // belongs to the file as it is (doc/file-format.md): a journal beside another database,
    // or beside an earlier or later copy of this one, is left in place and the open fails
    // with EDatabaseError "Journal '...' does not belong to database file '...' (...)".
    // The journal's folder must be writable: a journal that cannot be created fails the
    // write with EFOpenError saying so (or naming the directory or FIFO in the journal's
    // way), one played back but not removable fails the open with EInOutError saying so.
    //
    // Errors: EDatabaseError "<name>: A transaction is already active", "<name>: No
    // transaction is active", "<name>: Cannot perform this operation on a closed database";
    // StartTransaction: the lock's time-out (above), and the errors of rolling back a journal
    // a crashed writer left (see SetConnected).
    //
    // A Commit that raises has ended the transaction either way (InTransaction() is false)
    // and raises what went wrong (EInOutError "... No space left on device", EDatabaseError,
    // EFOpenError when the journal cannot be created), unchanged. LastCommitCommitted()
    // then tells which way it ended: false, the commit failed before its commit point and
    // was rolled back (the file holds the state before the transaction, or a journal that
    // the next opener rolls back); true, it failed after its commit point (the journal was
    // removed, only the durability of that removal could not be made sure of) and the
    // changes stand. A Rollback after a Commit that raised, until the next
    // StartTransaction, does nothing: so the pattern
    //     try { ...; db.Commit(); } catch (...) { db.Rollback(); throw; }
    // passes on the Commit's own error. Otherwise Rollback without an active transaction
    // raises "No transaction is active".
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;
    // Whether the last Commit committed: true after a Commit that returned, and after one
    // that raised past its commit point; false after one that raised and was rolled back,
    // and before the first Commit.
    bool LastCommitCommitted() const { return lastCommitCommitted_; }
    // SyncCommit (default true): a commit forces the journal (and its name, by a sync of the
    // directory) to the disk before the file is overwritten, the file before the journal is
    // removed, and the removal right after, so a power cut at any moment leaves the old state
    // or the new. A Commit that raises after the removal (the directory sync failed) has
    // committed: LastCommitCommitted() is true and the changes stay. False skips both system
    // flushes
    // (much faster): a crash of the program is still undone, but after a power cut or a system
    // crash the disk may hold part of a transaction, or overwritten pages without the
    // journal that would undo them, and the file may then be damaged. Writes outside a
    // transaction never force anything to the disk (the flush timer does): they are safe
    // against a crash of the program, not against a power cut or a system crash, after
    // which a memo or blob value rewritten in place may read as neither its old nor its new
    // value. A transaction with SyncCommit on is the remedy for writes that must survive
    // a power cut whole.
    bool SyncCommit() const { return syncCommit_; }
    void SetSyncCommit(bool value);

    // ---- read transactions ----
    // Every single operation that reads several rows (a Refresh, a filter, a Locate or
    // Lookup scan, a master-detail range, a walk's read-ahead) sees one committed state of
    // the file. StartReadTransaction makes everything read through this database, on every
    // table, until EndReadTransaction see one committed state: it holds the SHARED lock
    // state, so other connections' commits wait until it ends (their transactions do not:
    // they build in memory meanwhile), and it sees no commit made after it began. Tables
    // read inside it show commits made before it after a Refresh. They nest (counted);
    // a write transaction is a read transaction too. Writes inside one take the right to
    // write as they would outside, and fail at once with the time-out when another
    // connection is committing (both would wait for the other). Keep them short too.
    // Errors: "<name>: Cannot perform this operation on a closed database", the lock's
    // time-out (another connection is committing), the errors of rolling back a journal a
    // crashed writer left (see Connect); EndReadTransaction: "<name>: No read transaction is
    // active". Disconnecting ends them.
    void StartReadTransaction();
    void EndReadTransaction();
    bool InReadTransaction() const { return readTransactions_ > 0; }

    // The lock retry settings of the database's session.
    int LockRetryCount() const;
    int LockWaitTime() const;

    // A session of our owner took an automatic name: the database moves to it.
    void OwnerSessionNamed(TTarnSession& session) override;

    // TTableStorageHost

private:
    friend class TTarnSession;
    class TStorageLink;
    void StoredDataProgress(TStoredDataProgress kind, int percent);
    void InitMembers();
    // A temporary database created by `session` for its datasets.
    explicit TTarnDatabase(TTarnSession& session);
    void ArmFlush();
    void CheckInactive();
    void DoConnect();
    void DoDisconnect();
    void MoveToSession(TTarnSession& session);
    void CheckNameInSession(TTarnSession& session, const std::string& name);

    TTarnSession* session_;
    std::string fileName_, databaseName_, sessionName_;
    TTarnDBMediumType mediumType_ = TTarnDBMediumType::mtDisk;
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool keepConnection_ = false;
    bool autoFlush_ = false;
    int autoFlushInterval_ = 60000;
    bool temporary_ = false;
    int refCount_ = 0;
    bool canAccess_ = false;
    std::string password_;
    bool passwordGiven_ = false;
    bool busy_ = false;  // connecting or disconnecting: never freed meanwhile
    std::unique_ptr<TTarnDBFileIO> fileIO_;
    std::mutex fileLock_;  // the file object's lifetime against the flush timer
    std::vector<TTarnDatabaseClient*> clients_;
    TTarnTableDefs tableDefs_;
    std::vector<std::unique_ptr<TTarnTableIO>> tables_;
    std::unique_ptr<TTimer> flushTimer_;
    std::unique_ptr<TStorageLink> storageLink_;  // what the file and table storage ask of us
    bool flushEnabled_ = true;  // the flush timer runs unless AutoFlush was switched off
    bool syncCommit_ = true;
    bool lastCommitCommitted_ = false;
    bool commitFailed_ = false;  // the last Commit raised; no transaction started since
    int readTransactions_ = 0;   // StartReadTransaction calls not ended yet
    // After the file went back to an earlier state: the tables reload, the datasets refresh.
    void AfterRollback();
};

// A read transaction for a scope (StartReadTransaction / EndReadTransaction).
class TTarnReadTransaction {
public:
    explicit TTarnReadTransaction(TTarnDatabase& db) : db_(db) { db_.StartReadTransaction(); }
    ~TTarnReadTransaction() {
        try {
            if (db_.InReadTransaction()) db_.EndReadTransaction();
        } catch (...) {
        }
    }
    TTarnReadTransaction(const TTarnReadTransaction&) = delete;
    TTarnReadTransaction& operator=(const TTarnReadTransaction&) = delete;

private:
    TTarnDatabase& db_;
};

}  // namespace tarn
