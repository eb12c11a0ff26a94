// The main window's watched folders: "增加目录" on the ribbon and the tree's menu (with
// its progress and stop), "移除目录" on the tree's menu, the nodes of the files a folder
// brings, the files that appear in folders registered by each monitoring pass, and the one
// message when the system's watch limit is reached. The work itself is done without
// widgets (app/catalogue_model.h, app/watched_folders.h).
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QProgressDialog>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "app/catalogue.h"
#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/folder_dialog.h"
#include "app/mainw.h"
#include "app/os/file_time.h"
#include "app/watched_folders.h"

namespace filever {
namespace {

constexpr int kAreaNoRole = Qt::UserRole;  // as the tree's area nodes carry it

}  // namespace

void Tmainw::AddFolderClick() {
    if (!CatalogueAvailable()) return;
    Guarded(desktop_, this, [&] {
        QTreeWidgetItem* area = TreeView1->currentItem();
        while (area && area->parent()) area = area->parent();
        if (!area) {
            ShowMessage(tr("请先选择一个存储区"));
            return;
        }
        const QString folder = desktop_.GetExistingDirectory(this);
        if (folder.isEmpty()) return;
        bool subfolders = true;
        QStringList patterns;
        {
            TFolderDialog dialog(this, folder, area->text(0));
            desktop_.ExecModal(dialog);
            if (dialog.ResultCode != 1) return;
            subfolders = dialog.Subfolders();
            patterns = dialog.Patterns();
        }
        TFolderScan scan;
        QStringList reports;
        // A large folder takes a while: how far it is shows, and the user may stop it. No
        // pass runs meanwhile (one asked for follows).
        QProgressDialog progress(tr("正在登记“%1”中的文件……").arg(folder), tr("取消"), 0, 0, this);
        progress.setWindowTitle(tr("增加目录"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        TWatchControl::Scope deferred = watch_.DeferPasses();
        const auto finish = [&] {
            deferred.Release();
            progress.reset();
            if (passAgain_ && !watch_.PassesDeferred() && !MonitoringPaused()) SchedulePass();
        };
        const TFolderProgress report = [&](qsizetype done, qsizetype total) {
            progress.setMaximum(static_cast<int>(total));
            progress.setValue(static_cast<int>(done));
            progress.setLabelText(
                tr("正在登记“%1”中的文件：%2 / %3").arg(folder).arg(done).arg(total));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        };
        try {
            model_.AddFolder(area->data(0, kAreaNoRole).toInt(), folder, subfolders, patterns, scan,
                             report);
        } catch (...) {
            finish();
            // What was registered before the error shows and is watched all the same.
            AddFolderFileNodes(scan, reports);
            UpdateWatchers();
            throw;
        }
        finish();
        folderDirs_ = model_.FolderDirs();
        AddFolderFileNodes(scan, reports);
        UpdateWatchers();
        UpdateAreaUsage();
        area->setExpanded(true);
        if (scan.Cancelled)
            ShowMessage(tr("已停止：已登记的 %1 个文件继续受到监控，目录“%2”没有加入。")
                            .arg(scan.Added.size())
                            .arg(folder));
        ShowReports(reports);
    });
}

TFolderRow Tmainw::SelectedFolder() {
    const QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node || (node->parent() && node->parent()->parent())) return {};
    if (!node->parent()) {
        // An area: its folder when it has exactly one.
        const std::vector<TFolderRow> folders =
            model_.FoldersOfArea(node->data(0, kAreaNoRole).toInt());
        return folders.size() == 1 ? folders.front() : TFolderRow{};
    }
    return model_.FolderOf(node->parent()->data(0, kAreaNoRole).toInt(), node->text(0));
}

void Tmainw::RemoveFolderClick() {
    if (!CatalogueAvailable()) return;
    Guarded(desktop_, this, [&] {
        const TFolderRow folder = SelectedFolder();
        if (folder.FolderNo == 0) {
            ShowMessage(tr("请先选择监控目录中的一个文件，或只有一个监控目录的存储区"));
            return;
        }
        const QStringList files = model_.FilesOfFolder(folder);
        if (!Confirm(tr("移除目录"),
                     tr("不再监控目录“%1”及其中的 %2 个文件？已保存的历史版本仍留在存储区目录中。")
                         .arg(folder.Path)
                         .arg(files.size())))
            return;
        const QStringList removed = model_.RemoveFolder(folder.FolderNo);
        QTreeWidgetItem* area = nullptr;
        for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
            if (TreeView1->topLevelItem(i)->data(0, kAreaNoRole).toInt() == folder.AreaNo)
                area = TreeView1->topLevelItem(i);
        const QSet<QString> gone(removed.begin(), removed.end());
        for (const QString& path : removed) {
            failing_.remove(path);
            keptDescriptions_.remove(path);
        }
        if (area)
            for (int i = area->childCount() - 1; i >= 0; --i)
                if (gone.contains(area->child(i)->text(0))) delete area->child(i);
        folderDirs_ = model_.FolderDirs();
        UpdateWatchers();
        UpdateAreaUsage();
    });
}

void Tmainw::AddFolderFileNodes(const TFolderScan& scan, QStringList& reports) {
    if (scan.Added.empty()) return;
    QHash<int32_t, QTreeWidgetItem*> areas;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
        areas.insert(TreeView1->topLevelItem(i)->data(0, kAreaNoRole).toInt(),
                     TreeView1->topLevelItem(i));
    const QIcon fileIcon = fileIcons_.Generic();
    // Each area's new nodes go in at once, the newest first as with single files.
    QHash<int32_t, QList<QTreeWidgetItem*>> nodes;
    QStringList failed;
    for (const TFolderFile& file : scan.Added) {
        auto* node = new QTreeWidgetItem(QStringList{file.Path});
        node->setIcon(0, fileIcon);
        if (file.Registration.Captured) {
            auto* version = new QTreeWidgetItem(QStringList{file.Registration.Version.VerName});
            version->setIcon(0, fileIcon);
            node->addChild(version);
        }
        if (!file.Registration.CopyError.isEmpty()) failed << file.Path;
        nodes[file.AreaNo].prepend(node);
    }
    for (auto it = nodes.begin(); it != nodes.end(); ++it) {
        QTreeWidgetItem* area = areas.value(it.key());
        if (area)
            area->insertChildren(0, it.value());
        else
            qDeleteAll(it.value());
    }
    for (const TFolderFile& file : scan.Added)
        if (!file.Registration.CopyError.isEmpty())
            MarkFailing(file.Path, FormatVersionTime(GetFileTime(file.Path, ftkLastWrite)),
                        file.Registration.CopyError, reports);
}

void Tmainw::RegisterFolderFiles(QStringList& reports) {
    if (!catalogueFailure_.isEmpty()) return;
    TFolderScan scan;
    bool complete = true;
    try {
        model_.RegisterAppearedFiles(scan);
    } catch (...) {
        complete = false;
        const QString text = CurrentExceptionText();
        if (!text.isEmpty()) reports << text;
    }
    AddFolderFileNodes(scan, reports);
    // New subfolders are watched from now on; a pass cut short keeps the directories known.
    if (complete) folderDirs_ = scan.Dirs;
    if (complete || !scan.Added.empty()) UpdateWatchers();
}

void Tmainw::ReportWatchLimit() {
    if (watchLimitReported_) return;
    watchLimitReported_ = true;
    // Told after the switch that met the limit, never inside a monitoring pass.
    QTimer::singleShot(0, this, [this] {
        Guarded(desktop_, this, [&] {
            desktop_.MessageBox(
                this, AppCaption(),
                tr("系统允许的文件监视数量（inotify）已经用完，有些目录里的改动将不会被发现。\n"
                   "请提高这个上限，例如运行：\n"
                   "    sudo sysctl fs.inotify.max_user_watches=524288\n"
                   "要在重新开机后仍然有效，把 fs.inotify.max_user_watches=524288 写入 "
                   "/etc/sysctl.d/ 中的一个配置文件。然后重新启动本程序。"),
                TMsgIcon::Warning);
        });
    });
}

}  // namespace filever
