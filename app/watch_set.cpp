#include "app/watch_set.h"

#include <QFileInfo>

namespace filever {

TWatchSet::TWatchSet() : watcher_(std::make_unique<TFileSystemWatcher>()) {
    watcher_->SetWatchSubTree(false);
    watcher_->SetNotifyFilters(kWatchSetFilters);
    watcher_->OnChange = [this](TFileSystemWatcher*, TFileOperation, const QString&,
                                const QString&) {
        if (OnChange) OnChange();
    };
}

TWatchSet::~TWatchSet() = default;

void TWatchSet::Update(const QStringList& files, const QStringList& extraDirs) {
    QStringList dirs = extraDirs;
    for (const QString& f : files)
        if (!f.isEmpty()) dirs << QFileInfo(f).absolutePath();
    dirs.sort();
    dirs.removeDuplicates();
    if (dirs == watcher_->WatchedDirs()) return;
    watcher_->SetWatchedDirs(dirs);
    watcher_->SetActive(active_ && !dirs.isEmpty());
    CheckLimit();
}

void TWatchSet::SetActive(bool value) {
    active_ = value;
    watcher_->SetActive(value && !watcher_->WatchedDirs().isEmpty());
    CheckLimit();
}

void TWatchSet::CheckLimit() {
    if (watcher_->Active() && watcher_->WatchLimitReached() && OnWatchLimit) OnWatchLimit();
}

QStringList TWatchSet::Dirs() const { return watcher_->WatchedDirs(); }

void TWatchSet::Clear() {
    watcher_->SetActive(false);
    watcher_->SetWatchedDirs({});
}

}  // namespace filever
