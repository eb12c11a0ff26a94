#include "tarndb/database.h"

#include <algorithm>

#include "platform/dataset/names.h"
#include "platform/timer/timer.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/session.h"
#include "tarndb/table_io.h"

namespace tarn {

namespace {
TPasswordPrompt& Prompt() {
    static TPasswordPrompt prompt;
    return prompt;
}

// Marks a database busy (connecting or disconnecting) for a scope.
struct BusyScope {
    bool& flag;
    bool was;
    explicit BusyScope(bool& f) : flag(f), was(f) { flag = true; }
    ~BusyScope() { flag = was; }
};

// The session an owner's component joins: the owner's AutoSessionName session, if any.
TTarnSession* OwnerAutoSession(TTarnOwner* owner) {
    if (!owner) return nullptr;
    for (TTarnOwned* c : owner->Components())
        if (auto* s = dynamic_cast<TTarnSession*>(c); s && s->AutoSessionName()) return s;
    return nullptr;
}
}  // namespace

void SetPasswordPrompt(TPasswordPrompt prompt) { Prompt() = std::move(prompt); }

// What the file object and the table storage ask of their database: the lock retry
// settings, progress reports of the stored-value modules, the open file and the name to put
// in front of messages.
class TTarnDatabase::TStorageLink final : public TTarnDBFileOwner, public TTableStorageHost {
public:
    explicit TStorageLink(TTarnDatabase& database) : database_(database) {}
    int LockRetryCount() const override { return database_.LockRetryCount(); }
    int LockWaitTime() const override { return database_.LockWaitTime(); }
    void StoredDataProgress(TStoredDataProgress kind, int percent) override {
        database_.StoredDataProgress(kind, percent);
    }
    TTarnDBFileIO* StorageFile() override { return database_.fileIO_.get(); }
    std::string StorageComponentName() const override { return database_.ComponentName(); }

private:
    TTarnDatabase& database_;
};

void TTarnDatabase::InitMembers() {
    storageLink_ = std::make_unique<TStorageLink>(*this);
    flushTimer_ = std::make_unique<TTimer>();
    flushTimer_->SetOneShot(true);
    flushTimer_->OnTimer = [this] { FlushTimerTick(); };
}

TTarnDatabase::TTarnDatabase(TTarnOwner* owner, const std::string& componentName)
    : TTarnOwned(owner, componentName) {
    TTarnSession* s = OwnerAutoSession(owner);
    session_ = s ? s : &Sessions().DefaultSession();
    session_->AddDatabase(this);
    sessionName_ = session_->SessionName();
    InitMembers();
}

TTarnDatabase::TTarnDatabase(TTarnSession& session) : TTarnOwned(nullptr), session_(&session) {
    session_->AddDatabase(this);
    sessionName_ = session_->SessionName();
    InitMembers();
}

TTarnDatabase::~TTarnDatabase() {
    busy_ = true;
    try {
        DoDisconnect();
    } catch (...) {
    }
    flushTimer_->SetEnabled(false);
    session_->RemoveDatabase(this);
}

bool TTarnDatabase::Connected() const { return fileIO_ != nullptr && fileIO_->IsOpen(); }

void TTarnDatabase::SetConnected(bool value) {
    if (value) {
        DoConnect();
        return;
    }
    const bool nested = busy_;  // inside a connect, a disconnect or the destructor
    DoDisconnect();
    // The datasets it closed may have released its last use: a temporary database then
    // ends here, with nothing of it touched afterwards.
    if (!nested) session_->DisconnectFinished(this);
}

void TTarnDatabase::CheckInactive() {
    if (Connected())
        throw EDatabaseError(Prefixed("Cannot perform this operation on an open database"));
}

void TTarnDatabase::CheckNameInSession(TTarnSession& session, const std::string& name) {
    if (name.empty()) return;
    TTarnDatabase* other = session.LookupDatabase(name);
    if (other == nullptr || other == this) return;
    if (!other->temporary_ || other->refCount_ > 0)
        throw EDatabaseError(Format("Duplicate database name '%s'", name.c_str()));
    session.FreeTemporary(other);
}

void TTarnDatabase::MoveToSession(TTarnSession& session) {
    if (&session == session_) return;
    try {
        CheckNameInSession(session, databaseName_);
    } catch (...) {
        databaseName_.clear();
        throw;
    }
    std::unique_ptr<TTarnDatabase> owned = session_->ReleaseDatabase(this);
    session.AdoptDatabase(this, std::move(owned));
    session_ = &session;
    sessionName_ = session.SessionName();
}

void TTarnDatabase::OwnerSessionNamed(TTarnSession& session) {
    CheckInactive();
    MoveToSession(session);
}

void TTarnDatabase::SetDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    CheckInactive();
    CheckNameInSession(*session_, name);
    databaseName_ = name;
}

void TTarnDatabase::SetFileName(const std::string& name) {
    CheckInactive();
    fileName_ = name;
}

void TTarnDatabase::SetExclusive(bool value) {
    CheckInactive();
    exclusive_ = value;
}

void TTarnDatabase::SetReadOnly(bool value) {
    CheckInactive();
    readOnly_ = value;
}

void TTarnDatabase::SetMediumType(TTarnDBMediumType medium) {
    if (medium == mediumType_) return;
    CheckInactive();
    mediumType_ = medium;
    for (TTarnDatabaseClient* c : std::vector<TTarnDatabaseClient*>(clients_))
        c->DatabaseMediumChanged(medium);
}

void TTarnDatabase::SetSessionName(const std::string& name) {
    CheckInactive();
    if (name == sessionName_) return;
    sessionName_ = name;
    if (TTarnSession* s = Sessions().LookupSession(name)) {
        MoveToSession(*s);
        sessionName_ = name;
    }
}

void TTarnDatabase::SetKeepConnection(bool value) {
    keepConnection_ = value;
    if (!value && refCount_ == 0) SetConnected(false);
}

void TTarnDatabase::SetAutoFlush(bool value) {
    autoFlush_ = value;
    flushEnabled_ = value;
    if (value) {
        flushTimer_->SetInterval(autoFlushInterval_);
        if (fileIO_ && !fileIO_->IsFlushed()) ArmFlush();
    } else {
        flushTimer_->SetEnabled(false);
    }
}

void TTarnDatabase::SetAutoFlushInterval(int ms) {
    autoFlushInterval_ = ms;
    // The timer in service takes the new period now; one stopped by AutoFlush false takes
    // it when AutoFlush starts it again.
    if (flushEnabled_) flushTimer_->SetInterval(ms);
}

void TTarnDatabase::ArmFlush() {
    if (flushEnabled_) flushTimer_->Restart();
}

void TTarnDatabase::FlushTimerTick() {
    // May run on the timer driver's thread: the file object's lifetime is guarded.
    std::lock_guard<std::mutex> lock(fileLock_);
    if (fileIO_ && fileIO_->IsOpen() && !fileIO_->IsFlushed()) {
        try {
            fileIO_->FlushStorage();
        } catch (const Exception&) {
            // The flag stays false; the next write arms the timer again.
        }
    }
}

void TTarnDatabase::Flush() {
    std::lock_guard<std::mutex> lock(fileLock_);
    if (fileIO_ && fileIO_->IsOpen()) fileIO_->FlushStorage();
}

int TTarnDatabase::LockRetryCount() const { return session_->LockRetryCount(); }
int TTarnDatabase::LockWaitTime() const { return session_->LockWaitTime(); }

void TTarnDatabase::StoredDataProgress(TStoredDataProgress kind, int percent) {
    const TDatabaseProgressEvent* e = nullptr;
    switch (kind) {
        case TStoredDataProgress::Compress:
            e = &OnCompressProgress;
            break;
        case TStoredDataProgress::Uncompress:
            e = &OnUncompressProgress;
            break;
        case TStoredDataProgress::Encrypt:
            e = &OnEncryptProgress;
            break;
        case TStoredDataProgress::Decrypt:
            e = &OnDecryptProgress;
            break;
    }
    if (e && *e) (*e)(*this, percent);
}

void TTarnDatabase::DoConnect() {
    if (Connected()) return;
    BusyScope busy(busy_);
    std::erase(session_->releasedWhileBusy_, this);  // a connection starts unreleased
    if (BeforeConnect) BeforeConnect(*this);
    if (!temporary_ && databaseName_.empty())
        throw EDatabaseError(Prefixed("Database name missing"));
    TTarnSession* s = Sessions().RequireSession(sessionName_);
    if (s != session_) MoveToSession(*s);
    s->SetActive(true);

    auto io = std::make_unique<TTarnDBFileIO>(storageLink_.get(), mediumType_, exclusive_);
    io->SetOpenReadOnly(readOnly_);
    io->OpenStorage(fileName_.empty() ? databaseName_ : fileName_, mediumType_, exclusive_);
    canAccess_ = !io->Info().Encrypted();
    if (!canAccess_ && passwordGiven_) canAccess_ = io->CheckPassword(password_);
    std::vector<std::string> names;
    io->ListTableNames(names);
    io->SetDirtyHandler([this] { ArmFlush(); });
    io->SetSyncCommit(syncCommit_);
    {
        std::lock_guard<std::mutex> lock(fileLock_);
        fileIO_ = std::move(io);
    }
    tableDefs_.Clear();
    tables_.clear();
    for (size_t t = 0; t < names.size(); ++t) {
        TTarnTableDef& def = tableDefs_.Add();
        def.SetName(names[t]);
        def.TableNo = static_cast<int32_t>(t);
        tables_.push_back(std::make_unique<TTarnTableIO>(*storageLink_, names[t]));
    }
    for (TTarnDatabaseClient* c : std::vector<TTarnDatabaseClient*>(clients_))
        c->DatabaseConnectionChanged(true);
    if (AfterConnect) AfterConnect(*this);
}

void TTarnDatabase::DoDisconnect() {
    if (!Connected()) return;
    BusyScope busy(busy_);
    if (BeforeDisconnect) BeforeDisconnect(*this);
    if (fileIO_->InTransaction()) {
        // Disconnecting ends an unfinished transaction: it is undone. When the undo fails
        // the journal stays and the next opener rolls it back.
        try {
            fileIO_->RollbackTransaction();
        } catch (const Exception&) {
        }
    }
    for (TTarnDatabaseClient* c : std::vector<TTarnDatabaseClient*>(clients_))
        c->DatabaseConnectionChanged(false);
    {
        std::lock_guard<std::mutex> lock(fileLock_);
        fileIO_.reset();
    }
    commitFailed_ = false;
    readTransactions_ = 0;  // closing the file dropped their lock
    // Close the registered datasets, last first. Each unregisters as it closes; one that
    // does not is dropped all the same, so the loop ends.
    while (!clients_.empty()) {
        TTarnDatabaseClient* c = clients_.back();
        c->CloseForDatabase();
        if (!clients_.empty() && clients_.back() == c) clients_.pop_back();
    }
    refCount_ = 0;
    canAccess_ = false;
    password_.clear();
    passwordGiven_ = false;
    tables_.clear();
    tableDefs_.Clear();
    if (AfterDisconnect) AfterDisconnect(*this);
}

void TTarnDatabase::SetSyncCommit(bool value) {
    syncCommit_ = value;
    if (fileIO_) fileIO_->SetSyncCommit(value);
}

bool TTarnDatabase::InTransaction() const { return fileIO_ && fileIO_->InTransaction(); }

void TTarnDatabase::StartTransaction() {
    if (!Connected())
        throw EDatabaseError(Prefixed("Cannot perform this operation on a closed database"));
    if (fileIO_->InTransaction()) throw EDatabaseError(Prefixed("A transaction is already active"));
    fileIO_->BeginTransaction();
    commitFailed_ = false;
}

void TTarnDatabase::Commit() {
    if (!InTransaction()) throw EDatabaseError(Prefixed("No transaction is active"));
    lastCommitCommitted_ = false;
    try {
        fileIO_->CommitTransaction();
    } catch (...) {
        // The failed commit was rolled back (or, failing past its commit point, stands):
        // the tables take up what the file holds.
        lastCommitCommitted_ = fileIO_->LastCommitCommitted();
        commitFailed_ = !fileIO_->InTransaction();
        AfterRollback();
        throw;
    }
    lastCommitCommitted_ = true;
}

void TTarnDatabase::Rollback() {
    if (!InTransaction()) {
        // The transaction of a Commit that raised has ended already: the caller's rollback
        // after it has nothing left to do, and must not hide the Commit's error.
        if (commitFailed_) return;
        throw EDatabaseError(Prefixed("No transaction is active"));
    }
    try {
        fileIO_->RollbackTransaction();
    } catch (...) {
        AfterRollback();
        throw;
    }
    AfterRollback();
}

void TTarnDatabase::StartReadTransaction() {
    if (!Connected())
        throw EDatabaseError(Prefixed("Cannot perform this operation on a closed database"));
    fileIO_->AcquireReadLock();
    ++readTransactions_;
}

void TTarnDatabase::EndReadTransaction() {
    if (readTransactions_ == 0) throw EDatabaseError(Prefixed("No read transaction is active"));
    --readTransactions_;
    if (fileIO_) fileIO_->ReleaseReadLock();
}

void TTarnDatabase::AfterRollback() {
    for (auto& t : tables_) {
        try {
            t->ReloadBookkeeping();
        } catch (const Exception&) {
            // The next operation on the table reloads it (its header no longer matches).
        }
    }
    for (TTarnDatabaseClient* c : std::vector<TTarnDatabaseClient*>(clients_))
        c->DatabaseRolledBack();
}

void TTarnDatabase::SupplyPassword(const std::string& password) {
    password_ = password;
    passwordGiven_ = true;
    if (Connected()) canAccess_ = fileIO_->CheckPassword(password);
}

void TTarnDatabase::VerifyAccess() {
    if (canAccess_) return;
    if (passwordGiven_) {
        SupplyPassword(password_);
    } else {
        std::string entered;
        const TPasswordPrompt& prompt = Prompt();
        if (prompt) {
            if (!prompt(fileName_.empty() ? databaseName_ : fileName_, entered)) throw EAbort();
            SupplyPassword(entered);
        }
    }
    if (!canAccess_) throw EDatabaseError("Access denied");
}

void TTarnDatabase::ListTableNames(std::vector<std::string>& names) {
    if (Connected()) fileIO_->ListTableNames(names);
}

TTarnTableIO* TTarnDatabase::FindTableStorage(const std::string& name) {
    for (auto& t : tables_)
        if (SameName(t->TableName(), name)) return t.get();
    return nullptr;
}

void TTarnDatabase::RegisterClient(TTarnDatabaseClient* client) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        clients_.push_back(client);
}

void TTarnDatabase::UnregisterClient(TTarnDatabaseClient* client) { std::erase(clients_, client); }

}  // namespace tarn
