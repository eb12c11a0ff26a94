#include "app/mainw.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "app/app_icon.h"
#include "app/area_dialog.h"
#include "app/catalogue.h"
#include "app/color_schemes.h"
#include "app/confirm_dialog.h"
#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/os/autostart.h"
#include "app/os/file_time.h"
#include "app/report_view.h"
#include "app/retention_dialog.h"
#include "app/ribbon.h"
#include "app/size_text.h"
#include "app/ui_icons.h"
#include "app/ver_desc_dialog.h"
#include "app/version_capture.h"
#include "app/watched_folders.h"
#include "app/window_frame.h"

namespace filever {
namespace {

// The maker's home page, linked from the strip above the tree. No address is decided
// yet: while it is empty the strip shows the title alone.
const QString kHomePage;

// The strip above the tree: a local page; nothing is fetched from the network, a click on
// the link opens the desktop's browser.
QString WebStripHtml() {
    QString html = QStringLiteral("<html><body style='margin:2px'><b>%1</b>")
                       .arg(AppCaption().toHtmlEscaped());
    if (!kHomePage.isEmpty())
        html += QStringLiteral(" &nbsp; <a href='%1'>%2</a>")
                    .arg(kHomePage.toHtmlEscaped(),
                         QCoreApplication::translate("filever", "主页").toHtmlEscaped());
    return html + QStringLiteral("</body></html>");
}

// An area node's "存储区序号" (names need not be unique).
constexpr int kAreaNoRole = Qt::UserRole;

// The window's size and place when nothing is remembered.
const QRect kDesignGeometry(52, 111, 744, 393);

// Keys in the user's settings.
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kMaximizedKey = QStringLiteral("window/maximized");
const QString kSplitterKey = QStringLiteral("window/splitter");
const QString kAutoMonitorKey = QStringLiteral("monitor/automatic");
const QString kColorSchemeKey = QStringLiteral("window/scheme");

QString UserSettingsPath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("filever"),
                     QStringLiteral("filever"))
        .fileName();
}

int Level(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent()) ++level;
    return level;
}

// Resumes painting of a widget when the scope ends, also after an error.
class UpdatesSuspended {
public:
    explicit UpdatesSuspended(QWidget* w) : w_(w) { w_->setUpdatesEnabled(false); }
    ~UpdatesSuspended() { w_->setUpdatesEnabled(true); }

private:
    QWidget* w_;
};

void ExpandAll(QTreeWidgetItem* node) {
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i) ExpandAll(node->child(i));
}

}  // namespace

template <typename F>
void Tmainw::Guard(F&& action) {
    Guarded(desktop_, this, std::forward<F>(action));
}

Tmainw::Tmainw(TDesktopServices& desktop, TCatalogue& catalogue, const Options& options,
               QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::FramelessWindowHint),
      desktop_(desktop),
      catalogue_(catalogue),
      model_(catalogue),
      options_(options) {
    settingsPath_ = options_.settingsPath.isEmpty() ? UserSettingsPath() : options_.settingsPath;
    setObjectName(QStringLiteral("mainw"));
    setWindowTitle(AppCaption());
    setGeometry(kDesignGeometry);

    ToolBarPager1 = new TRibbon(this);
    PageControl = new QTabWidget(this);
    auto* treePage = new QWidget(PageControl);
    WebBrowser1 = new QTextBrowser(treePage);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setFixedHeight(41);
    WebBrowser1->setOpenLinks(false);
    WebBrowser1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& url) { Guard([&] { QDesktopServices::openUrl(url); }); });

    Splitter1 = new QSplitter(Qt::Horizontal, treePage);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    TreeView1 = new QTreeWidget(Splitter1);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    // Column 1: what an area's stored versions take.
    TreeView1->setColumnCount(2);
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    TreeView1->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A long path keeps its start and its file name.
    TreeView1->setTextElideMode(Qt::ElideMiddle);
    // A double-click opens the node's file and expands the node (TreeView1DblClick); the
    // tree's own toggling would fold it up again.
    TreeView1->setExpandsOnDoubleClick(false);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setAcceptDrops(true);
    TreeView1->viewport()->setAcceptDrops(true);
    TreeView1->viewport()->installEventFilter(this);
    auto* listTabs = new QTabWidget(Splitter1);
    ListView1 = new QTreeWidget(listTabs);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHeaderLabels({tr("文件版本"), tr("大小"), tr("说明")});
    ListView1->header()->resizeSection(0, 150);
    ListView1->header()->resizeSection(1, 150);
    ListView1->header()->resizeSection(2, 300);
    listTabs->addTab(ListView1, tr("版本列表"));
    Splitter1->addWidget(TreeView1);
    Splitter1->addWidget(listTabs);
    Splitter1->setSizes({300, 444});  // the tree's paths and the list's first two columns
    auto* pageLayout = new QVBoxLayout(treePage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    pageLayout->addWidget(WebBrowser1);
    PassProgress = new QLabel(treePage);
    PassProgress->setObjectName(QStringLiteral("PassProgress"));
    PassProgress->hide();
    pageLayout->addWidget(PassProgress);
    pageLayout->addWidget(Splitter1, 1);
    PageControl->addTab(treePage, tr("文件管理树"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBarPager1);
    Reports = new TReportView(desktop_, catalogue_, central);
    auto* body = new QStackedWidget(central);
    body->addWidget(PageControl);
    body->addWidget(Reports);
    layout->addWidget(body, 1);
    setCentralWidget(central);
    connect(ToolBarPager1->Tabs, &QTabBar::currentChanged, this, [this, body](int tab) {
        const bool reports =
            ToolBarPager1->Pages->widget(tab) == ToolBarPager1->ReportRefreshButton->parentWidget();
        if (reports) Reports->Refresh();
        body->setCurrentWidget(reports ? static_cast<QWidget*>(Reports) : PageControl);
    });
    connect(ToolBarPager1->ReportRefreshButton, &QToolButton::clicked, Reports,
            &TReportView::Refresh);
    connect(ToolBarPager1->ReportImageButton, &QToolButton::clicked, Reports,
            &TReportView::ExportImage);
    connect(ToolBarPager1->ReportCsvButton, &QToolButton::clicked, Reports,
            &TReportView::ExportCsv);

    PopupMenu1 = new QMenu(this);
    N5 = PopupMenu1->addAction(tr("填写版本说明"));
    N1 = PopupMenu1->addAction(tr("添加监控版本"));
    N2 = PopupMenu1->addAction(tr("删除监控文件"));
    N4 = PopupMenu1->addAction(tr("增加存储区"));
    RemoveAreaItem = PopupMenu1->addAction(tr("删除存储区"));
    connect(RemoveAreaItem, &QAction::triggered, this, [this] { RemoveAreaClick(); });
    RetentionItem = PopupMenu1->addAction(tr("保留策略"));
    connect(RetentionItem, &QAction::triggered, this, [this] { RetentionClick(); });
    AddFolderItem = PopupMenu1->addAction(tr("增加目录"));
    connect(AddFolderItem, &QAction::triggered, this, [this] { AddFolderClick(); });
    RemoveFolderItem = PopupMenu1->addAction(tr("移除目录"));
    connect(RemoveFolderItem, &QAction::triggered, this, [this] { RemoveFolderClick(); });
    for (QToolButton* b : {ToolBarPager1->AddFolderButton, ToolBarPager1->NetAddFolderButton})
        connect(b, &QToolButton::clicked, this, [this] { AddFolderClick(); });
    CreateVersionCommands();
    RetryItem = PopupMenu1->addAction(tr("重新保存版本"));
    connect(RetryItem, &QAction::triggered, this, [this] { RetryClick(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        const QTreeWidgetItem* node = TreeView1->currentItem();
        // Nothing is kept while monitoring is paused, not even on request.
        RetryItem->setEnabled(!MonitoringPaused() && node && Level(node) == 1 &&
                              failing_.contains(node->text(0)));
        RemoveAreaItem->setEnabled(catalogueFailure_.isEmpty() && node && Level(node) == 0);
        RetentionItem->setEnabled(catalogueFailure_.isEmpty() && node && Level(node) == 0);
        AddFolderItem->setEnabled(catalogueFailure_.isEmpty() && node && Level(node) <= 1);
        bool folder = false;
        if (catalogueFailure_.isEmpty() && node && Level(node) <= 1)
            Guard([&] { folder = SelectedFolder().FolderNo != 0; });
        RemoveFolderItem->setEnabled(folder);
    });

    pm1 = new QMenu(this);
    MenuItem1 = pm1->addAction(tr("显示Wendle文件管理"));
    QFont bold = MenuItem1->font();
    bold.setBold(true);
    MenuItem1->setFont(bold);  // the default item
    MenuItem2 = pm1->addAction(tr("后台运行"));
    PauseItem = pm1->addAction(tr("暂停监测"));
    connect(PauseItem, &QAction::triggered, this, [this] { PauseClick(); });
    pm1->addSeparator();
    MenuItem4 = pm1->addAction(tr("退出Wendle文件管理"));
    TrayIcon1.setContextMenu(pm1);
    TrayIcon1.setToolTip(AppCaption());
    TrayIcon1.setIcon(AppIcon());
    setWindowIcon(TrayIcon1.icon());

    tmr1.setInterval(options_.monitorDelayMs);
    tmr1.setSingleShot(false);

    // Commands.
    connect(ToolBarPager1->GlowButton13, &QToolButton::clicked, this,
            [this] { GlowButton13Click(); });
    for (QToolButton* b : {ToolBarPager1->GlowButton8, ToolBarPager1->NetAddFileButton,
                           ToolBarPager1->NetAddWatchedFileButton})
        connect(b, &QToolButton::clicked, this, [this] { GlowButton8Click(); });
    connect(N4, &QAction::triggered, this, [this] { GlowButton13Click(); });
    connect(N1, &QAction::triggered, this, [this] { GlowButton8Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    connect(N5, &QAction::triggered, this, [this] { N5Click(); });
    for (QToolButton* b : ToolBarPager1->MergeButtons)
        connect(b, &QToolButton::clicked, this, [this] { MergeClick(); });
    connect(ToolBarPager1->StartCheck, &QCheckBox::clicked, this, [this] { StartCheckClick(); });
    ToolBarPager1->AutoMonitorButton->setToolTip(
        tr("开启时，文件改动后直接保存新版本，不再询问版本说明（可以以后再填写）"));
    ToolBarPager1->AutoMonitorButton->setChecked(
        QSettings(settingsPath_, QSettings::IniFormat).value(kAutoMonitorKey, false).toBool());
    connect(ToolBarPager1->AutoMonitorButton, &QToolButton::toggled, this, [this](bool on) {
        Guard([&] {
            QSettings settings(settingsPath_, QSettings::IniFormat);
            settings.setValue(kAutoMonitorKey, on);
        });
    });
    connect(ToolBarPager1->SchemeMenu, &QMenu::triggered, this,
            [this](QAction* item) { Guard([&] { ChooseColorScheme(item->text()); }); });
    connect(ToolBarPager1->PreviewMenu1, &QMenu::triggered, this, [this](QAction* item) {
        Guard([&] {
            if (ToolBarPager1->PreviewMenu1->actions().indexOf(item) == 0)
                HideMainWindow();
            else
                Exit();
        });
    });
    connect(ToolBarPager1, &TRibbon::MinimizeClicked, this, [this] { showMinimized(); });
    connect(ToolBarPager1, &TRibbon::MaximizeClicked, this,
            [this] { isMaximized() ? showNormal() : showMaximized(); });
    connect(ToolBarPager1, &TRibbon::CloseClicked, this, [this] { close(); });
    connect(MenuItem1, &QAction::triggered, this, [this] { Guard([&] { ShowMainWindow(); }); });
    connect(MenuItem2, &QAction::triggered, this, [this] { Guard([&] { HideMainWindow(); }); });
    connect(MenuItem4, &QAction::triggered, this, [this] { Guard([&] { Exit(); }); });
    connect(&TrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) MenuItem1->trigger();
            });
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { TreeView1Change(node); });
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, [this] { TreeView1DblClick(); });
    connect(TreeView1, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(pos));
    });
    connect(&tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    // The end of the desktop session is an exit path.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { Exit(); });

    {
        // The box shows whether the program starts at log-on now.
        const QSignalBlocker block(ToolBarPager1->StartCheck);
        ToolBarPager1->StartCheck->setChecked(AutoStartEnabled());
    }
    UpdateFrame();
    RestoreWindowState();
    ApplyColorScheme(RememberedColorScheme());
    FormCreate();
}

Tmainw::~Tmainw() = default;

void Tmainw::FormCreate() {
    Guard([&] {
        MinimizeToTray = true;
        // Visible from the start; a notification area that appears later shows it then.
        TrayIcon1.show();
        PendingFiles.clear();
        // CreateWatchers: the set follows the registered files; it is filled once the
        // catalogue is loaded and kept current by every registration and removal.
        Watchers.OnChange = [this] { FileSystemWatcher1Change(); };
        Watchers.OnWatchLimit = [this] { ReportWatchLimit(); };
        watch_.Apply();
        // A catalogue that failed to open ends the start-up here, as any error does.
        if (!LoadCatalogueOrDisable(options_.cataloguePath)) return;
        WebBrowser1->setHtml(WebStripHtml());
        UpdateAreaUsage();
        // What an interrupted copy or restore left behind.
        TidyLeftovers(catalogue_);
    });
}

void Tmainw::LoadCatalogue(const QString& path) {
    model_.Open(path);
    {
        UpdatesSuspended suspended(TreeView1);
        TreeView1->clear();
        for (const TAreaItem& area : model_.Tree()) {
            auto* areaNode = new QTreeWidgetItem(TreeView1, {area.Row.Name});
            areaNode->setData(0, kAreaNoRole, area.Row.AreaNo);
            areaNode->setIcon(0, UiIcon(TUiIcon::Area));
            for (const TFileItem& file : area.Files) {
                const QFileInfo info(file.Row.SourcePath);
                // A file's picture is its type's, or a crossed page when it is gone; its
                // versions show its type's.
                const QIcon icon = info.exists() ? fileIcons_.Of(info) : fileIcons_.Generic();
                auto* fileNode = new QTreeWidgetItem(QStringList{file.Row.SourcePath});
                fileNode->setIcon(0, fileIcons_.Of(info));
                areaNode->insertChild(0, fileNode);
                for (const QString& version : file.Versions) {
                    auto* versionNode = new QTreeWidgetItem(QStringList{version});
                    versionNode->setIcon(0, icon);
                    fileNode->insertChild(0, versionNode);
                }
            }
        }
        for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
            ExpandAll(TreeView1->topLevelItem(i));
    }
    folderDirs_ = model_.FolderDirs();
    UpdateWatchers();
}

bool Tmainw::LoadCatalogueOrDisable(const QString& path) {
    try {
        LoadCatalogue(path);
        return true;
    } catch (...) {
        QString cause = CurrentExceptionText();
        if (cause.isEmpty()) cause = tr("没有输入密码");  // the prompt was cancelled
        catalogueFailure_ =
            tr("无法打开版本目录“%1”：%2\n"
               "需要版本目录的命令已停用：增加存储区、增加文件、删除监控文件、"
               "填写版本说明、恢复和比较版本、搜索版本。请检查该文件后重新启动程序。")
                .arg(path, cause);
    }
    // Nothing half loaded stays in view, and nothing is watched.
    TreeView1->clear();
    folderDirs_.clear();
    UpdateWatchers();
    DisableCatalogueCommands();
    desktop_.MessageBox(this, AppCaption(), catalogueFailure_, TMsgIcon::Error);
    return false;
}

void Tmainw::DisableCatalogueCommands() {
    const QString tip = tr("版本目录“%1”没有打开").arg(options_.cataloguePath);
    for (QToolButton* b :
         {ToolBarPager1->GlowButton13, ToolBarPager1->GlowButton8, ToolBarPager1->NetAddFileButton,
          ToolBarPager1->NetAddWatchedFileButton}) {
        b->setEnabled(false);
        b->setToolTip(tip);
    }
    for (QAction* a : {N1, N2, N4, N5, RemoveAreaItem, RetentionItem}) {
        a->setEnabled(false);
        a->setToolTip(tip);
    }
    SearchEdit->setEnabled(false);
    SearchEdit->setToolTip(tip);
    UpdateVersionCommands();
}

bool Tmainw::CatalogueAvailable() {
    if (catalogueFailure_.isEmpty()) return true;
    desktop_.MessageBox(this, AppCaption(), catalogueFailure_, TMsgIcon::Error);
    return false;
}

void Tmainw::UpdateWatchers() {
    Watchers.Update(catalogueFailure_.isEmpty() ? model_.FilePaths() : QStringList(), folderDirs_);
}

void Tmainw::UpdateAreaUsage() {
    if (!catalogueFailure_.isEmpty()) return;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* area = TreeView1->topLevelItem(i);
        const int64_t bytes = AreaStorageBytes(catalogue_, area->data(0, kAreaNoRole).toInt());
        area->setText(1, StorageText(bytes));
        area->setToolTip(1, tr("历史版本占用 %1").arg(StorageText(bytes)));
    }
}

QStringList Tmainw::FileNodePaths() const {
    QStringList paths;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* area = TreeView1->topLevelItem(i);
        for (int j = 0; j < area->childCount(); ++j) paths << area->child(j)->text(0);
    }
    return paths;
}

QTreeWidgetItem* Tmainw::FindFileNode(const QString& path) const {
    for (QTreeWidgetItemIterator it(TreeView1); *it; ++it) {
        for (int i = 0; i < (*it)->childCount(); ++i)
            if ((*it)->child(i)->text(0) == path) return (*it)->child(i);
    }
    return nullptr;
}

void Tmainw::ShowMessage(const QString& text) {
    desktop_.MessageBox(this, AppCaption(), text, TMsgIcon::None);
}

void Tmainw::GlowButton13Click() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        QString dir;
        QString name;
        {
            TCreatDataAreaW dialog(this);
            desktop_.ExecModal(dialog);
            // An abandoned dialog creates nothing and needs no complaint.
            if (dialog.ResultCode != 1) return;
            dir = dialog.Edit1->text();
            name = dialog.Edit2->text();
        }
        const bool dirOk = !dir.isEmpty() && QFileInfo(dir).isDir();
        if (!dirOk) ShowMessage(tr("目录不存在"));
        if (name.isEmpty()) ShowMessage(tr("输入存储区名称有错"));
        if (!dirOk || name.isEmpty()) return;
        // Areas are told apart by number, but the user reads names: no two alike.
        if (model_.AreaNameInUse(name)) {
            ShowMessage(tr("已经有名为“%1”的存储区，请换一个名称").arg(name.trimmed()));
            return;
        }
        const int32_t areaNo = model_.AddArea(name, dir);
        auto* node = new QTreeWidgetItem(TreeView1, {name});
        node->setData(0, kAreaNoRole, areaNo);
        node->setIcon(0, UiIcon(TUiIcon::Area));
    });
}

void Tmainw::GlowButton8Click() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        const QString path = desktop_.GetOpenFileName(this);
        if (path.isEmpty()) return;
        AddFileUnderSelected(path);
    });
}

void Tmainw::AddFileUnderSelected(const QString& path) {
    QTreeWidgetItem* selected = TreeView1->currentItem();
    // Only an area node takes files (another node names no area, as before).
    if (!selected || Level(selected) != 0) return;
    const QString time = FormatVersionTime(GetFileTime(path, ftkLastWrite));
    // The file's row and its first version's row are written together, or neither.
    TRegistration registration;
    if (!model_.AddFile(selected->data(0, kAreaNoRole).toInt(), path, registration)) return;
    auto* fileNode = new QTreeWidgetItem(QStringList{path});
    fileNode->setIcon(0, fileIcons_.Generic());
    selected->insertChild(0, fileNode);
    UpdateWatchers();
    QStringList reports;
    // A copy that failed: registered all the same; the file is marked and the next files of
    // a drop go on.
    if (!registration.CopyError.isEmpty()) MarkFailing(path, time, registration.CopyError, reports);
    if (registration.Captured) {
        const verinfo& rec = registration.Version;
        auto* versionNode = new QTreeWidgetItem(QStringList{rec.VerName});
        versionNode->setIcon(0, fileNode->icon(0));
        fileNode->insertChild(0, versionNode);
    }
    UpdateAreaUsage();
    ShowReports(reports);
    // The new file and its first version show at once, as after a restart.
    selected->setExpanded(true);
    fileNode->setExpanded(true);
}

void Tmainw::DropFiles(const QStringList& paths) {
    if (!CatalogueAvailable()) return;
    // An error ends the drop: the remaining files are not registered.
    Guard([&] {
        for (const QString& path : paths)
            if (TreeView1->currentItem()) AddFileUnderSelected(path);
    });
}

void Tmainw::N2Click() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        QTreeWidgetItem* selected = TreeView1->currentItem();
        if (!selected || Level(selected) != 1) return;
        const QString path = selected->text(0);
        model_.RemoveFile(path);
        failing_.remove(path);
        keptDescriptions_.remove(path);
        delete selected;
        UpdateWatchers();
        UpdateAreaUsage();
    });
}

bool Tmainw::Confirm(const QString& title, const QString& question, const QStringList& details) {
    TConfirmDialog dialog(this, title, question, details);
    desktop_.ExecModal(dialog);
    return dialog.ResultCode == 1;
}

void Tmainw::RemoveAreaClick() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        QTreeWidgetItem* selected = TreeView1->currentItem();
        if (!selected || Level(selected) != 0) return;
        const int32_t areaNo = selected->data(0, kAreaNoRole).toInt();
        if (!Confirm(tr("删除存储区"), tr("删除存储区“%1”，不再监控其中的 %2 个文件？"
                                          "已保存的历史版本仍留在存储区目录中。")
                                           .arg(selected->text(0))
                                           .arg(selected->childCount())))
            return;
        for (int i = 0; i < selected->childCount(); ++i) {
            failing_.remove(selected->child(i)->text(0));
            keptDescriptions_.remove(selected->child(i)->text(0));
        }
        model_.RemoveArea(areaNo);
        delete selected;
        UpdateWatchers();
    });
}

void Tmainw::RetentionClick() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        QTreeWidgetItem* selected = TreeView1->currentItem();
        if (!selected || Level(selected) != 0) return;
        const int32_t areaNo = selected->data(0, kAreaNoRole).toInt();
        TRetentionPolicy policy;
        {
            TRetentionDialog dialog(this, selected->text(0), catalogue_.Retention(areaNo));
            desktop_.ExecModal(dialog);
            if (dialog.ResultCode != 1) return;
            policy = dialog.Policy();
        }
        const TRetentionPlan plan =
            PlanRetention(catalogue_, areaNo, policy, QDateTime::currentSecsSinceEpoch());
        if (!plan.Remove.empty()) {
            QStringList lines;
            for (const auto& item : plan.Remove)
                lines << QStringLiteral("%1  %2  %3")
                             .arg(item.SourcePath, item.Version.VerName,
                                  StorageText(item.Version.SizeText.toLongLong()));
            if (!Confirm(tr("保留策略"),
                         tr("按新的保留策略，将删除以下 %1 个版本，释放 %2。"
                            "删除后无法恢复，确定吗？")
                             .arg(plan.Remove.size())
                             .arg(StorageText(plan.FreedBytes)),
                         lines))
                return;  // nothing stored, nothing removed
        }
        catalogue_.SetRetention(areaNo, policy);
        ApplyRetention(catalogue_, plan);
        RemoveVersionNodes(plan);
        UpdateAreaUsage();
        TreeView1Change(TreeView1->currentItem());
    });
}

void Tmainw::ApplyAreaRetention() {
    if (!catalogueFailure_.isEmpty()) return;
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        const int32_t areaNo = TreeView1->topLevelItem(i)->data(0, kAreaNoRole).toInt();
        const TRetentionPolicy policy = catalogue_.Retention(areaNo);
        if (policy == TRetentionPolicy{}) continue;
        const TRetentionPlan plan = PlanRetention(catalogue_, areaNo, policy, now);
        ApplyRetention(catalogue_, plan);
        RemoveVersionNodes(plan);
    }
}

void Tmainw::RemoveVersionNodes(const TRetentionPlan& plan) {
    for (const auto& item : plan.Remove) {
        QTreeWidgetItem* fileNode = FindFileNode(item.SourcePath);
        if (!fileNode) continue;
        for (int i = fileNode->childCount() - 1; i >= 0; --i)
            if (fileNode->child(i)->text(0) == item.Version.VerName) {
                delete fileNode->child(i);
                break;
            }
    }
}

void Tmainw::AddVersionRow(const verinfo& rec) {
    new QTreeWidgetItem(ListView1, {rec.VerName, SizeTextK(rec.SizeText), rec.Remark});
}

int32_t Tmainw::FileNoOf(const QTreeWidgetItem* fileNode) {
    return model_.FileNoOf(fileNode->text(0));  // 0 (any file) when the path is not registered
}

void Tmainw::TreeView1Change(QTreeWidgetItem* node) {
    Guard([&] {
        ListView1->clear();
        if (!node || !catalogueFailure_.isEmpty()) return;
        verinfo rec;  // one record for all rows, as the lookups leave it when nothing matches
        switch (Level(node)) {
            case 1: {
                const int32_t fileNo = FileNoOf(node);
                for (int i = 0; i < node->childCount(); ++i) {
                    if (node->child(i)->isHidden()) continue;  // not found by the search
                    catalogue_.FindVersionByName(node->child(i)->text(0), rec, fileNo);
                    AddVersionRow(rec);
                }
                break;
            }
            case 2:
                catalogue_.FindVersionByName(node->text(0), rec, FileNoOf(node->parent()));
                AddVersionRow(rec);
                break;
            default:
                break;
        }
    });
}

void Tmainw::TreeView1DblClick() {
    Guard([&] {
        QTreeWidgetItem* selected = TreeView1->currentItem();
        if (!selected || Level(selected) == 0 || !catalogueFailure_.isEmpty()) return;
        ExpandAll(selected);
        verinfo rec;
        if (Level(selected) == 2)
            catalogue_.FindVersionByName(selected->text(0), rec, FileNoOf(selected->parent()));
        else
            catalogue_.FindFileByPath(selected->text(0), rec);
        if (rec.FilePath.isEmpty() || desktop_.OpenWithAssociatedProgram(rec.FilePath)) return;
        if (!Confirm(tr("打开所在文件夹"),
                     tr("没有程序可以打开“%1”。要打开它所在的文件夹吗？").arg(rec.FilePath)))
            return;
        const QString folder = QFileInfo(rec.FilePath).absolutePath();
        if (!desktop_.OpenWithAssociatedProgram(folder))
            ShowMessage(tr("没有程序可以打开文件夹“%1”。").arg(folder));
    });
}

void Tmainw::N5Click() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        TFormVerSm dialog(this, options_.promptTimeoutMs);
        dialog.StopTimer();
        QTreeWidgetItem* selected = TreeView1->currentItem();
        dialog.SetTitle(selected ? selected->text(0) : QString());
        if (selected && Level(selected) == 2) {
            // The description there is to be edited, not typed again.
            verinfo rec;
            catalogue_.FindVersionByName(selected->text(0), rec, FileNoOf(selected->parent()));
            dialog.Edit1->setPlainText(rec.Remark);
        }
        desktop_.ExecModal(dialog);
        if (dialog.ResultCode != 1) return;
        selected = TreeView1->currentItem();
        if (!selected || Level(selected) != 2) return;
        // The version of this node's own file, even when another file has a version of
        // the same name.
        model_.Annotate(FileNoOf(selected->parent()), selected->text(0), dialog.Text());
        TreeView1Change(selected);
    });
}

void Tmainw::StartCheckClick() {
    Guard([&] {
        QCheckBox* box = ToolBarPager1->StartCheck;
        try {
            WriteAutoStart(kAppTitle, QCoreApplication::applicationFilePath(), box->isChecked());
        } catch (...) {
            // The box keeps showing what is true.
            const QSignalBlocker block(box);
            box->setChecked(AutoStartEnabled());
            throw;
        }
    });
}

void Tmainw::FileSystemWatcher1Change() {
    Guard([&] {
        if (MonitoringPaused()) return;
        // A folder is being registered: one pass follows it.
        if (watch_.PassesDeferred()) {
            passAgain_ = true;
            return;
        }
        SchedulePass();
    });
}

void Tmainw::SchedulePass() {
    // A timer already running is not restarted.
    if (!tmr1.isActive()) tmr1.start();
    watch_.SetPassDue(true);
}

struct Tmainw::TPassRun {
    explicit TPassRun(TWatchControl::Scope s) : scope(std::move(s)) {}
    TWatchControl::Scope scope;  // watching is off for the whole pass
    QStringList reports;         // shown once watching has resumed
    qsizetype next = 0;          // the next entry of PendingFiles
    bool asked = false;          // the user was asked: time passed unwatched
};

void Tmainw::tmr1Timer() {
    tmr1.stop();
    if (pass_) {
        // A pass runs in slices: one more follows it.
        passAgain_ = true;
        Guard([&] { watch_.SetPassDue(false); });
        return;
    }
    if (MonitoringPaused() || watch_.PassesDeferred()) {
        // Deferred (the timer fired inside a folder registration): another follows it.
        if (!MonitoringPaused()) passAgain_ = true;
        Guard([&] { watch_.SetPassDue(false); });
        return;
    }
    // Watching is off for the whole pass: its own copies and catalogue writes are no
    // changes, and its prompts and slices run the event loop.
    pass_ = std::make_unique<TPassRun>(watch_.BeginPass());
    Guard([&] { watch_.SetPassDue(false); });
    passAgain_ = false;
    bool scanned = false;
    // Without a catalogue there is no pass.
    if (catalogueFailure_.isEmpty()) {
        try {
            // New files in watched folders get their first version; they are not changes.
            RegisterFolderFiles(pass_->reports);
            model_.ScanForChanges(PendingFiles);
            scanned = true;
        } catch (...) {
            const QString text = CurrentExceptionText();
            if (!text.isEmpty()) pass_->reports << text;
        }
    }
    if (scanned)
        ContinuePass();
    else
        FinishPass();
}

void Tmainw::ContinuePass() {
    if (!pass_) return;
    if (watch_.Deferring()) {
        // A folder registration runs the event loop: the pass goes on after it.
        QTimer::singleShot(20, this, [this] { ContinuePass(); });
        return;
    }
    bool done = true;
    try {
        done = PassSlice();
    } catch (...) {
        const QString text = CurrentExceptionText();
        if (!text.isEmpty()) pass_->reports << text;
    }
    if (done) {
        FinishPass();
        return;
    }
    ShowPassProgress();
    // The window answers before the next slice.
    QTimer::singleShot(0, this, [this] { ContinuePass(); });
}

void Tmainw::ShowPassProgress() {
    const QString text = tr("正在保存改动文件的版本：%1 / %2（托盘菜单“暂停监测”可以停止）")
                             .arg(pass_->next)
                             .arg(PendingFiles.size());
    PassProgress->setText(text);
    PassProgress->show();
    TrayIcon1.setToolTip(text);
}

bool Tmainw::PassSlice() {
    TPassRun& run = *pass_;
    UpdatesSuspended suspended(TreeView1);
    const qsizetype count = PendingFiles.size();
    const int batch = std::max(1, options_.passBatchFiles);
    const auto nextChanged = [&](QString& path, QString& time) {
        while (run.next < count) {
            // Paused from the tray (between slices or while a prompt was open): the rest
            // waits for "继续监测".
            if (MonitoringPaused()) return false;
            path = PendingFiles[run.next++];
            if (!QFileInfo::exists(path)) continue;
            time = FormatVersionTime(GetFileTime(path, ftkLastWrite));
            // A file whose copy failed waits for its next change or a retry.
            const auto failed = failing_.constFind(path);
            if (failed != failing_.constEnd() && failed.value() == time) continue;
            return true;
        }
        return false;
    };
    QString path, time;
    if (AutoMonitor()) {
        // Nobody is asked (the description can be written later): the slice's versions
        // are kept together. A description the catalogue refused before goes with its
        // file's version.
        std::vector<TBatchCapture> items;
        QStringList times;
        while (static_cast<int>(items.size()) < batch && nextChanged(path, time)) {
            TBatchCapture item;
            item.Path = path;
            item.Description = keptDescriptions_.value(path);
            items.push_back(std::move(item));
            times << time;
        }
        if (!items.empty()) model_.Capture(items);
        // The file nodes by path, found once for the slice (not one walk of the tree per file).
        QHash<QString, QTreeWidgetItem*> fileNodes;
        for (int a = 0; a < TreeView1->topLevelItemCount(); ++a) {
            QTreeWidgetItem* area = TreeView1->topLevelItem(a);
            for (int f = 0; f < area->childCount(); ++f)
                if (!fileNodes.contains(area->child(f)->text(0)))
                    fileNodes.insert(area->child(f)->text(0), area->child(f));
        }
        for (size_t i = 0; i < items.size(); ++i) {
            const TBatchCapture& item = items[i];
            switch (item.Result) {
                case TBatchCapture::TResult::NotRegistered:
                    break;
                case TBatchCapture::TResult::Identical:
                    ClearFailing(item.Path);
                    break;
                case TBatchCapture::TResult::Kept:
                    keptDescriptions_.remove(item.Path);
                    ClearFailing(item.Path);
                    AddVersionNode(fileNodes.value(item.Path), item.Version);
                    break;
                case TBatchCapture::TResult::Failed:
                    MarkFailing(item.Path, times[static_cast<qsizetype>(i)], item.Error,
                                run.reports);
                    break;
            }
        }
    } else {
        for (int handled = 0; handled < batch && nextChanged(path, time); ++handled)
            PromptedCapture(path, time);
    }
    return run.next >= count || MonitoringPaused();
}

void Tmainw::PromptedCapture(const QString& path, const QString& time) {
    TPassRun& run = *pass_;
    // The copy first: when it fails the user has typed nothing that could be lost.
    TVersionCopy copy;
    try {
        if (!model_.TakeCopy(path, copy)) return;
    } catch (...) {
        MarkFailing(path, time, CurrentExceptionText(), run.reports);
        return;
    }
    // Saved without a change: nothing to keep and nobody to ask.
    if (copy.Identical) {
        ClearFailing(path);
        return;
    }
    QString description;
    {
        TFormVerSm dialog(this, options_.promptTimeoutMs);
        dialog.SetTitle(tr("“%1”有了新的内容").arg(path));
        const QString kept = keptDescriptions_.value(path);
        // What the user typed before is there again (and the prompt waits for a button).
        if (!kept.isEmpty()) dialog.Edit1->setPlainText(kept);
        run.asked = true;
        desktop_.ExecModal(dialog);
        HideMainWindow();
        if (dialog.ResultCode == 1) description = dialog.Text();
    }
    verinfo rec;
    try {
        model_.Record(copy, description, rec);
    } catch (...) {
        // The copy stays; the row is asked for again at the next change or a retry.
        if (!description.isEmpty()) keptDescriptions_.insert(path, description);
        MarkFailing(path, time, CurrentExceptionText(), run.reports);
        return;
    }
    keptDescriptions_.remove(path);
    ClearFailing(path);
    AddVersionNode(FindFileNode(path), rec);
}

void Tmainw::AddVersionNode(QTreeWidgetItem* fileNode, const verinfo& rec) {
    auto* node = new QTreeWidgetItem(QStringList{rec.VerName});
    node->setIcon(0, fileIcons_.Generic());
    if (fileNode)
        fileNode->insertChild(0, node);
    else
        TreeView1->insertTopLevelItem(0, node);
}

void Tmainw::FinishPass() {
    const std::unique_ptr<TPassRun> run = std::move(pass_);
    PendingFiles.clear();
    PassProgress->hide();
    TrayIcon1.setToolTip(MonitoringPaused() ? tr("%1（监测已暂停）").arg(AppCaption())
                                            : AppCaption());
    Guard([&] {
        ApplyAreaRetention();
        UpdateAreaUsage();
    });
    // Nothing was watched while the user was asked: what changed meanwhile is looked for
    // by one more pass. (Paused during the pass: nothing follows.)
    if ((run->asked || passAgain_) && !MonitoringPaused() && catalogueFailure_.isEmpty())
        Guard([&] { SchedulePass(); });
    run->scope.Release();
    // Watching as it should be now; a failure to switch it on is reported here.
    Guard([&] { watch_.Apply(); });
    // Shown with watching on again: a box left open stops no monitoring.
    ShowReports(run->reports);
}

void Tmainw::MarkFailing(const QString& path, const QString& time, const QString& cause,
                         QStringList& reports) {
    const bool known = failing_.contains(path);
    failing_.insert(path, time);
    if (QTreeWidgetItem* node = FindFileNode(path)) {
        node->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        node->setToolTip(0, tr("版本没有保存：%1").arg(cause));
    }
    if (known) return;
    reports << tr("文件“%1”的版本没有保存：%2\n"
                  "在该文件再次改动或选择“重新保存版本”之前，不再为它提示")
                   .arg(path, cause);
}

void Tmainw::ClearFailing(const QString& path) {
    if (!failing_.remove(path)) return;
    if (QTreeWidgetItem* node = FindFileNode(path)) {
        node->setIcon(0, fileIcons_.Of(QFileInfo(path)));
        node->setToolTip(0, QString());
    }
}

void Tmainw::ShowReports(const QStringList& reports) {
    if (reports.isEmpty()) return;
    try {
        desktop_.MessageBox(this, AppCaption(),
                            ErrorReportText(reports.join(QStringLiteral("\n\n"))), TMsgIcon::Error);
    } catch (...) {
        // A report must never throw into Qt.
    }
}

bool Tmainw::AutoMonitor() const { return ToolBarPager1->AutoMonitorButton->isChecked(); }

void Tmainw::PauseClick() {
    Guard([&] {
        if (!MonitoringPaused()) {
            // A pass that is running (its prompt open) finishes; nothing starts after it.
            tmr1.stop();
            watch_.SetWanted(false);
            watch_.SetPassDue(false);
            PauseItem->setText(tr("继续监测"));
            TrayIcon1.setToolTip(tr("%1（监测已暂停）").arg(AppCaption()));
            return;
        }
        PauseItem->setText(tr("暂停监测"));
        TrayIcon1.setToolTip(AppCaption());
        // What changed while paused is looked for now: watching comes on after that pass.
        TWatchControl::Scope hold = watch_.HoldOff();
        watch_.SetWanted(true);
        if (watch_.PassesDeferred())
            passAgain_ = true;
        else
            tmr1Timer();
        hold.Release();
        watch_.Apply();
    });
}

void Tmainw::RetryClick() {
    if (!CatalogueAvailable()) return;
    Guard([&] {
        const QTreeWidgetItem* node = TreeView1->currentItem();
        if (!node || Level(node) != 1 || !failing_.contains(node->text(0))) return;
        ClearFailing(node->text(0));
        // The pass finds the file still changed, takes its copy and asks.
        if (watch_.PassesDeferred())
            passAgain_ = true;
        else
            tmr1Timer();
    });
}

void Tmainw::ShowMainWindow() {
    showNormal();
    raise();
    activateWindow();
}

void Tmainw::HideMainWindow() {
    // Without a notification area a hidden window could never be found again: it goes to
    // the task bar instead.
    if (desktop_.SystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void Tmainw::Exit() {
    ExitRequested = true;
    close();
}

void Tmainw::closeEvent(QCloseEvent* event) {
    // Also when it only hides: a program ended by the session or a signal keeps it.
    SaveWindowState();
    if (!MinimizeToTray || ExitRequested) {
        // A pass in slices ends here; then the watchers go, then the lists.
        pass_.reset();
        // FormClose: the watchers go first, then the lists.
        Watchers.Clear();
        PendingFiles.clear();
        tmr1.stop();
        TrayIcon1.hide();
        event->accept();
        emit Closed();
        return;
    }
    event->ignore();
    Guard([&] {
        HideMainWindow();
        if (!desktop_.SystemTrayAvailable()) return;
        TrayIcon1.show();
        desktop_.ShowBalloon(TrayIcon1, tr("温馨提示"),
                             tr("文件版本控制进入后台运行\n"
                                "如要退出监控文件，请在右下角右键进入菜单！"),
                             10000);
    });
}

void Tmainw::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    UpdateFrame();
    // Minimise to tray, when there is a tray to come back from.
    if (isMinimized() && MinimizeToTray && desktop_.SystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                HideMainWindow();
                TrayIcon1.show();
            }
        });
    }
}

void Tmainw::RestoreWindowState() {
    const QSettings settings(settingsPath_, QSettings::IniFormat);
    QList<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) screens << screen->availableGeometry();
    setGeometry(PlaceOnScreens(settings.value(kGeometryKey).toRect(), screens, kDesignGeometry));
    // A state that does not fit this splitter is refused and the usual sizes stay.
    Splitter1->restoreState(settings.value(kSplitterKey).toByteArray());
    if (settings.value(kMaximizedKey, false).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

QString Tmainw::RememberedColorScheme() const {
    // The desktop's own palette, read before any scheme replaced it.
    static const QPalette desktopPalette = QGuiApplication::palette();
    const QString saved =
        QSettings(settingsPath_, QSettings::IniFormat).value(kColorSchemeKey).toString();
    if (ColorSchemeNames().contains(saved)) return saved;
    return DefaultColorScheme(DesktopPrefersDark(qgetenv("GTK_THEME"), desktopPalette));
}

void Tmainw::ApplyColorScheme(const QString& name) {
    if (!ColorSchemeNames().contains(name)) return;
    QApplication::setPalette(ColorSchemePalette(name));
    ToolBarPager1->setStyleSheet(ColorSchemeRibbonStyle(name));
    for (QAction* item : ToolBarPager1->SchemeMenu->actions())
        item->setChecked(item->text() == name);
}

void Tmainw::ChooseColorScheme(const QString& name) {
    ApplyColorScheme(name);
    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.setValue(kColorSchemeKey, name);
}

QString Tmainw::ColorScheme() const {
    for (const QAction* item : ToolBarPager1->SchemeMenu->actions())
        if (item->isChecked()) return item->text();
    return QString();
}

void Tmainw::SaveWindowState() {
    try {
        QSettings settings(settingsPath_, QSettings::IniFormat);
        const bool maximized = isMaximized() || isFullScreen();
        settings.setValue(kGeometryKey, maximized ? normalGeometry() : geometry());
        settings.setValue(kMaximizedKey, maximized);
        settings.setValue(kSplitterKey, Splitter1->saveState());
    } catch (...) {
        // The window closes all the same.
    }
}

void Tmainw::UpdateFrame() {
    const int border = isMaximized() || isFullScreen() ? 0 : kFrameBorder;
    setContentsMargins(border, border, border, border);
    if (border == 0 && frameCursor_) {
        unsetCursor();
        frameCursor_ = false;
    }
}

void Tmainw::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Every mouse event of the window passes the frame first, whichever widget it is for.
    // (Installing it again on the same window only moves it to the front.)
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
}

void Tmainw::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (contentsMargins().left() == 0) return;
    // A thin outline, as a frame: the border strip is this window's own background.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool Tmainw::FrameMouseEvent(QEvent* event) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = contentsMargins().left() == 0
                                ? Qt::Edges{}
                                : FrameEdgesAt(size(), mouse->position().toPoint());
    switch (event->type()) {
        case QEvent::MouseMove:
            if (mouse->buttons() != Qt::NoButton) return false;  // a drag goes on as it began
            if (edges) {
                setCursor(FrameCursor(edges));
                frameCursor_ = true;
            } else if (frameCursor_) {
                unsetCursor();
                frameCursor_ = false;
            }
            return false;
        case QEvent::MouseButtonPress:
            if (!edges || mouse->button() != Qt::LeftButton) return false;
            // The system resizes the window (and the desktop may refuse: then nothing).
            if (QWindow* window = windowHandle()) window->startSystemResize(edges);
            return true;
        default:
            return false;
    }
}

bool Tmainw::eventFilter(QObject* watched, QEvent* event) {
    if (watched->isWindowType() && watched == windowHandle()) {
        switch (event->type()) {
            case QEvent::MouseMove:
            case QEvent::MouseButtonPress:
                if (FrameMouseEvent(event)) return true;
                break;
            case QEvent::Leave:
                if (frameCursor_) {
                    unsetCursor();
                    frameCursor_ = false;
                }
                break;
            default:
                break;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (watched != TreeView1->viewport()) return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile()) paths << url.toLocalFile();
            drop->acceptProposedAction();
            DropFiles(paths);
            return true;
        }
        case QEvent::MouseButtonPress: {
            // A right click selects the node under the mouse before the menu opens; on a
            // node that is already selected it keeps the selection (two versions to
            // compare) and only makes that node the current one.
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                if (QTreeWidgetItem* node = TreeView1->itemAt(mouse->position().toPoint())) {
                    if (node->isSelected())
                        TreeView1->setCurrentItem(node, 0, QItemSelectionModel::NoUpdate);
                    else
                        TreeView1->setCurrentItem(node);
                }
            }
            break;
        }
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace filever
