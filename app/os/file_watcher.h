// TFileSystemWatcher: reports changes in a directory (optionally its whole subtree) on the
// user-interface thread, built on inotify.
//
// Contract:
// - Set WatchedDir (or WatchedDirs), WatchSubTree, FileMasks and NotifyFilters, then Active = true.
// From
//   the moment SetActive(true) returns, every change of the selected kinds whose name
//   passes the masks is reported by calling OnChange on the thread that owns the watcher
//   (the user-interface thread). The watcher's own waiting thread hands each report over
//   and waits until OnChange has returned before it looks at the next change.
// - Once SetActive(false) has returned nothing more is reported, and changes made while
//   inactive are never reported later; SetActive(true) starts reporting anew. OnChange may
//   switch its own watcher (or any other) off.
// - A report that arrives while OnChange is empty is dropped.
// - Changing a property while active starts watching anew with the new values.
// - Destroying the watcher stops it; call it on the owning thread.
// - While nothing changes neither thread wakes up: the waiting thread sleeps in poll()
//   while active and on a condition variable while inactive.
// A directory that does not exist (or cannot be watched) simply reports nothing.
// SetActive(true), and a property setter while active, raise tarn::EInOutError when the
// system gives no inotify instance (the user's limit is reached); the watcher is then
// inactive (Active() is false, nothing is reported) until SetActive(true) succeeds.
// OnChange must not throw; an exception that escapes it is dropped.
// When the system refuses a directory's watch because the user's watch limit is reached
// (ENOSPC from inotify_add_watch), that directory reports nothing; WatchLimitReached says
// so after the arming that met it, for the caller to tell the user once.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace filever {

// Change kinds a watcher reports, as bits of a set.
enum TNotifyFilter : unsigned {
    nfFileNameChange = 0x1,       // file created, deleted or renamed
    nfDirNameChange = 0x2,        // directory created, deleted or renamed
    nfAttributeChange = 0x4,      // attributes (mode, owner, times set explicitly)
    nfSizeChange = 0x8,           // size
    nfWriteChange = 0x10,         // last-write time (a write, a writer closing the file)
    nfAccessChange = 0x20,        // last-access time (a read)
    nfCreationDateChange = 0x40,  // creation (a file made anew)
    nfSecurityChange = 0x100,     // permissions
};
using TNotifyFilters = unsigned;
inline constexpr TNotifyFilters kAllNotifyFilters = 0x17F;

enum class TFileOperation { foAdded, foRemoved, foModified, foRenamed };

class TFileSystemWatcher;
// Sender, operation, the changed entry's full path, and for a rename the new full path.
using TFileDealMethod = std::function<void(TFileSystemWatcher* sender, TFileOperation op,
                                           const QString& fileName1, const QString& fileName2)>;

class TFileSystemWatcher : public QObject {
    Q_OBJECT
public:
    explicit TFileSystemWatcher(QObject* owner = nullptr);
    ~TFileSystemWatcher() override;

    // The directory watched. A watcher may also watch several directories at once
    // (WatchedDirs): they share one inotify instance, of which a user has only a few.
    QString WatchedDir() const { return watchedDirs_.value(0); }
    void SetWatchedDir(const QString& dir);
    const QStringList& WatchedDirs() const { return watchedDirs_; }
    void SetWatchedDirs(const QStringList& dirs);
    bool WatchSubTree() const { return watchSubTree_; }  // true for a new watcher
    void SetWatchSubTree(bool value);
    // Masks separated by ";"; "*.*" (the default) and "*" let every name through.
    const QString& FileMasks() const { return fileMasks_; }
    void SetFileMasks(const QString& masks);
    TNotifyFilters NotifyFilters() const { return notifyFilters_; }  // all for a new watcher
    void SetNotifyFilters(TNotifyFilters filters);
    bool Active() const { return active_; }
    void SetActive(bool value);

    TFileDealMethod OnChange;

    // Whether the last arming (SetActive(true) or a property change while active) met the
    // user's inotify watch limit: some directories are not watched.
    bool WatchLimitReached() const { return watchLimitReached_; }
    // The call that adds a watch (inotify_add_watch); tests put one in that fails.
    static int (*AddWatchCall)(int fd, const char* path, uint32_t mask);
    // The call that makes an inotify instance (inotify_init1); tests put one in that fails.
    static int (*InitCall)(int flags);

    struct Session;  // one inotify instance with its watches (file_watcher.cpp)
    struct Report {
        TFileOperation op;
        QString name1;
        QString name2;
    };

private:
    void Rearm();
    void Wake();
    void ThreadMain();
    bool Deliver(uint64_t generation, Report report);
    void HandleReport(uint64_t generation, uint64_t ticket, const Report& report);

    // Owned by the user-interface thread.
    QStringList watchedDirs_;
    bool watchSubTree_ = true;
    QString fileMasks_ = QStringLiteral("*.*");
    TNotifyFilters notifyFilters_ = kAllNotifyFilters;
    bool active_ = false;
    bool watchLimitReached_ = false;

    // Shared with the waiting thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t generation_ = 0;           // bumped by every switch and property change
    std::unique_ptr<Session> pending_;  // armed by the UI thread, taken by the thread
    uint64_t ticketCounter_ = 0;
    uint64_t handledTicket_ = 0;
    bool stop_ = false;

    int wakeFd_ = -1;  // eventfd that pulls the thread out of poll()
    std::thread thread_;
};

}  // namespace filever
