// The main window's memory as versions accumulate: what a monitoring pass keeps for each new
// version is its small tree node, not pictures of its own. Offscreen, with the desktop's
// double, over a real catalogue.
#include <gtest/gtest.h>

#include <QTest>
#include <QToolButton>
#include <string>

#include "app/catalogue.h"
#include "app/ribbon.h"
#include "app/testing/heap_bytes.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::HeapBytesInUse;
using testing::Q;

using WindowMemory = testing::MainWindowFixture;

// 40 watched files, each changed and kept by every pass ("自动监测"). The heap after the
// first pass and after the fourth differ by the tree nodes of the versions kept meanwhile:
// a few hundred bytes each (a picture per node made it some 70 KB each).
TEST_F(WindowMemory, APassKeepsLittleMoreThanANodePerVersion) {
    TCatalogue catalogue;
    catalogue.Open(options.cataloguePath);
    catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    auto w = Make(catalogue);
    w->ToolBarPager1->AutoMonitorButton->setChecked(true);
    constexpr int kFiles = 40;
    QStringList paths;
    for (int i = 0; i < kFiles; ++i) paths << Q(Source("f" + std::to_string(i) + ".txt"));
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    w->DropFiles(paths);
    ASSERT_TRUE(desktop.messages.empty());

    time_t when = 1600000000;
    size_t afterFirst = 0;
    for (int pass = 1; pass <= 4; ++pass) {
        when += 100;
        for (const QString& p : paths)
            testing::Write(p.toStdString(), "state " + std::to_string(pass), when);
        w->tmr1Timer();
        QTest::qWait(20);  // what the pass left for the event loop
        ASSERT_EQ(catalogue.VersionNamesOfFile(kFiles).size(), size_t(pass) + 1);
        if (pass == 1) afterFirst = HeapBytesInUse();
    }
    const double perVersion = (double(HeapBytesInUse()) - double(afterFirst)) / double(3 * kFiles);
    EXPECT_LT(perVersion, 4096.0) << "bytes kept per version";
    EXPECT_TRUE(desktop.messages.empty());
}

// A window opened over a catalogue keeps a node per area, file and version, with the
// pictures shared: the nodes of 40 files of 4 versions each take a few hundred bytes
// apiece (what clearing the tree frees), not a picture (tens of KB) per file.
TEST_F(WindowMemory, OpeningKeepsNoPicturePerFile) {
    constexpr int kFiles = 40, kVersions = 4;
    {
        TCatalogue catalogue;
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        for (int i = 0; i < kFiles; ++i) {
            const QString path = Q(Source("f" + std::to_string(i) + ".txt"));
            const int32_t fileNo = catalogue.AddFile(1, path, Q(dir.file("store/x")));
            for (int v = 0; v < kVersions; ++v) {
                verinfo rec;
                catalogue.AddVersion({fileNo, QStringLiteral("2020-01-01-00-00-0%1").arg(v),
                                      Q(dir.file("store/x/copy")), QString(), "1", ".txt"},
                                     rec);
            }
        }
    }
    TCatalogue catalogue;
    auto w = Make(catalogue);
    ASSERT_EQ(w->TreeView1->topLevelItem(0)->childCount(), kFiles);
    const size_t withTree = HeapBytesInUse();
    w->TreeView1->clear();
    const double perNode =
        double(withTree - HeapBytesInUse()) / double(1 + kFiles * (1 + kVersions));
    EXPECT_LT(perNode, 4096.0) << "bytes per node";
    EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
}  // namespace filever

namespace filever {
namespace {

// Counts reads of one file's versions.
class VersionReadCounter final : public TCatalogue {
public:
    int perFileReads = 0;
    std::vector<QString> VersionNamesOfFile(int32_t fileNo) override {
        ++perFileReads;
        return TCatalogue::VersionNamesOfFile(fileNo);
    }
};

// Opening the window reads the versions of all files in one pass over the version table,
// not one filtered pass per file (with thousands of files, seconds before the window).
TEST_F(WindowMemory, OpeningReadsTheVersionsInOnePass) {
    constexpr int kFiles = 30;
    {
        TCatalogue catalogue;
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        catalogue.AddArea(QStringLiteral("代码"), Q(dir.file("store")));
        catalogue.Transaction([&] {
            for (int i = 0; i < kFiles; ++i) {
                const int32_t fileNo = catalogue.AddFile(
                    1 + i % 2, Q(dir.file("docs/f" + std::to_string(i))), Q(dir.file("store/x")));
                for (int v = 0; v < 3; ++v) {
                    verinfo rec;
                    catalogue.AddVersion(
                        {fileNo, QStringLiteral("2020-01-01-00-0%1-%2").arg(v).arg(i),
                         Q(dir.file("store/x/copy")), QString(), "1", ".txt"},
                        rec);
                }
            }
        });
    }
    VersionReadCounter catalogue;
    auto w = Make(catalogue);
    EXPECT_EQ(catalogue.perFileReads, 0);
    // The tree as ever: areas in table order, each file first under its area with its
    // versions newest first.
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);
    const QTreeWidgetItem* first = w->TreeView1->topLevelItem(0);
    ASSERT_EQ(first->childCount(), kFiles / 2);
    EXPECT_EQ(first->child(0)->text(0), Q(dir.file("docs/f28")));
    EXPECT_EQ(testing::Texts(first->child(0)),
              QStringList({"2020-01-01-00-02-28", "2020-01-01-00-01-28", "2020-01-01-00-00-28"}));
    EXPECT_EQ(w->TreeView1->topLevelItem(1)->child(0)->text(0), Q(dir.file("docs/f29")));
    EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
}  // namespace filever
