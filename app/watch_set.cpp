#include "app/watch_set.h"

#include <QFileInfo>
#include <set>

namespace filever {

TWatchSet::~TWatchSet() { Clear(); }

void TWatchSet::Update(const QStringList& files) {
    std::set<QString> wanted;
    for (const QString& f : files) {
        if (f.isEmpty()) continue;
        wanted.insert(QFileInfo(f).absolutePath());
    }
    for (auto it = watchers_.begin(); it != watchers_.end();) {
        if (wanted.count(it->first)) {
            ++it;
        } else {
            it->second->SetActive(false);
            it = watchers_.erase(it);
        }
    }
    for (const QString& dir : wanted) {
        if (watchers_.count(dir)) continue;
        auto w = std::make_unique<TFileSystemWatcher>();
        w->SetWatchedDir(dir);
        w->SetWatchSubTree(false);
        w->SetNotifyFilters(kAllNotifyFilters);
        w->OnChange = [this](TFileSystemWatcher*, TFileOperation, const QString&, const QString&) {
            if (OnChange) OnChange();
        };
        w->SetActive(active_);
        watchers_.emplace(dir, std::move(w));
    }
}

void TWatchSet::SetActive(bool value) {
    active_ = value;
    for (auto& [dir, w] : watchers_) w->SetActive(value);
}

QStringList TWatchSet::Dirs() const {
    QStringList out;
    for (const auto& [dir, w] : watchers_) out << dir;
    return out;
}

void TWatchSet::Clear() {
    for (auto& [dir, w] : watchers_) w->SetActive(false);
    watchers_.clear();
}

}  // namespace filever
