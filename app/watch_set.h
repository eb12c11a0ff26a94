// The watchers of the version manager: one non-recursive TFileSystemWatcher on every
// directory that holds a registered file, all reporting to one handler. The set follows
// the registered files (Update after a load, a registration or a removal); the change
// monitor switches all of them on and off together.
//
// Owned by the main window; used on the user-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "app/os/file_watcher.h"

namespace filever {

class TWatchSet {
public:
    TWatchSet() = default;
    ~TWatchSet();
    TWatchSet(const TWatchSet&) = delete;
    TWatchSet& operator=(const TWatchSet&) = delete;

    // Called for any report of any watcher (the report's details are not used).
    std::function<void()> OnChange;

    // Makes the set one watcher per directory of `files` (absolute paths): watchers of
    // directories no longer needed are freed, new ones start in the set's current state.
    void Update(const QStringList& files);
    // SetWatchersActive: every watcher's Active.
    void SetActive(bool value);
    bool Active() const { return active_; }
    // The watched directories, sorted.
    QStringList Dirs() const;
    // FreeWatchers: every watcher made inactive and freed.
    void Clear();

private:
    std::map<QString, std::unique_ptr<TFileSystemWatcher>> watchers_;
    bool active_ = true;
};

}  // namespace filever
