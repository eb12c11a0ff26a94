// Watched folders without widgets: which names the exclusion patterns leave out, what a
// folder tree lists, registering a folder and the files that appear in it later, the
// folder table in a catalogue made before it existed, and the watch limit.
#include "app/watched_folders.h"

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <QDir>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/files.h"
#include "app/testing/original_catalogue.h"
#include "app/watch_set.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Q;
using testing::Write;

TEST(FolderExclusions, DefaultsAndPatternsMatchNamesAndDirectories) {
    const TExclusions defaults(DefaultFolderExclusions());
    struct Case {
        const char* name;
        bool isDir;
        bool excluded;
    } cases[] = {
        {"notes.txt", false, false},
        {".notes.txt.swp", false, true},
        {".notes.txt.swx", false, true},
        {"notes.txt~", false, true},
        {".#notes.txt", false, true},
        {"#notes.txt#", false, true},
        {"build.tmp", false, true},
        {"build.tmp.txt", false, false},
        {"#notes.txt", false, false},  // no closing '#'
        {".git", true, true},
        {".git", false, false},  // a file of that name (a worktree's link) is kept
        {"node_modules", true, true},
        {"node_modules", false, false},
        {".github", true, false},
        {"src", true, false},
        {"old.tmp", true, true},  // a pattern without "/" names directories as well
        {".gitignore", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(defaults.Excludes(QString::fromUtf8(c.name), c.isDir), c.excluded)
            << c.name << (c.isDir ? " (directory)" : "");

    // Edited patterns: blanks and empty lines dropped, "?" and classes work, several
    // trailing slashes are one, names are matched whole.
    const QStringList edited = ParseExclusions("  *.log \n\n build//\n data?.csv\n[Tt]humbs.db\n");
    EXPECT_EQ(edited, QStringList({"*.log", "build//", "data?.csv", "[Tt]humbs.db"}));
    const TExclusions own(edited);
    EXPECT_TRUE(own.Excludes(QStringLiteral("run.log"), false));
    EXPECT_FALSE(own.Excludes(QStringLiteral("run.log.txt"), false));
    EXPECT_TRUE(own.Excludes(QStringLiteral("build"), true));
    EXPECT_FALSE(own.Excludes(QStringLiteral("build"), false));
    EXPECT_FALSE(own.Excludes(QStringLiteral("rebuild"), true));
    EXPECT_TRUE(own.Excludes(QStringLiteral("data1.csv"), false));
    EXPECT_FALSE(own.Excludes(QStringLiteral("data10.csv"), false));
    EXPECT_TRUE(own.Excludes(QStringLiteral("thumbs.db"), false));
    EXPECT_TRUE(own.Excludes(QStringLiteral("中文.log"), false));
    EXPECT_EQ(ParseExclusions(JoinExclusions(DefaultFolderExclusions())),
              DefaultFolderExclusions());
}

class FolderTree : public ::testing::Test {
protected:
    void SetUp() override {
        Write(dir.file("docs/a.txt"));
        Write(dir.file("docs/.a.txt.swp"));
        Write(dir.file("docs/sub/b.txt"));
        Write(dir.file("docs/sub/deeper/c.txt"));
        Write(dir.file("docs/.git/HEAD"));
        Write(dir.file("docs/node_modules/x/index.js"));
        Write(dir.file("docs/empty/.keep~"));
        std::filesystem::create_symlink(dir.file("docs/sub"), dir.file("docs/link"));
        std::filesystem::create_directories(dir.file("store"));
    }
    QString Docs(const std::string& rel = "") { return Q(dir.file("docs" + rel)); }
    tarn::testing::TempDir dir;
};

TEST_F(FolderTree, ListsFilesBelowMinusExclusionsWithoutFollowingLinks) {
    const TExclusions defaults(DefaultFolderExclusions());
    TFolderListing all = ListFolder(Docs() + "/", true, defaults);
    EXPECT_EQ(all.Files,
              QStringList({Docs("/a.txt"), Docs("/sub/b.txt"), Docs("/sub/deeper/c.txt")}));
    all.Dirs.sort();
    EXPECT_EQ(all.Dirs, QStringList({Docs(), Docs("/empty"), Docs("/sub"), Docs("/sub/deeper")}));

    const TFolderListing top = ListFolder(Docs(), false, defaults);
    EXPECT_EQ(top.Files, QStringList({Docs("/a.txt")}));
    EXPECT_EQ(top.Dirs, QStringList({Docs()}));

    // Without patterns everything regular is listed, still not through the link.
    const TFolderListing bare = ListFolder(Docs(), true, TExclusions({}));
    EXPECT_EQ(bare.Files.size(), 7);
    EXPECT_FALSE(bare.Files.join(" ").contains("/link/"));
    // A folder that is not there lists nothing.
    EXPECT_TRUE(ListFolder(Docs("/missing"), true, defaults).Files.isEmpty());
}

TEST(FolderExclusions, StarPatternsMatchAsTheSystemGlobDoes) {
    const QStringList patterns{"a*b*c", "*.o", "file?.txt", "[0-9]*", "**x", "exact"};
    const TExclusions ex(patterns);
    for (const char* name : {"abc", "aXbYc", "abbc", "abcbc",     "ab",         "acb",    "a*b*c",
                             "x.o", ".o",    "x.oo", "file1.txt", "file12.txt", "9lives", "lives9",
                             "x",   "xx",    "y",    "exact",     "exactly",    ".exact", ""}) {
        bool expected = false;
        for (const QString& p : patterns)
            expected = expected || fnmatch(p.toUtf8().constData(), name, 0) == 0;
        EXPECT_EQ(ex.Excludes(QByteArray(name), false), expected) << name;
    }
}

TEST_F(FolderTree, AddingRegistersEveryFileWithAVersionAndAPassOnlyWhatAppeared) {
    TCatalogue c;
    TCatalogueModel model(c);
    model.Open(Q(dir.file("版本控制.dat")));
    const int32_t area = model.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    Write(dir.file("elsewhere.txt"));
    // A file registered before keeps its one row.
    TRegistration before;
    ASSERT_TRUE(model.AddFile(area, Docs("/a.txt"), before));

    TFolderScan scan;
    model.AddFolder(area, Docs(), true, DefaultFolderExclusions(), scan);
    ASSERT_EQ(scan.Added.size(), 2u);
    EXPECT_EQ(scan.Added[0].Path, Docs("/sub/b.txt"));
    EXPECT_EQ(scan.Added[1].Path, Docs("/sub/deeper/c.txt"));
    for (const TFolderFile& f : scan.Added) {
        EXPECT_TRUE(f.Registration.Captured) << f.Path.toStdString();
        EXPECT_EQ(f.AreaNo, area);
    }
    EXPECT_TRUE(scan.Dirs.contains(Docs("/sub/deeper")));
    const std::vector<TFolderRow> folders = c.Folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].Path, Docs());
    EXPECT_EQ(folders[0].AreaNo, area);
    EXPECT_TRUE(folders[0].Subfolders);
    EXPECT_EQ(ParseExclusions(folders[0].Exclusions), DefaultFolderExclusions());
    ASSERT_EQ(c.AllFiles().size(), 3u);
    for (const TFileRow& row : c.AllFiles()) {
        EXPECT_EQ(c.VersionNamesOfFile(row.FileNo).size(), 1u) << row.SourcePath.toStdString();
        EXPECT_EQ(row.RecordedTime, FormatVersionTime(GetFileTime(row.SourcePath, ftkLastWrite)));
    }

    // Nothing new: a pass registers nothing.
    TFolderScan quiet;
    model.RegisterAppearedFiles(quiet);
    EXPECT_TRUE(quiet.Added.empty());
    EXPECT_TRUE(quiet.Dirs.contains(Docs("/empty")));

    // New files, one in a new subfolder, and excluded ones.
    Write(dir.file("docs/new.txt"));
    Write(dir.file("docs/fresh/d.txt"));
    Write(dir.file("docs/new.txt~"));
    Write(dir.file("docs/scratch.tmp"));
    Write(dir.file("docs/.git/ORIG_HEAD"));
    TFolderScan pass;
    model.RegisterAppearedFiles(pass);
    QStringList added;
    for (const TFolderFile& f : pass.Added) added << f.Path;
    EXPECT_EQ(added, QStringList({Docs("/fresh/d.txt"), Docs("/new.txt")}));
    EXPECT_TRUE(pass.Dirs.contains(Docs("/fresh")));
    EXPECT_EQ(c.AllFiles().size(), 5u);
    TFolderScan again;
    model.RegisterAppearedFiles(again);
    EXPECT_TRUE(again.Added.empty());

    // Refusals write nothing.
    TFolderScan none;
    EXPECT_THROW(model.AddFolder(area, Docs("/missing"), true, {}, none), tarn::EDatabaseError);
    EXPECT_THROW(model.AddFolder(99, Docs(), true, {}, none), tarn::EDatabaseError);
    EXPECT_EQ(c.Folders().size(), 1u);

    // The folder goes with its area; its files' rows go as any area's files do.
    ASSERT_TRUE(model.RemoveArea(area));
    EXPECT_TRUE(c.Folders().empty());
    TFolderScan gone;
    model.RegisterAppearedFiles(gone);
    EXPECT_TRUE(gone.Added.empty());
}

TEST_F(FolderTree, WithoutSubfoldersOnlyTheTopIsRegistered) {
    testing::CatalogueDouble c;
    TCatalogueModel model(c);
    const int32_t area = model.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    TFolderScan scan;
    model.AddFolder(area, Docs(), false, DefaultFolderExclusions(), scan);
    ASSERT_EQ(scan.Added.size(), 1u);
    EXPECT_EQ(scan.Added[0].Path, Docs("/a.txt"));
    EXPECT_EQ(scan.Dirs, QStringList({Docs()}));
    Write(dir.file("docs/sub/later.txt"));
    Write(dir.file("docs/later.txt"));
    TFolderScan pass;
    model.RegisterAppearedFiles(pass);
    ASSERT_EQ(pass.Added.size(), 1u);
    EXPECT_EQ(pass.Added[0].Path, Docs("/later.txt"));
    // A failing registration keeps the files before it (a refused batch is registered
    // file by file).
    Write(dir.file("docs/z1.txt"));
    Write(dir.file("docs/z2.txt"));
    c.beforeWrite = [&](const QString& method) {
        if (method == "AddFile" && c.files.size() == 3) throw tarn::EDatabaseError("full");
    };
    TFolderScan failing;
    EXPECT_THROW(model.RegisterAppearedFiles(failing), tarn::EDatabaseError);
    ASSERT_EQ(failing.Added.size(), 1u);
    EXPECT_EQ(failing.Added[0].Path, Docs("/z1.txt"));
    EXPECT_EQ(c.files.size(), 3u);
    c.beforeWrite = nullptr;
    TFolderScan retry;
    model.RegisterAppearedFiles(retry);
    ASSERT_EQ(retry.Added.size(), 1u);
    EXPECT_EQ(retry.Added[0].Path, Docs("/z2.txt"));
}

TEST(FolderTable, AddedToAnOlderCatalogueAndKeptAcrossOpens) {
    tarn::testing::TempDir dir;
    const std::string path = dir.file("版本控制.dat");
    testing::CreateOriginalCatalogue(path);
    {
        TCatalogue c;
        c.Open(Q(path));
        EXPECT_TRUE(c.Folders().empty());
        const int32_t a = c.AddArea("a", Q(dir.path()));
        EXPECT_EQ(c.AddFolder(a, QStringLiteral("/home/用户/文档"), true, "*.tmp\n.git/"), 1);
        EXPECT_EQ(c.AddFolder(a, "/srv/two", false, ""), 2);
        // Both added tables work side by side.
        c.SetRetention(a, {TRetentionMode::KeepLast, 3, 0});
        EXPECT_TRUE(c.RemoveFolder(2));
        EXPECT_FALSE(c.RemoveFolder(2));
    }
    TCatalogue c;
    c.Open(Q(path));
    ASSERT_EQ(c.Folders().size(), 1u);
    EXPECT_EQ(c.Folders()[0].Path, QStringLiteral("/home/用户/文档"));
    EXPECT_EQ(c.Retention(1).KeepCount, 3);
    EXPECT_EQ(c.Areas().size(), 1u);
}

TEST(FolderTable, KeptAcrossOpensAndLongTextsRefused) {
    tarn::testing::TempDir dir;
    const QString path = Q(dir.file("版本控制.dat"));
    {
        TCatalogue c;
        c.Open(path);
        const int32_t a = c.AddArea("a", Q(dir.path()));
        c.AddFolder(a, QStringLiteral("/home/用户/文档"), true, "*.tmp\n.git/");
        c.AddFolder(a, "/srv/two", false, "");
        EXPECT_THROW(c.AddFolder(a, "/srv/three", false, QString(5000, 'x')), tarn::EDatabaseError);
    }
    TCatalogue c;
    c.Open(path);
    const std::vector<TFolderRow> rows = c.Folders();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].FolderNo, 1);
    EXPECT_EQ(rows[0].AreaNo, 1);
    EXPECT_EQ(rows[0].Path, QStringLiteral("/home/用户/文档"));
    EXPECT_TRUE(rows[0].Subfolders);
    EXPECT_EQ(rows[0].Exclusions, "*.tmp\n.git/");
    EXPECT_EQ(rows[1].Path, "/srv/two");
    EXPECT_FALSE(rows[1].Subfolders);
    EXPECT_EQ(rows[1].Exclusions, "");
}

// Refuses every watch after the first as the kernel does at the user's limit.
int WatchesUpToOne(int fd, const char* path, uint32_t mask) {
    static int given = 0;
    if (fd < 0) return given = 0;  // reset
    if (given >= 1) {
        errno = ENOSPC;
        return -1;
    }
    ++given;
    return inotify_add_watch(fd, path, mask);
}

TEST(WatchLimit, ARefusedWatchIsToldToTheOwner) {
    tarn::testing::TempDir dir;
    Write(dir.file("a/x.txt"));
    Write(dir.file("b/y.txt"));
    TWatchSet set;
    int told = 0;
    set.OnWatchLimit = [&] { ++told; };
    set.Update({Q(dir.file("a/x.txt"))});
    EXPECT_FALSE(set.WatchLimitReached());
    EXPECT_EQ(told, 0);

    WatchesUpToOne(-1, nullptr, 0);
    TFileSystemWatcher::AddWatchCall = WatchesUpToOne;
    set.Update({Q(dir.file("a/x.txt")), Q(dir.file("b/y.txt"))});
    TFileSystemWatcher::AddWatchCall = inotify_add_watch;
    EXPECT_TRUE(set.WatchLimitReached());
    EXPECT_EQ(told, 1);
    // Off, nothing is armed and nothing told; on again with room, the limit is gone.
    set.SetActive(false);
    set.SetActive(true);
    EXPECT_FALSE(set.WatchLimitReached());
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace filever

namespace filever {
namespace {

// A catalogue on a file that counts its reads of the whole file index.
class CountingCatalogue final : public TCatalogue {
public:
    std::vector<TFileRow> AllFiles() override {
        ++allFilesReads;
        return TCatalogue::AllFiles();
    }
    int allFilesReads = 0;
};

TEST_F(FolderTree, ManyFilesOfOneNameGetTheirOwnBackupDirsWithoutAReadEach) {
    for (int d = 0; d < 12; ++d) Write(dir.file("many/d" + std::to_string(d) + "/same.txt"));
    CountingCatalogue c;
    c.Open(Q(dir.file("版本控制.dat")));
    // Two areas of one name: the folder's files go to the area the folder was added to.
    c.AddArea(QStringLiteral("文档"), Q(dir.file("other")));
    const int32_t area = c.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    TFolderScan scan;
    AddWatchedFolder(c, area, Q(dir.file("many")), true, {}, scan);
    ASSERT_EQ(scan.Added.size(), 12u);
    EXPECT_LE(c.allFilesReads, 2);
    QSet<QString> dirs;
    for (const TFileRow& row : c.AllFiles()) {
        EXPECT_EQ(row.AreaNo, area) << row.SourcePath.toStdString();
        EXPECT_TRUE(row.BackupDir.startsWith(Q(dir.file("store/same.txt-bak"))));
        dirs.insert(row.BackupDir);
    }
    EXPECT_EQ(dirs.size(), 12);
    EXPECT_TRUE(dirs.contains(Q(dir.file("store/same.txt-bak-12"))));
}

}  // namespace
}  // namespace filever

namespace filever {
namespace {

// Counts the catalogue's outermost transactions.
class TransactionCounter final : public TCatalogue {
public:
    int transactions = 0;
    void Transaction(const std::function<void()>& work) override {
        if (depth_ == 0) ++transactions;
        ++depth_;
        try {
            TCatalogue::Transaction(work);
        } catch (...) {
            --depth_;
            throw;
        }
        --depth_;
    }

private:
    int depth_ = 0;
};

// A folder of many files is registered in batches: one transaction for many files, each
// registered with its first version all the same.
TEST(FolderBatches, ManyFilesAreRegisteredInFewTransactions) {
    tarn::testing::TempDir dir;
    std::filesystem::create_directories(dir.file("store"));
    constexpr int kFiles = 60;
    for (int i = 0; i < kFiles; ++i)
        testing::Write(dir.file("src/f" + std::to_string(i) + ".txt"), "text", 1600000000);
    TransactionCounter catalogue;
    catalogue.Open(testing::Q(dir.file("版本控制.dat")));
    const int32_t area = catalogue.AddArea("area", testing::Q(dir.file("store")));
    catalogue.transactions = 0;
    TFolderScan scan;
    ASSERT_NE(AddWatchedFolder(catalogue, area, testing::Q(dir.file("src")), true, {}, scan), 0);
    ASSERT_EQ(scan.Added.size(), size_t(kFiles));
    EXPECT_LE(catalogue.transactions, 2);
    for (const TFolderFile& file : scan.Added) {
        EXPECT_TRUE(file.Registration.Captured) << file.Path.toStdString();
        EXPECT_EQ(testing::Content(file.Registration.Version.FilePath), "text")
            << file.Path.toStdString();
        EXPECT_EQ(catalogue.VersionNamesOfFile(file.Registration.FileNo).size(), 1u);
    }
    EXPECT_EQ(catalogue.AllFiles().size(), size_t(kFiles));
}

}  // namespace
}  // namespace filever
