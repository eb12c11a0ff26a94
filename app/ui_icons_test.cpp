// Pictures: every ribbon command has its own; areas show folders; a watched file that is
// gone is marked in the tree.
#include "app/ui_icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QStackedWidget>
#include <QToolButton>

#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::MainWindowFixture;
using testing::Q;

QImage Picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

TEST(UiIcons, EveryPictureIsDrawnAndDiffersFromTheOthers) {
    const TUiIcon all[] = {TUiIcon::AddArea, TUiIcon::AddFile,     TUiIcon::AddFolder,
                           TUiIcon::Merge,   TUiIcon::AutoMonitor, TUiIcon::AddWatchedFile,
                           TUiIcon::Schemes, TUiIcon::Area,        TUiIcon::MissingFile,
                           TUiIcon::Refresh, TUiIcon::ExportImage, TUiIcon::ExportCsv};
    std::vector<QImage> seen;
    for (TUiIcon which : all) {
        const QImage image = Picture(UiIcon(which));
        ASSERT_FALSE(image.isNull()) << UiIconThemeName(which);
        EXPECT_NE(image.pixelColor(16, 16).alpha() + image.pixelColor(8, 24).alpha(), 0)
            << UiIconThemeName(which) << " is blank";
        for (const QImage& other : seen) EXPECT_NE(image, other) << UiIconThemeName(which);
        seen.push_back(image);
    }
}

class TreeAndRibbonPictures : public MainWindowFixture {};

TEST_F(TreeAndRibbonPictures, RibbonButtonsAreaNodesAndMissingFiles) {
    testing::CatalogueDouble catalogue;
    catalogue.areas.push_back({1, QStringLiteral("文档"), Q(dir.file("store"))});
    const std::string present = Source("present.txt");
    catalogue.files.push_back({1, 1, Q(present), Q(dir.file("store")), QString()});
    catalogue.files.push_back(
        {2, 1, Q(dir.file("docs/gone.txt")), Q(dir.file("store")), QString()});
    auto w = Make(catalogue);

    // On every page, no two buttons look alike.
    for (int i = 0; i < w->ToolBarPager1->Pages->count(); ++i) {
        std::vector<QImage> pictures;
        for (QToolButton* b : w->ToolBarPager1->Pages->widget(i)->findChildren<QToolButton*>()) {
            const QImage image = Picture(b->icon());
            ASSERT_FALSE(image.isNull()) << b->text().toStdString();
            for (const QImage& other : pictures) EXPECT_NE(image, other) << b->text().toStdString();
            pictures.push_back(image);
        }
    }

    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 1);
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    EXPECT_EQ(Picture(area->icon(0)), Picture(UiIcon(TUiIcon::Area)));
    const QImage missing = Picture(UiIcon(TUiIcon::MissingFile));
    QTreeWidgetItem* gone = w->FindFileNode(Q(dir.file("docs/gone.txt")));
    QTreeWidgetItem* there = w->FindFileNode(Q(present));
    ASSERT_TRUE(gone && there);
    EXPECT_EQ(Picture(gone->icon(0)), missing);
    EXPECT_NE(Picture(there->icon(0)), missing);
}

}  // namespace
}  // namespace filever
