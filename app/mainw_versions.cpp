// The main window's version commands: restoring and comparing versions, opening the folder
// of a file or a version, and the search box above the tree. The work itself is done
// without widgets (app/version_restore.h, app/compare_view.h, app/version_search.h); here
// it is tied to the tree's nodes, the watchers and the messages.
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/catalogue.h"
#include "app/compare_view.h"
#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/mainw.h"
#include "app/version_compare.h"
#include "app/version_restore.h"
#include "app/version_search.h"

namespace filever {
namespace {

int Level(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent()) ++level;
    return level;
}

QString VersionTitle(const QString& name) {
    return QCoreApplication::translate("filever", "版本 %1").arg(name);
}

}  // namespace

void Tmainw::CreateVersionCommands() {
    DiffTool = DiffToolOfUser;

    // The search box goes above the tree, in the tree's place in the splitter.
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(tr("搜索版本说明或文件名称"));
    SearchEdit->setClearButtonEnabled(true);
    if (auto* splitter = qobject_cast<QSplitter*>(TreeView1->parentWidget())) {
        auto* pane = new QWidget;
        auto* column = new QVBoxLayout(pane);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(2);
        splitter->replaceWidget(splitter->indexOf(TreeView1),
                                pane);  // TreeView1 moves into pane below
        column->addWidget(SearchEdit);
        SearchNote = new QLabel(pane);
        SearchNote->setObjectName(QStringLiteral("SearchNote"));
        SearchNote->hide();
        column->addWidget(SearchNote);
        column->addWidget(TreeView1, 1);
    }
    // One search once typing pauses, not one per key; a cleared box shows the tree at once.
    SearchTimer.setSingleShot(true);
    SearchTimer.setInterval(150);
    connect(&SearchTimer, &QTimer::timeout, this, [this] { SearchChange(SearchEdit->text()); });
    connect(SearchEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.trimmed().isEmpty()) {
            SearchTimer.stop();
            SearchChange(text);
        } else {
            SearchTimer.start();
        }
    });
    // Nodes added while a search is shown (a new version, a new file) are held to the
    // search too, once the command that adds them has finished.
    auto* refilter = new QTimer(this);
    refilter->setSingleShot(true);
    refilter->setInterval(0);
    connect(refilter, &QTimer::timeout, this, [this] {
        if (!SearchEdit->text().trimmed().isEmpty()) SearchChange(SearchEdit->text());
    });
    connect(TreeView1->model(), &QAbstractItemModel::rowsInserted, refilter, [this, refilter] {
        searchIndexRead_ = false;  // a new version or file: read again
        if (!SearchEdit->text().trimmed().isEmpty()) refilter->start();
    });

    // Two versions are compared by selecting both (Ctrl or Shift with the mouse).
    TreeView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    PopupMenu1->addSeparator();
    RestoreItem = PopupMenu1->addAction(tr("恢复此版本"));
    CompareCurrentItem = PopupMenu1->addAction(tr("与当前文件比较"));
    CompareTwoItem = PopupMenu1->addAction(tr("比较两个版本"));
    OpenFolderItem = PopupMenu1->addAction(tr("打开所在文件夹"));
    connect(RestoreItem, &QAction::triggered, this, [this] { RestoreClick(); });
    connect(CompareCurrentItem, &QAction::triggered, this, [this] { CompareCurrentClick(); });
    connect(CompareTwoItem, &QAction::triggered, this, [this] { CompareTwoClick(); });
    connect(OpenFolderItem, &QAction::triggered, this, [this] { OpenFolderClick(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { UpdateVersionCommands(); });
}

void Tmainw::UpdateVersionCommands() {
    const QTreeWidgetItem* node = TreeView1->currentItem();
    const int level = node ? Level(node) : -1;
    RestoreItem->setEnabled(level == 2);
    CompareCurrentItem->setEnabled(level == 2);
    OpenFolderItem->setEnabled(level == 1 || level == 2);
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    CompareTwoItem->setEnabled(selected.size() == 2 && Level(selected[0]) == 2 &&
                               Level(selected[1]) == 2 &&
                               selected[0]->parent() == selected[1]->parent());
    // Each of them looks its version up in the catalogue.
    if (!catalogueFailure_.isEmpty())
        for (QAction* a : {RestoreItem, CompareCurrentItem, CompareTwoItem, OpenFolderItem})
            a->setEnabled(false);
}

void Tmainw::RestoreClick() {
    if (!CatalogueAvailable()) return;
    const QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node || Level(node) != 2) return;
    // What the nodes say is taken now: a pass may run while the box is open (a modal box
    // runs the event loop) and change the tree.
    const QString versionName = node->text(0);
    const QString path = node->parent()->text(0);
    const int32_t fileNo = FileNoOf(node->parent());
    if (!Confirm(tr("恢复此版本"),
                 tr("用版本 %1 替换“%2”的当前内容吗？当前内容会先保存为一个新版本。")
                     .arg(versionName, path)))
        return;
    TRestoreOutcome outcome;
    const bool restored = Guarded(desktop_, this, [&] {
        verinfo version;
        catalogue_.FindVersionByName(versionName, version, fileNo);
        // The restore's own write is no change to report: watching is held off for it and
        // comes back as it should be then, whatever happened meanwhile.
        const TWatchControl::Scope hold = watch_.HoldOff();
        model_.Restore(path, version, outcome);
    });
    // The state before the restore is a version also when the restore failed after it.
    QTreeWidgetItem* fileNode = FindFileNode(path);
    if (outcome.captured && fileNode) {
        auto* captured = new QTreeWidgetItem(QStringList{outcome.capturedVersion.VerName});
        captured->setIcon(0, fileNode->icon(0));
        fileNode->insertChild(0, captured);
    }
    Guarded(desktop_, this, [&] {
        watch_.Apply();
        UpdateAreaUsage();
    });
    if (!restored) return;
    TreeView1Change(TreeView1->currentItem());
    QString text = tr("已将“%1”恢复为版本 %2。").arg(path, versionName);
    if (outcome.captured) {
        text += tr("\n恢复前的内容已保存为版本 %1。").arg(outcome.capturedVersion.VerName);
    }
    ShowMessage(text);
}

void Tmainw::CompareCurrentClick() {
    if (!CatalogueAvailable()) return;
    Guarded(desktop_, this, [&] {
        QTreeWidgetItem* node = TreeView1->currentItem();
        if (!node || Level(node) != 2) return;
        verinfo version;
        catalogue_.FindVersionByName(node->text(0), version, FileNoOf(node->parent()));
        CompareFiles(desktop_, this, {version.FilePath, VersionTitle(node->text(0))},
                     {node->parent()->text(0), tr("当前文件")},
                     DiffTool ? DiffTool() : QStringList());
    });
}

void Tmainw::CompareTwoClick() {
    if (!CatalogueAvailable()) return;
    Guarded(desktop_, this, [&] {
        QList<QTreeWidgetItem*> nodes = TreeView1->selectedItems();
        if (nodes.size() != 2 || Level(nodes[0]) != 2 || Level(nodes[1]) != 2 ||
            nodes[0]->parent() != nodes[1]->parent()) {
            ShowMessage(tr("请先选中同一文件的两个版本（按住 Ctrl 键单击）。"));
            return;
        }
        // Version names are times: the older one sorts first and goes on the left.
        std::sort(nodes.begin(), nodes.end(),
                  [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                      return a->text(0) < b->text(0);
                  });
        const int32_t fileNo = FileNoOf(nodes[0]->parent());
        verinfo older, newer;
        catalogue_.FindVersionByName(nodes[0]->text(0), older, fileNo);
        catalogue_.FindVersionByName(nodes[1]->text(0), newer, fileNo);
        CompareFiles(desktop_, this, {older.FilePath, VersionTitle(nodes[0]->text(0))},
                     {newer.FilePath, VersionTitle(nodes[1]->text(0))},
                     DiffTool ? DiffTool() : QStringList());
    });
}

void Tmainw::OpenFolderClick() {
    if (!CatalogueAvailable()) return;
    Guarded(desktop_, this, [&] {
        QTreeWidgetItem* node = TreeView1->currentItem();
        if (!node) return;
        QString path;
        if (Level(node) == 1) {
            path = node->text(0);
        } else if (Level(node) == 2) {
            verinfo version;
            catalogue_.FindVersionByName(node->text(0), version, FileNoOf(node->parent()));
            path = version.FilePath;
        }
        if (path.isEmpty()) return;
        const QString folder = QFileInfo(path).absolutePath();
        if (!QFileInfo(folder).isDir()) {
            ShowMessage(tr("文件夹“%1”不存在。").arg(folder));
            return;
        }
        if (!desktop_.OpenWithAssociatedProgram(folder))
            ShowMessage(tr("没有程序可以打开文件夹“%1”。").arg(folder));
    });
}

void Tmainw::SearchChange(const QString& text) {
    Guarded(desktop_, this, [&] {
        const QString word = text.trimmed();
        SearchNote->hide();
        if (word.isEmpty()) {
            ShowWholeTree(*TreeView1);
            // Nothing is held for searching while nobody searches.
            searchIndex_.Clear();
            searchIndexRead_ = false;
        } else {
            if (!CatalogueAvailable()) return;
            ++searchesRun_;
            if (!searchIndexRead_ || searchGeneration_ != model_.Generation()) {
                searchIndex_.Load(catalogue_.SearchVersions(QString()), catalogue_.AllFiles());
                searchGeneration_ = model_.Generation();
                searchIndexRead_ = true;
            }
            const std::vector<verinfo> hits = searchIndex_.Find(word);
            FilterCatalogueTree(*TreeView1, hits, searchIndex_.FileNos());
            if (hits.empty()) {
                SearchNote->setText(tr("没有找到含有“%1”的版本").arg(word));
                SearchNote->show();
            }
        }
        // The version list shows what the tree shows.
        TreeView1Change(TreeView1->currentItem());
    });
}

void Tmainw::RunPendingSearch() {
    if (!SearchTimer.isActive()) return;
    SearchTimer.stop();
    SearchChange(SearchEdit->text());
}

}  // namespace filever
