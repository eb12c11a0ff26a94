// The main window's "版本合并": the version selected in the tree is merged into its
// watched file in the merge view (app/merge_view.h); the state kept before the merge joins
// the tree as the file's newest version.
#include <QTreeWidget>

#include "app/catalogue.h"
#include "app/compare_view.h"
#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/mainw.h"
#include "app/merge_view.h"

namespace filever {

void Tmainw::MergeClick() {
    if (!CatalogueAvailable()) return;
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node || !node->parent() || !node->parent()->parent()) {
        ShowMessage(tr("请先在目录树中选中要合并到当前文件的版本。"));
        return;
    }
    QTreeWidgetItem* fileNode = node->parent();
    TMergeOutcome outcome;
    Guarded(desktop_, this, [&] {
        verinfo version;
        catalogue_.FindVersionByName(node->text(0), version, FileNoOf(fileNode));
        const QString path = fileNode->text(0);
        QByteArray olderBytes, currentBytes;
        if (!ReadTextPair(desktop_, this, {version.FilePath, tr("版本 %1").arg(version.VerName)},
                          {path, tr("当前文件")}, olderBytes, currentBytes))
            return;
        TMergeView view(this, desktop_, catalogue_, version, path, olderBytes, currentBytes);
        if (view.Plan().Hunks().empty()) {
            ShowMessage(
                tr("版本 %1 与当前文件的内容相同，没有可以合并的改动。").arg(version.VerName));
            return;
        }
        desktop_.ExecModal(view);
        outcome = view.Outcome();
    });
    if (outcome.captured) {
        auto* captured = new QTreeWidgetItem(QStringList{outcome.capturedVersion.VerName});
        captured->setIcon(0, fileNode->icon(0));
        fileNode->insertChild(0, captured);
    }
    if (outcome.captured || outcome.saved) {
        Guarded(desktop_, this, [&] { UpdateAreaUsage(); });
        TreeView1Change(TreeView1->currentItem());
    }
}

}  // namespace filever
