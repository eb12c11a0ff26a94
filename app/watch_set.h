// The watching of the version manager: every directory that holds a registered file is
// watched (not its subdirectories), and any report from any of them goes to one handler.
// The set follows the registered files (Update after a load, a registration or a
// removal); the change monitor switches it on and off as a whole.
//
// All directories share one TFileSystemWatcher (one inotify instance: a user may open only
// a few, while watches on directories are plentiful). Owned by the main window; used on
// the user-interface thread only. Update and SetActive raise tarn::EInOutError when no
// inotify instance can be had.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/os/file_watcher.h"

namespace filever {

// What the set watches for: what changes a file's content, its name or its times (writes,
// a writer closing the file, creation, deletion, renames, attributes: a last-write time
// set explicitly is one). Not reads: a viewer, grep or a build that only reads watched
// files changes nothing to keep, and every report costs a pass.
inline constexpr TNotifyFilters kWatchSetFilters = kAllNotifyFilters & ~nfAccessChange;

class TWatchSet {
public:
    TWatchSet();
    ~TWatchSet();
    TWatchSet(const TWatchSet&) = delete;
    TWatchSet& operator=(const TWatchSet&) = delete;

    // Called for any report (the report's details are not used).
    std::function<void()> OnChange;
    // Called when switching on, or a new set of directories while on, met the user's
    // inotify watch limit (some directories report nothing).
    std::function<void()> OnWatchLimit;

    // Watches the directories of `files` (absolute paths), and the directories `dirs`
    // themselves, from now on, in the set's current state (on or off).
    void Update(const QStringList& files, const QStringList& dirs = {});
    // The system refused some watches (the user's inotify limit): those directories
    // report nothing. Known once the set has been switched on with them.
    bool WatchLimitReached() const { return watcher_->WatchLimitReached(); }
    // SetWatchersActive. The main window switches it only through its TWatchControl
    // (app/watch_control.h), which alone knows whether watching should be on.
    void SetActive(bool value);
    bool Active() const { return active_; }
    // The watched directories, sorted.
    QStringList Dirs() const;
    // FreeWatchers: watching stops and the directory list is emptied.
    void Clear();

private:
    void CheckLimit();
    std::unique_ptr<TFileSystemWatcher> watcher_;
    bool active_ = true;
};

}  // namespace filever
