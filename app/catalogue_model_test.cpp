// The catalogue model without widgets: its commands and the tree they leave, the
// monitoring pass's in-memory look for changed files, removing a watched folder, and the
// progress and stop of adding a large one.
#include "app/catalogue_model.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <filesystem>

#include "app/os/file_time.h"
#include "app/testing/files.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Q;
using testing::SetMTime;
using testing::Write;

class CatalogueModel : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("store"));
        model.Open(Q(dir.file("版本控制.dat")));
        area = model.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    }
    // A file under docs/ registered with its first version.
    QString Registered(const std::string& name, time_t when = 1600000000) {
        return RegisteredAt(dir.file("docs/" + name), when);
    }
    QString RegisteredAt(const std::string& path, time_t when = 1600000000) {
        Write(path, "content of " + path);
        SetMTime(path, when);
        TRegistration r;
        EXPECT_TRUE(model.AddFile(area, Q(path), r));
        EXPECT_TRUE(r.Captured);
        return Q(path);
    }
    QStringList Changed() {
        QStringList pending;
        model.ScanForChanges(pending);
        return pending;
    }

    tarn::testing::TempDir dir;
    TCatalogue catalogue;
    TCatalogueModel model{catalogue};
    int32_t area = 0;
};

TEST_F(CatalogueModel, CommandsChangeTheTreeTheyShow) {
    const QString a = Registered("a.txt");
    const QString b = Registered("b.txt");
    const int32_t empty = model.AddArea(QStringLiteral("空"), Q(dir.file("store2")));
    EXPECT_TRUE(QFileInfo(Q(dir.file("store2"))).isDir());
    std::vector<TAreaItem> tree = model.Tree();
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[0].Row.AreaNo, area);
    ASSERT_EQ(tree[0].Files.size(), 2u);
    EXPECT_EQ(tree[0].Files[0].Row.SourcePath, a);
    EXPECT_EQ(tree[0].Files[0].Versions.size(), 1u);
    EXPECT_TRUE(tree[1].Files.empty());
    EXPECT_EQ(model.FilePaths(), QStringList({a, b}));
    EXPECT_NE(model.FileNoOf(b), 0);
    EXPECT_EQ(model.FileNoOf(b + "x"), 0);
    // An unknown area number registers nothing.
    TRegistration none;
    EXPECT_FALSE(model.AddFile(empty + 1, a, none));

    const int32_t fileNo = model.FileNoOf(a);
    const QString version = tree[0].Files[0].Versions[0];
    EXPECT_TRUE(model.Annotate(fileNo, version, QStringLiteral("第一稿")));
    EXPECT_FALSE(model.Annotate(fileNo, QStringLiteral("no-such-version"), QStringLiteral("x")));
    verinfo rec;
    catalogue.FindVersionByName(version, rec, fileNo);
    EXPECT_EQ(rec.Remark, QStringLiteral("第一稿"));

    // Removing a file keeps its versions and copies.
    EXPECT_TRUE(model.RemoveFile(a));
    EXPECT_FALSE(model.RemoveFile(a));
    EXPECT_EQ(model.FilePaths(), QStringList({b}));
    EXPECT_EQ(model.FileNoOf(a), 0);
    EXPECT_EQ(catalogue.VersionNamesOfFile(fileNo).size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(rec.FilePath));

    EXPECT_TRUE(model.RemoveArea(area));
    EXPECT_FALSE(model.RemoveArea(area));
    tree = model.Tree();
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].Row.AreaNo, empty);
    EXPECT_TRUE(model.FilePaths().isEmpty());
}

TEST_F(CatalogueModel, APassFindsExactlyTheFilesWhoseTimeMovedOnAcrossCaptures) {
    const QString a = Registered("a.txt");
    const QString b = Registered("b.txt");
    const std::string pathA = a.toStdString();
    EXPECT_TRUE(Changed().isEmpty());
    EXPECT_TRUE(Changed().isEmpty());  // the pass that knows the seconds already
    // Within the recorded two-second step: nothing changed by the recorded measure.
    SetMTime(pathA, 1600000001);
    EXPECT_TRUE(Changed().isEmpty());
    // A second that was known to match, then a time that does not.
    SetMTime(pathA, 1600000100);
    EXPECT_EQ(Changed(), QStringList({a}));
    // A path already pending is not added again, whatever its letter case.
    QStringList pending{a.toUpper()};
    model.ScanForChanges(pending);
    EXPECT_EQ(pending, QStringList({a.toUpper()}));

    // Keeping the version refreshes what the pass compares with.
    Write(pathA, "new content");
    SetMTime(pathA, 1600000200);
    TVersionCopy copy;
    ASSERT_TRUE(model.TakeCopy(a, copy));
    verinfo rec;
    model.Record(copy, QString(), rec);
    EXPECT_TRUE(Changed().isEmpty());
    // An identical save only moves the recorded time: quiet after it too.
    SetMTime(pathA, 1600000300);
    TVersionCopy same;
    ASSERT_TRUE(model.TakeCopy(a, same));
    EXPECT_TRUE(same.Identical);
    EXPECT_TRUE(Changed().isEmpty());

    // A file that is gone is reported on every pass.
    std::filesystem::remove(b.toStdString());
    EXPECT_EQ(Changed(), QStringList({b}));
    EXPECT_EQ(Changed(), QStringList({b}));

    // A write around the model shows once it is told.
    catalogue.SetRecordedTime(model.FileNoOf(a), QStringLiteral("2000-01-01-00-00-00"));
    EXPECT_EQ(Changed(), QStringList({b}));
    model.Invalidate();
    EXPECT_EQ(Changed(), QStringList({a, b}));
}

// A new area may not take a name in use (spaces around it not counted): nothing is
// written, not even its directory. Names that only begin alike are different names.
TEST_F(CatalogueModel, ANewAreaMayNotTakeANameInUse) {
    for (const QString& name : {QStringLiteral("文档"), QStringLiteral(" 文档 ")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(model.AreaNameInUse(name));
        EXPECT_EQ(model.AddArea(name, Q(dir.file("store2"))), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(Q(dir.file("store2"))));
    EXPECT_EQ(catalogue.Areas().size(), 1u);
    EXPECT_FALSE(model.AreaNameInUse(QStringLiteral("文")));
    EXPECT_NE(model.AddArea(QStringLiteral("文档备份"), Q(dir.file("store2"))), 0);
    EXPECT_EQ(catalogue.Areas().size(), 2u);
}

TEST_F(CatalogueModel, RemovingAFolderStopsWatchingItsFilesAndKeepsTheirHistory) {
    Write(dir.file("docs/a.txt"));
    Write(dir.file("docs/sub/b.txt"));
    Write(dir.file("docs/b.txt~"));
    const QString loose = RegisteredAt(dir.file("loose.txt"));
    TFolderScan scan;
    const int32_t folderNo =
        model.AddFolder(area, Q(dir.file("docs")), true, DefaultFolderExclusions(), scan);
    ASSERT_EQ(scan.Added.size(), 2u);
    // The same file name registered by hand, excluded from the folder: not the folder's.
    TRegistration byHand;
    ASSERT_TRUE(model.AddFile(area, Q(dir.file("docs/b.txt~")), byHand));
    const TFolderRow folder = model.FolderOf(area, Q(dir.file("docs/sub/b.txt")));
    EXPECT_EQ(folder.FolderNo, folderNo);
    EXPECT_EQ(model.FolderOf(area, loose).FolderNo, 0);
    EXPECT_EQ(model.FolderOf(area, Q(dir.file("docs/b.txt~"))).FolderNo, 0);
    EXPECT_EQ(model.FilesOfFolder(folder),
              QStringList({Q(dir.file("docs/a.txt")), Q(dir.file("docs/sub/b.txt"))}));
    const int32_t fileNo = model.FileNoOf(Q(dir.file("docs/a.txt")));
    const std::vector<TVersionRow> versions = catalogue.VersionsOfFile(fileNo);
    ASSERT_EQ(versions.size(), 1u);

    const QStringList removed = model.RemoveFolder(folderNo);
    EXPECT_EQ(removed, QStringList({Q(dir.file("docs/a.txt")), Q(dir.file("docs/sub/b.txt"))}));
    EXPECT_TRUE(catalogue.Folders().empty());
    EXPECT_EQ(model.FilePaths(), QStringList({loose, Q(dir.file("docs/b.txt~"))}));
    EXPECT_EQ(catalogue.VersionsOfFile(fileNo).size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(versions[0].FilePath));
    EXPECT_TRUE(model.FolderDirs().isEmpty());
    // Nothing that appears there is registered any more; an unknown folder changes nothing.
    Write(dir.file("docs/later.txt"));
    TFolderScan pass;
    model.RegisterAppearedFiles(pass);
    EXPECT_TRUE(pass.Added.empty());
    EXPECT_TRUE(model.RemoveFolder(folderNo).isEmpty());
    EXPECT_EQ(model.FilePaths().size(), 2);
}

// A name that is no UTF-8 (written by another system) comes back from the folder's walk
// as other bytes than the registered path gives: the file is still registered once, not
// again on every pass.
TEST_F(CatalogueModel, AFileWhoseNameIsNoUtf8IsRegisteredOnce) {
    Write(dir.file("docs/ok.txt"));
    Write(dir.file("docs/bad-\xff\xfe.txt"));
    TFolderScan scan;
    model.AddFolder(area, Q(dir.file("docs")), true, {}, scan);
    ASSERT_EQ(scan.Added.size(), 2u);
    for (int pass = 0; pass < 2; ++pass) {
        TFolderScan again;
        model.RegisterAppearedFiles(again);
        EXPECT_TRUE(again.Added.empty()) << "pass " << pass;
        EXPECT_EQ(model.FilePaths().size(), 2) << "pass " << pass;
    }
}

TEST_F(CatalogueModel, AddingALargeFolderReportsProgressAndStopsConsistently) {
    for (int d = 0; d < 10; ++d)
        for (int f = 0; f < 4; ++f)
            Write(dir.file("big/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"));
    std::vector<std::pair<qsizetype, qsizetype>> heard;
    TFolderScan scan;
    const int32_t folderNo = model.AddFolder(area, Q(dir.file("big")), true, {}, scan,
                                             [&](qsizetype done, qsizetype total) {
                                                 heard.emplace_back(done, total);
                                                 return true;
                                             });
    EXPECT_NE(folderNo, 0);
    EXPECT_FALSE(scan.Cancelled);
    ASSERT_EQ(heard.size(), 41u);
    for (size_t i = 0; i < heard.size(); ++i)
        EXPECT_EQ(heard[i], std::make_pair(static_cast<qsizetype>(i), qsizetype{40}));
    EXPECT_EQ(model.FilePaths().size(), 40);

    // Stopped part-way: what was registered stays complete, the folder does not stay.
    for (int d = 0; d < 10; ++d) Write(dir.file("more/d" + std::to_string(d) + "/g.txt"));
    TFolderScan stopped;
    qsizetype last = -1;
    const int32_t none = model.AddFolder(area, Q(dir.file("more")), true, {}, stopped,
                                         [&](qsizetype done, qsizetype) {
                                             EXPECT_GT(done, last);
                                             last = done;
                                             return done < 3;
                                         });
    EXPECT_EQ(none, 0);
    EXPECT_TRUE(stopped.Cancelled);
    ASSERT_EQ(stopped.Added.size(), 3u);
    ASSERT_EQ(catalogue.Folders().size(), 1u);
    EXPECT_EQ(catalogue.Folders()[0].FolderNo, folderNo);
    EXPECT_EQ(model.FilePaths().size(), 43);
    for (const TFolderFile& f : stopped.Added) {
        const int32_t no = model.FileNoOf(f.Path);
        EXPECT_EQ(catalogue.VersionNamesOfFile(no).size(), 1u) << f.Path.toStdString();
    }
    EXPECT_TRUE(Changed().isEmpty());
    // The next pass leaves the rest of the stopped folder alone.
    TFolderScan pass;
    model.RegisterAppearedFiles(pass);
    EXPECT_TRUE(pass.Added.empty());
}

}  // namespace
}  // namespace filever
