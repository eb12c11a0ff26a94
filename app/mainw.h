// Tmainw: the main window of the version manager. A frameless window whose ribbon draws
// the caption; a tab "文件管理树" with the web strip, the catalogue tree TreeView1
// (storage area -> watched file -> version) with the search box above it, and the version
// list ListView1. The tree's menu also restores and compares versions and opens the folder
// of a file or a version (app/mainw_versions.cpp). Closing it only hides it in the
// notification area (with a balloon), or minimises it when the desktop has none; the
// program ends through the tray menu's exit item, the application menu's exit item or the
// end of the session.
//
// Owns the watchers (TWatchSet) with the one owner of whether they are on (TWatchControl:
// on while monitoring is wanted and no pass is due or running), the 5-second timer tmr1
// that turns a burst of change reports into one monitoring pass, the tray icon and the
// dialogs it creates. The catalogue and the desktop services are the caller's and must
// outlive the window.
// Every handler catches at its boundary and shows the standard error report; an error
// while the window is being created is reported the same way and the window still opens.
// With "自动监测" on, a pass keeps each changed file without asking for a description
// (it can be written later); the tray's "暂停监测" stops monitoring until "继续监测", which
// looks at once for what changed meanwhile. The window's place and size (it resizes from
// its border: it has no system frame), the splitter, "自动监测" and the colour scheme are
// kept in the user's settings across starts.
// A monitoring pass runs in slices of Options::passBatchFiles files and returns to the
// event loop between them, so the window answers throughout; a long pass shows how far it
// is (in the window and the tray's tip), and "暂停监测" stops it between two files. With
// "自动监测" on, the versions of a slice are kept together: the copies flushed once, the
// rows in one transaction (CaptureVersions).
// A monitoring pass collects its errors per file and shows them once watching has
// resumed; a file whose copy fails is reported once, marked in the tree and left alone
// until it changes again or the user retries ("重新保存版本"). A pass that asked the user
// anything is followed by one more, for what changed while nothing was watched.
// Storage areas are known by their numbers (an area node carries its "存储区序号"); a new
// area may not take a name in use.
// User-interface thread only.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/catalogue_model.h"
#include "app/ui_icons.h"
#include "app/version_search.h"
#include "app/watch_control.h"
#include "app/watch_set.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace filever {

class TCatalogue;
class TDesktopServices;
class TReportView;
class TRibbon;
struct verinfo;

class Tmainw : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        QString cataloguePath;        // CatalogueFileName() for the program
        int monitorDelayMs = 5000;    // tmr1
        int promptTimeoutMs = 10000;  // TFormVerSm's own timer
        // A monitoring pass handles this many changed files, then lets the window answer
        // before the next ones; with "自动监测" on, their versions are kept together.
        int passBatchFiles = 100;
        // The user's settings (the window's place, automatic monitoring); empty: the
        // user's filever.conf (~/.config/filever/, by XDG_CONFIG_HOME).
        QString settingsPath;
    };

    Tmainw(TDesktopServices& desktop, TCatalogue& catalogue, const Options& options,
           QWidget* parent = nullptr);
    ~Tmainw() override;

    // State of the window's own.
    bool ExitRequested = false;
    bool MinimizeToTray = false;  // turned on by FormCreate
    QStringList PendingFiles;
    TWatchSet Watchers;

    // Controls the logic touches.
    TRibbon* ToolBarPager1;
    QTabWidget* PageControl;
    TReportView* Reports;  // in PageControl's place while the ribbon's "报表" tab is picked
    QTextBrowser* WebBrowser1;
    QTreeWidget* TreeView1;
    QSplitter* Splitter1;  // tree | version list
    QTreeWidget* ListView1;
    QMenu* PopupMenu1;
    QAction* N5;              // "填写版本说明"
    QAction* N1;              // "添加监控版本"
    QAction* N2;              // "删除监控文件"
    QAction* N4;              // "增加存储区"
    QAction* RemoveAreaItem;  // "删除存储区" (an area node)
    QAction* RetentionItem;   // "保留策略" (an area node)
    QAction* AddFolderItem;   // "增加目录" (an area node or a file node)
    // "移除目录": stops watching the folder of the selected file node, or the one folder of
    // the selected area node (app/mainw_folders.cpp).
    QAction* RemoveFolderItem;
    QSystemTrayIcon TrayIcon1;
    QMenu* pm1;
    QAction* MenuItem1;  // "显示Wendle文件管理" (default)
    QAction* MenuItem2;  // "后台运行"
    QAction* PauseItem;  // "暂停监测", "继续监测" while paused
    QAction* MenuItem4;  // "退出Wendle文件管理"
    QTimer tmr1;
    QLabel* PassProgress;  // how far a long pass is; hidden otherwise
    // Version commands (app/mainw_versions.cpp).
    QLineEdit* SearchEdit;        // above the tree: shows only versions with the word
    QLabel* SearchNote;           // below it: shown when a search found nothing
    QAction* RestoreItem;         // "恢复此版本"
    QAction* CompareCurrentItem;  // "与当前文件比较"
    QAction* CompareTwoItem;      // "比较两个版本" (two selected versions of one file)
    QAction* OpenFolderItem;      // "打开所在文件夹"
    QAction* RetryItem;           // "重新保存版本" (a file whose last copy failed)
    // The user's diff tool, asked at each comparison (DiffToolOfUser); empty: the built-in
    // view. Tests put their own answer here.
    std::function<QStringList()> DiffTool;

    // Commands (each shows its own errors).
    // "增加存储区": the area dialog, then a new area; refused with a message when the
    // folder does not exist, the name is empty or another area has that name.
    void GlowButton13Click();
    // "增加文件": the file-open dialog, then the file registered under the selected area
    // node (by its number) with its first version; nothing when no area node is selected.
    void GlowButton8Click();
    // "删除监控文件": the selected file stops being watched (its file-index row goes, at
    // once, without asking); its versions and their stored copies stay.
    void N2Click();
    // "删除存储区": asks, then the area and its files' rows go; the versions and their
    // stored copies stay in the area's folder.
    void RemoveAreaClick();
    // "保留策略": the area's retention setting; what a new setting would remove is listed,
    // and nothing is removed (or stored) unless the user confirms.
    void RetentionClick();
    // "增加目录": a folder whose files are all watched in the selected area, new ones
    // registered by each pass (app/mainw_folders.cpp).
    void AddFolderClick();
    // "移除目录": asks, then the folder's row and the rows of its files go; their versions
    // and stored copies stay, as when a single file is removed.
    void RemoveFolderClick();
    // The folder "移除目录" would remove for the selected node; FolderNo 0 when none.
    TFolderRow SelectedFolder();
    void N5Click();
    void StartCheckClick();
    void TreeView1Change(QTreeWidgetItem* node);
    void TreeView1DblClick();
    void FileSystemWatcher1Change();
    void RestoreClick();
    void CompareCurrentClick();
    void CompareTwoClick();
    void OpenFolderClick();
    // "版本合并": merges the selected version into its file (app/merge_command.cpp).
    void MergeClick();
    // The selected file's copy failed: try again now (a monitoring pass, with the prompt).
    void RetryClick();
    // Filters the tree by `text` now, or shows all of it when empty. The box runs it once
    // typing pauses (SearchTimer, 150 ms after the last key; a cleared box at once).
    // The versions are read from the catalogue at the first search after a change and
    // held while the box has a word.
    void SearchChange(const QString& text);
    QTimer SearchTimer;
    // Runs the search the timer waits for, if any, now.
    void RunPendingSearch();
    // How many searches ran (a word looked for in the versions).
    int SearchesRun() const { return searchesRun_; }
    // "暂停监测" / "继续监测": pauses monitoring, or resumes it with a pass at once.
    void PauseClick();
    bool MonitoringPaused() const { return !watch_.Wanted(); }
    // "自动监测" is on: changes are kept without the description prompt.
    bool AutoMonitor() const;
    // The monitoring pass: the first slice runs now, the rest from the event loop. While a
    // pass runs another is not started; one asked for follows it.
    void tmr1Timer();
    bool PassRunning() const { return pass_ != nullptr; }
    // Registers each file under the selected node, in order (what a drop does).
    void DropFiles(const QStringList& paths);

    void ShowMainWindow();
    // The colour scheme menu: applies scheme `name` to the whole program and keeps it for
    // the next start. ColorScheme: the one in use.
    void ChooseColorScheme(const QString& name);
    QString ColorScheme() const;
    // Background: hidden with its task-bar entry; minimised instead when the desktop has
    // no notification area to come back from.
    void HideMainWindow();
    // Every exit path: sets ExitRequested and closes the window.
    void Exit();

    // The first child, in the tree's flat order, whose text is exactly `path`.
    QTreeWidgetItem* FindFileNode(const QString& path) const;
    // Texts of every file node (level 1): the registered files.
    QStringList FileNodePaths() const;
    // Why the catalogue could not be opened at start-up, as the message then said; empty
    // while it is open. Meanwhile the commands that need it are disabled.
    const QString& CatalogueFailure() const { return catalogueFailure_; }
    // What the tree and the version list show, and the commands that change it.
    TCatalogueModel& Model() { return model_; }

signals:
    // The window has really closed (an exit path): the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // The scheme kept in the settings, else the one that suits the desktop.
    QString RememberedColorScheme() const;
    void ApplyColorScheme(const QString& name);
    void LoadCatalogue(const QString& path);
    // LoadCatalogue; when it fails, the tree stays empty, the commands that need the
    // catalogue are disabled and one message names the file and the cause. False then.
    bool LoadCatalogueOrDisable(const QString& path);
    void DisableCatalogueCommands();
    // True while the catalogue is open; else shows why a command cannot run.
    bool CatalogueAvailable();
    void AddFileUnderSelected(const QString& path);
    void UpdateWatchers();
    // A change was reported (or a pass is wanted soon): tmr1 runs, watching waits for it.
    void SchedulePass();
    // Each area node shows how much its stored copies take.
    void UpdateAreaUsage();
    // Applies each area's retention setting (after a pass kept new versions).
    void ApplyAreaRetention();
    // Takes the versions of a carried-out plan out of the tree.
    void RemoveVersionNodes(const struct TRetentionPlan& plan);
    void AddVersionRow(const verinfo& rec);
    // The number of the file a file node stands for; versions of a node are looked up
    // within their own file, as two files may have versions of the same name.
    int32_t FileNoOf(const QTreeWidgetItem* fileNode);
    void ShowMessage(const QString& text);
    // Makes the search box and the version items of the tree's menu.
    void CreateVersionCommands();
    // Enables the version items for the nodes selected when the menu opens.
    void UpdateVersionCommands();
    template <typename F>
    void Guard(F&& action);
    // The pass in progress: watching is off while it lives.
    struct TPassRun;
    std::unique_ptr<TPassRun> pass_;
    // Runs the next slice of the pass, then schedules the one after or ends the pass.
    void ContinuePass();
    // Up to passBatchFiles of the changed files; true when the pass has nothing left (or
    // monitoring was paused). Reports of files that could not be kept go to the run's.
    bool PassSlice();
    void PromptedCapture(const QString& path, const QString& time);
    // A new version's node, first under its file's node (the first root node without one).
    void AddVersionNode(QTreeWidgetItem* fileNode, const verinfo& rec);
    void FinishPass();
    void ShowPassProgress();
    // A file whose copy failed: marked in the tree, and not tried again until its
    // last-write time moves on from `time` or the user retries. A report is added the
    // first time only.
    void MarkFailing(const QString& path, const QString& time, const QString& cause,
                     QStringList& reports);
    void ClearFailing(const QString& path);
    // The error reports of a pass, shown once watching has resumed.
    void ShowReports(const QStringList& reports);
    // Watched folders (app/mainw_folders.cpp): the nodes of files a folder brought; the
    // files that appeared in folders registered (a pass); the watch limit told once, after
    // the handler that met it has returned.
    void AddFolderFileNodes(const struct TFolderScan& scan, QStringList& reports);
    void RegisterFolderFiles(QStringList& reports);
    void ReportWatchLimit();
    QStringList folderDirs_;  // every directory of every watched folder
    bool watchLimitReported_ = false;

    // The window's place, size, state and splitter from the settings, or the usual ones.
    void RestoreWindowState();
    // Asks `question` in a TConfirmDialog (with `details` listed); true for "确定".
    bool Confirm(const QString& title, const QString& question, const QStringList& details = {});
    void SaveWindowState();
    // The border strip that resizes the window: there while it is neither maximised nor
    // full-screen.
    void UpdateFrame();
    // A mouse event on the window, before its widgets see it: resize cursors over the
    // border, a press there starts the system's resize. True when the press was taken.
    bool FrameMouseEvent(QEvent* event);

    // The tree's file pictures, one per type, shared by all nodes.
    TFileIcons fileIcons_;
    QString settingsPath_;
    bool frameCursor_ = false;  // a resize cursor is shown
    TDesktopServices& desktop_;
    TCatalogue& catalogue_;
    // The catalogue's commands and the monitoring pass's view of it.
    TCatalogueModel model_;
    Options options_;
    QString catalogueFailure_;
    // Files whose copy failed: path -> last-write time text then.
    QHash<QString, QString> failing_;
    // Descriptions the catalogue refused, offered again at the file's next prompt.
    QHash<QString, QString> keptDescriptions_;
    // Whether the watchers are on: the only code that switches them.
    TWatchControl watch_{Watchers};
    bool passAgain_ = false;  // a pass was asked for while passes were deferred
    // The versions held for searching, read at model generation searchGeneration_.
    TVersionSearchIndex searchIndex_;
    uint64_t searchGeneration_ = 0;
    bool searchIndexRead_ = false;
    int searchesRun_ = 0;
};

}  // namespace filever
