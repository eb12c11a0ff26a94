#include "tarndb/session.h"

#include <algorithm>

#include "platform/dataset/names.h"
#include "platform/timer/timer.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"

namespace tarn {

// ---- the session list ----------------------------------------------------------------------

TTarnSessionList& Sessions() {
    // Never destroyed: sessions may still be in use by other objects' destructors at exit,
    // and the databases they hold keep their files until the process ends anyway.
    static TTarnSessionList* list = [] {
        CurrentTimerDriver();  // the timer driver must outlive every database
        auto* l = new TTarnSessionList();
        return l;
    }();
    return *list;
}

TTarnSessionList::TTarnSessionList() {
    default_.reset(new TTarnSession(TTarnSession::DefaultTag{}));
    sessions_.insert(sessions_.begin(), default_.get());
}

void TTarnSessionList::Add(TTarnSession* s) {
    std::lock_guard<std::mutex> lock(listLock_);
    sessions_.push_back(s);
}

void TTarnSessionList::Remove(TTarnSession* s) {
    std::lock_guard<std::mutex> lock(listLock_);
    std::erase(sessions_, s);
}

int TTarnSessionList::Count() {
    std::lock_guard<std::mutex> lock(listLock_);
    return static_cast<int>(sessions_.size());
}

TTarnSession* TTarnSessionList::Session(int i) {
    std::lock_guard<std::mutex> lock(listLock_);
    if (i < 0 || static_cast<size_t>(i) >= sessions_.size())
        throw EDatabaseError(Format("Session number %d is outside 0..%d", i,
                                    static_cast<int>(sessions_.size()) - 1));
    return sessions_[static_cast<size_t>(i)];
}

TTarnSession* TTarnSessionList::LookupSession(const std::string& name) {
    if (name.empty()) return default_.get();
    std::lock_guard<std::mutex> lock(listLock_);
    for (TTarnSession* s : sessions_)
        if (SameName(s->SessionName(), name)) return s;
    return nullptr;
}

TTarnSession* TTarnSessionList::RequireSession(const std::string& name) {
    TTarnSession* s = LookupSession(name);
    if (s == nullptr) throw EDatabaseError(Format("Invalid session name %s", name.c_str()));
    return s;
}

int TTarnSessionList::TakeAutoNumber() {
    std::lock_guard<std::recursive_mutex> lock(sessionLock_);
    for (size_t i = 0; i < autoNumbers_.size(); ++i)
        if (!autoNumbers_[i]) {
            autoNumbers_[i] = true;
            return static_cast<int>(i);
        }
    autoNumbers_.push_back(true);
    return static_cast<int>(autoNumbers_.size()) - 1;
}

void TTarnSessionList::ReturnAutoNumber(int n) {
    std::lock_guard<std::recursive_mutex> lock(sessionLock_);
    if (n >= 0 && static_cast<size_t>(n) < autoNumbers_.size())
        autoNumbers_[static_cast<size_t>(n)] = false;
}

// ---- sessions
// ------------------------------------------------------------------------------------

TTarnSession::TTarnSession(DefaultTag) : TTarnOwned(nullptr, "Default"), sessionName_("Default") {}

TTarnSession::TTarnSession(TTarnOwner* owner, const std::string& componentName)
    : TTarnOwned(owner, componentName) {
    if (owner) {
        for (TTarnOwned* c : owner->Components()) {
            auto* other = dynamic_cast<TTarnSession*>(c);
            if (other && other != this && other->AutoSessionName())
                throw EDatabaseError(
                    Format("Cannot add a session to the form or data-module while session '%s' has "
                           "AutoSessionName enabled",
                           other->ComponentName().c_str()));
        }
    }
    Sessions().Add(this);
}

TTarnSession::~TTarnSession() {
    try {
        Stop();
    } catch (...) {
    }
    // Databases of the program that named this session go back to the default session.
    TTarnSession& def = Sessions().DefaultSession();
    if (this != &def) {
        for (TTarnDatabase* db : std::vector<TTarnDatabase*>(databases_)) {
            if (db->Temporary()) {  // ours, made on demand: it ends with us
                FreeTemporary(db);
                continue;
            }
            try {
                db->SetConnected(false);
            } catch (...) {
            }
            db->sessionName_.clear();
            RemoveDatabase(db);
            def.AddDatabase(db);
            db->session_ = &def;
        }
        Sessions().Remove(this);
    }
    if (autoNumber_ >= 0) Sessions().ReturnAutoNumber(autoNumber_);
}

void TTarnSession::SetComponentName(const std::string& name) {
    TTarnOwned::SetComponentName(name);
    if (autoSessionName_) ApplyAutoName();
}

void TTarnSession::LockSession() {
    if (lockNesting_ == 0) Sessions().SessionLock().lock();
    ++lockNesting_;
    if (!active_) {
        try {
            Start();
        } catch (...) {
            UnlockSession();
            throw;
        }
    }
}

void TTarnSession::UnlockSession() {
    if (--lockNesting_ == 0) Sessions().SessionLock().unlock();
}

void TTarnSession::Start() {
    std::lock_guard<std::recursive_mutex> lock(Sessions().SessionLock());
    if (active_) return;
    if (OnStartup) OnStartup(*this);
    if (sessionName_.empty()) throw EDatabaseError(Prefixed("Session name missing"));
    TTarnSession& def = Sessions().DefaultSession();
    if (this != &def) def.Start();
    active_ = true;
}

void TTarnSession::Stop() {
    std::lock_guard<std::recursive_mutex> lock(Sessions().SessionLock());
    if (!active_) return;
    active_ = false;
    std::vector<TTarnDatabase*> lastFirst(databases_.rbegin(), databases_.rend());
    for (TTarnDatabase* db : lastFirst) {
        if (std::find(databases_.begin(), databases_.end(), db) == databases_.end()) continue;
        if (db->Temporary())
            FreeTemporary(db);
        else
            db->SetConnected(false);
    }
}

void TTarnSession::SetActive(bool value) {
    if (value)
        Start();
    else
        Stop();
}

void TTarnSession::SetSessionName(const std::string& name) {
    if (autoSessionName_ && !settingOwnName_)
        throw EDatabaseError(
            Prefixed("Cannot modify SessionName while AutoSessionName is enabled"));
    if (active_)
        throw EDatabaseError(Prefixed("Cannot perform this operation on an active session"));
    if (!name.empty()) {
        TTarnSession* other = Sessions().LookupSession(name);
        if (other && other != this)
            throw EDatabaseError(Prefixed(Format("Duplicate session name '%s'", name.c_str())));
    }
    sessionName_ = name;
}

void TTarnSession::SetAutoSessionName(bool value) {
    if (value == autoSessionName_) return;
    if (active_)
        throw EDatabaseError(Prefixed("Cannot perform this operation on an active session"));
    if (value) {
        if (Owner()) {
            for (TTarnOwned* c : Owner()->Components())
                if (c != this && dynamic_cast<TTarnSession*>(c))
                    throw EDatabaseError(
                        Prefixed("Cannot enable AutoSessionName property with more than one "
                                 "session on a form or data-module"));
        }
        std::lock_guard<std::recursive_mutex> lock(Sessions().SessionLock());
        autoNumber_ = Sessions().TakeAutoNumber();
        autoSessionName_ = true;
        try {
            ApplyAutoName();
        } catch (...) {
            autoSessionName_ = false;
            Sessions().ReturnAutoNumber(autoNumber_);
            autoNumber_ = -1;
            throw;
        }
    } else {
        autoSessionName_ = false;
        Sessions().ReturnAutoNumber(autoNumber_);
        autoNumber_ = -1;
    }
}

void TTarnSession::ApplyAutoName() {
    settingOwnName_ = true;
    try {
        SetSessionName(Format("%s_%d", ComponentName().c_str(), autoNumber_ + 1));
    } catch (...) {
        settingOwnName_ = false;
        throw;
    }
    settingOwnName_ = false;
    if (Owner())
        for (TTarnOwned* c : std::vector<TTarnOwned*>(Owner()->Components()))
            if (c != this) c->OwnerSessionNamed(*this);
}

TTarnDatabase* TTarnSession::LookupDatabase(const std::string& name) const {
    for (TTarnDatabase* db : databases_)
        if (SameName(db->DatabaseName(), name)) return db;
    return nullptr;
}

TTarnDatabase* TTarnSession::AttachDatabase(const std::string& name, TTarnOwner* /*owner*/,
                                            bool countIt, TTarnDBMediumType medium) {
    LockSession();
    struct Unlock {
        TTarnSession* s;
        ~Unlock() { s->UnlockSession(); }
    } unlock{this};
    TTarnDatabase* db = LookupDatabase(name);
    bool created = false;
    if (db == nullptr) {
        // A temporary database, owned by this session, lives while datasets use it.
        auto fresh = std::unique_ptr<TTarnDatabase>(new TTarnDatabase(*this));
        db = fresh.get();
        db->mediumType_ = medium;
        db->databaseName_ = name;
        db->keepConnection_ = keepConnections_;
        db->temporary_ = true;
        temporaries_.push_back(std::move(fresh));
        created = true;
    }
    try {
        db->SetConnected(true);
    } catch (...) {
        if (created) FreeTemporary(db);
        throw;
    }
    if (countIt) ++db->refCount_;
    return db;
}

void TTarnSession::DetachDatabase(TTarnDatabase* db) {
    if (db == nullptr) return;
    if (db->refCount_ > 0) --db->refCount_;
    // A transaction keeps its database connected (a disconnect would roll it back).
    if (db->refCount_ != 0 || db->keepConnection_ || db->InTransaction()) return;
    if (db->temporary_) {
        // A database in the middle of its own connect or disconnect must not be freed
        // under it: its disconnect frees it once it has finished.
        TTarnSession& home = *db->session_;
        if (!db->busy_)
            home.FreeTemporary(db);
        else if (std::find(home.releasedWhileBusy_.begin(), home.releasedWhileBusy_.end(), db) ==
                 home.releasedWhileBusy_.end())
            home.releasedWhileBusy_.push_back(db);
    } else {
        db->SetConnected(false);
    }
}

void TTarnSession::DisconnectFinished(TTarnDatabase* db) {
    auto it = std::find(releasedWhileBusy_.begin(), releasedWhileBusy_.end(), db);
    if (it == releasedWhileBusy_.end()) return;
    releasedWhileBusy_.erase(it);
    if (db->temporary_ && !db->busy_ && db->refCount_ == 0 && !db->keepConnection_)
        FreeTemporary(db);
}

void TTarnSession::ClaimWaitingDatabase(const std::string& databaseName) {
    TTarnSession& def = Sessions().DefaultSession();
    if (this == &def || databaseName.empty()) return;
    std::lock_guard<std::recursive_mutex> lock(Sessions().SessionLock());
    if (LookupDatabase(databaseName) != nullptr) return;
    TTarnDatabase* waiting = def.LookupDatabase(databaseName);
    if (waiting == nullptr || waiting->Connected()) return;
    TTarnSession* own = Sessions().LookupSession(waiting->SessionName());
    if (own == nullptr || own == &def) return;
    waiting->MoveToSession(*own);
    own->SetActive(true);
}

void TTarnSession::AddDatabase(TTarnDatabase* db) { databases_.push_back(db); }

std::unique_ptr<TTarnDatabase> TTarnSession::ReleaseDatabase(TTarnDatabase* db) {
    RemoveDatabase(db);
    auto it = std::find_if(temporaries_.begin(), temporaries_.end(),
                           [db](auto& p) { return p.get() == db; });
    if (it == temporaries_.end()) return nullptr;
    std::unique_ptr<TTarnDatabase> owned = std::move(*it);
    temporaries_.erase(it);
    return owned;
}

void TTarnSession::AdoptDatabase(TTarnDatabase* db, std::unique_ptr<TTarnDatabase> owned) {
    AddDatabase(db);
    if (owned) temporaries_.push_back(std::move(owned));
}

void TTarnSession::RemoveDatabase(TTarnDatabase* db) {
    std::erase(databases_, db);
    std::erase(releasedWhileBusy_, db);
}

void TTarnSession::FreeTemporary(TTarnDatabase* db) {
    auto it = std::find_if(temporaries_.begin(), temporaries_.end(),
                           [db](auto& p) { return p.get() == db; });
    if (it == temporaries_.end()) return;
    std::unique_ptr<TTarnDatabase> doomed = std::move(*it);
    temporaries_.erase(it);
    doomed.reset();  // its destructor disconnects and leaves the session's list
}

}  // namespace tarn
