#include "app/os/file_watcher.h"

#include <dirent.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "tarndb/errors.h"

namespace filever {

// One inotify instance: armed on the user-interface thread (so watching has begun when
// SetActive returns), then read by the waiting thread, which also adds the watches of
// directories created later in a watched subtree.
struct TFileSystemWatcher::Session {
    int fd = -1;
    uint64_t generation = 0;
    bool subTree = false;
    TNotifyFilters filters = 0;
    std::vector<QByteArray> masks;   // empty: every name
    std::map<int, QByteArray> dirs;  // watch descriptor -> directory
    QByteArray root;                 // the (first) watched directory
    bool limitReached = false;       // a watch was refused: the user's limit is reached

    ~Session() {
        if (fd >= 0) close(fd);
    }

    uint32_t KernelMask() const {
        uint32_t m = IN_EXCL_UNLINK;
        if (filters & (nfFileNameChange | nfDirNameChange | nfCreationDateChange))
            m |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
        if (filters & (nfAttributeChange | nfSecurityChange)) m |= IN_ATTRIB;
        if (filters & nfSizeChange) m |= IN_MODIFY;
        if (filters & nfWriteChange) m |= IN_MODIFY | IN_CLOSE_WRITE;
        if (filters & nfAccessChange) m |= IN_ACCESS;
        if (subTree) m |= IN_CREATE | IN_MOVED_TO;  // to follow new subdirectories
        return m;
    }

    void AddDir(const QByteArray& dir, bool recurse) {
        int wd = TFileSystemWatcher::AddWatchCall(fd, dir.constData(), KernelMask() | IN_ONLYDIR);
        if (wd < 0) {
            // Gone or not a directory: nothing to report. The watch limit: the owner tells.
            if (errno == ENOSPC) limitReached = true;
            return;
        }
        dirs[wd] = dir;
        if (!recurse) return;
        DIR* d = opendir(dir.constData());
        if (!d) return;
        while (dirent* e = readdir(d)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..") continue;
            const QByteArray child = dir + '/' + name;
            struct stat st;
            if (lstat(child.constData(), &st) == 0 && S_ISDIR(st.st_mode)) AddDir(child, true);
        }
        closedir(d);
    }

    bool NamePasses(const char* name) const {
        if (masks.empty()) return true;
        for (const QByteArray& m : masks)
            if (fnmatch(m.constData(), name, 0) == 0) return true;
        return false;
    }

    // Whether an event of this kind was asked for.
    bool Wanted(uint32_t mask) const {
        const bool isDir = mask & IN_ISDIR;
        if (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) {
            if (isDir) return filters & nfDirNameChange;
            if (filters & nfFileNameChange) return true;
            return (mask & IN_CREATE) && (filters & nfCreationDateChange);
        }
        if (mask & IN_ATTRIB) return filters & (nfAttributeChange | nfSecurityChange);
        if (mask & IN_MODIFY) return filters & (nfSizeChange | nfWriteChange);
        if (mask & IN_CLOSE_WRITE) return filters & nfWriteChange;
        if (mask & IN_ACCESS) return filters & nfAccessChange;
        return false;
    }
};

namespace {

std::vector<QByteArray> SplitMasks(const QString& masks) {
    std::vector<QByteArray> out;
    for (const QString& m : masks.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = m.trimmed();
        if (t == QLatin1String("*.*") || t == QLatin1String("*")) return {};  // every name
        if (!t.isEmpty()) out.push_back(QFile::encodeName(t));
    }
    return out;
}

QString Decode(const QByteArray& native) { return QFile::decodeName(native); }

}  // namespace

int (*TFileSystemWatcher::AddWatchCall)(int, const char*, uint32_t) = inotify_add_watch;
int (*TFileSystemWatcher::InitCall)(int) = inotify_init1;

TFileSystemWatcher::TFileSystemWatcher(QObject* owner) : QObject(owner) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0)
        throw tarn::EInOutError(std::string("Cannot start the file watcher: eventfd: ") +
                                std::strerror(errno));
    thread_ = std::thread([this] { ThreadMain(); });
}

TFileSystemWatcher::~TFileSystemWatcher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        ++generation_;
        pending_.reset();
    }
    cv_.notify_all();
    Wake();
    thread_.join();
    close(wakeFd_);
}

void TFileSystemWatcher::SetWatchedDir(const QString& dir) {
    SetWatchedDirs(dir.isEmpty() ? QStringList() : QStringList{dir});
}

void TFileSystemWatcher::SetWatchedDirs(const QStringList& dirs) {
    watchedDirs_ = dirs;
    if (active_) Rearm();
}

void TFileSystemWatcher::SetWatchSubTree(bool value) {
    watchSubTree_ = value;
    if (active_) Rearm();
}

void TFileSystemWatcher::SetFileMasks(const QString& masks) {
    fileMasks_ = masks;
    if (active_) Rearm();
}

void TFileSystemWatcher::SetNotifyFilters(TNotifyFilters filters) {
    notifyFilters_ = filters;
    if (active_) Rearm();
}

void TFileSystemWatcher::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    Rearm();
}

void TFileSystemWatcher::Rearm() {
    std::unique_ptr<Session> fresh;
    watchLimitReached_ = false;
    if (active_ && !watchedDirs_.isEmpty()) {
        fresh = std::make_unique<Session>();
        fresh->fd = InitCall(IN_CLOEXEC | IN_NONBLOCK);
        if (fresh->fd < 0) {
            const int error = errno;
            // Off, and saying so: what was watched before stops, and the next
            // SetActive(true) tries again (a watcher left marked on would stay deaf).
            active_ = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++generation_;
                pending_.reset();
            }
            cv_.notify_all();
            Wake();
            throw tarn::EInOutError(
                tarn::Format("Cannot watch for file changes: %s", std::strerror(error)));
        }
        fresh->subTree = watchSubTree_;
        fresh->filters = notifyFilters_;
        fresh->masks = SplitMasks(fileMasks_);
        for (QString dir : watchedDirs_) {
            while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
            if (fresh->root.isEmpty()) fresh->root = QFile::encodeName(dir);
            fresh->AddDir(QFile::encodeName(dir), watchSubTree_);
        }
        watchLimitReached_ = fresh->limitReached;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        if (fresh) fresh->generation = generation_;
        pending_ = std::move(fresh);
    }
    cv_.notify_all();
    Wake();
}

void TFileSystemWatcher::Wake() {
    const uint64_t one = 1;
    // A full counter already wakes the thread; nothing to do on failure.
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void TFileSystemWatcher::ThreadMain() {
    std::unique_ptr<Session> session;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_) return;
            if (session && session->generation != generation_) session.reset();
            if (!session) {
                cv_.wait(lock, [this] { return stop_ || pending_ != nullptr; });
                if (stop_) return;
                session = std::move(pending_);
                continue;  // checks the generation again
            }
        }
        pollfd fds[2] = {{session->fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;  // EINTR
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
            continue;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        ssize_t len = read(session->fd, buffer, sizeof buffer);
        if (len <= 0) continue;

        // Collect the reports of this batch first, pairing renames by their cookie.
        struct Event {
            uint32_t mask;
            uint32_t cookie;
            QByteArray path;
            const char* name;
        };
        std::vector<Event> events;
        for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= len;) {
            inotify_event ev;
            std::memcpy(&ev, buffer + off, sizeof ev);
            const ssize_t size = static_cast<ssize_t>(sizeof(inotify_event) + ev.len);
            if (off + size > len) break;
            const char* name = ev.len ? buffer + off + sizeof(inotify_event) : "";
            off += size;
            if (ev.mask & IN_IGNORED) {
                session->dirs.erase(ev.wd);
                continue;
            }
            if (ev.mask & IN_Q_OVERFLOW) {
                // Changes were lost: say that something changed in the watched directory.
                events.push_back({IN_MODIFY, 0, session->root, ""});
                continue;
            }
            auto dir = session->dirs.find(ev.wd);
            if (dir == session->dirs.end()) continue;
            const QByteArray path = *name ? dir->second + '/' + name : dir->second;
            if (session->subTree && (ev.mask & IN_ISDIR) && (ev.mask & (IN_CREATE | IN_MOVED_TO)))
                session->AddDir(path, true);
            if (!session->Wanted(ev.mask) || !session->NamePasses(name)) continue;
            events.push_back({ev.mask, ev.cookie, path, name});
        }
        std::vector<bool> used(events.size(), false);
        for (size_t i = 0; i < events.size(); ++i) {
            if (used[i]) continue;
            const Event& e = events[i];
            Report report{TFileOperation::foModified, Decode(e.path), QString()};
            if (e.mask & (IN_CREATE | IN_MOVED_TO)) {
                report.op = TFileOperation::foAdded;
            } else if (e.mask & IN_DELETE) {
                report.op = TFileOperation::foRemoved;
            } else if (e.mask & IN_MOVED_FROM) {
                report.op = TFileOperation::foRemoved;
                for (size_t j = i + 1; j < events.size(); ++j) {
                    if (!used[j] && (events[j].mask & IN_MOVED_TO) &&
                        events[j].cookie == e.cookie) {
                        report.op = TFileOperation::foRenamed;
                        report.name2 = Decode(events[j].path);
                        used[j] = true;
                        break;
                    }
                }
            }
            if (!Deliver(session->generation, std::move(report))) break;
        }
    }
}

bool TFileSystemWatcher::Deliver(uint64_t generation, Report report) {
    uint64_t ticket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_ || generation != generation_) return false;
        ticket = ++ticketCounter_;
    }
    // With `this` as the context, the call is dropped if the watcher dies first.
    QMetaObject::invokeMethod(
        this, [this, generation, ticket, report] { HandleReport(generation, ticket, report); },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return stop_ || generation != generation_ || handledTicket_ >= ticket; });
    return !stop_ && generation == generation_;
}

void TFileSystemWatcher::HandleReport(uint64_t generation, uint64_t ticket, const Report& report) {
    bool current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current = !stop_ && generation == generation_;
    }
    if (current && active_ && OnChange) {
        try {
            OnChange(this, report.op, report.name1, report.name2);
        } catch (...) {
            // The handler reports its own errors; nothing may escape into Qt.
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ticket > handledTicket_) handledTicket_ = ticket;
    }
    cv_.notify_all();
}

}  // namespace filever
