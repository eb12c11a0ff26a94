#include "app/os/file_watcher.h"

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/watch_set.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

struct Seen {
    TFileOperation op;
    QString name1;
    QString name2;
};

// A watcher on `dir` that records its reports.
struct Recorder {
    explicit Recorder(const std::string& dir, bool subTree = false) {
        watcher.SetWatchedDir(QString::fromStdString(dir));
        watcher.SetWatchSubTree(subTree);
        watcher.OnChange = [this](TFileSystemWatcher* sender, TFileOperation op, const QString& a,
                                  const QString& b) {
            EXPECT_EQ(sender, &watcher);
            seen.push_back({op, a, b});
        };
    }
    bool WaitFor(size_t count) {
        return QTest::qWaitFor([&] { return seen.size() >= count; }, 5000);
    }
    TFileSystemWatcher watcher;
    std::vector<Seen> seen;
};

// How long a test waits to be sure that nothing is reported.
constexpr int kQuietMs = 300;

TEST(FileSystemWatcher, ReportsAChangeToAWatchedFile) {
    tarn::testing::TempDir dir;
    std::ofstream(dir.file("plan.txt")) << "v1";
    Recorder r(dir.path());
    r.watcher.SetActive(true);
    std::ofstream(dir.file("plan.txt"), std::ios::app) << "v2";
    ASSERT_TRUE(r.WaitFor(1));
    EXPECT_EQ(r.seen[0].op, TFileOperation::foModified);
    EXPECT_EQ(r.seen[0].name1, QString::fromStdString(dir.file("plan.txt")));
}

TEST(FileSystemWatcher, ReportsAddRemoveAndRenameWithTheirNames) {
    tarn::testing::TempDir dir;
    Recorder r(dir.path());
    r.watcher.SetNotifyFilters(nfFileNameChange);
    r.watcher.SetActive(true);
    std::ofstream(dir.file("a.txt")) << "x";  // create; the write itself is not asked for
    ASSERT_TRUE(r.WaitFor(1));
    std::filesystem::rename(dir.file("a.txt"), dir.file("b.txt"));
    std::filesystem::remove(dir.file("b.txt"));
    ASSERT_TRUE(r.WaitFor(3));
    QTest::qWait(kQuietMs);
    ASSERT_EQ(r.seen.size(), 3u);
    EXPECT_EQ(r.seen[0].op, TFileOperation::foAdded);
    EXPECT_EQ(r.seen[1].op, TFileOperation::foRenamed);
    EXPECT_EQ(r.seen[1].name1, QString::fromStdString(dir.file("a.txt")));
    EXPECT_EQ(r.seen[1].name2, QString::fromStdString(dir.file("b.txt")));
    EXPECT_EQ(r.seen[2].op, TFileOperation::foRemoved);
}

TEST(FileSystemWatcher, NothingWhileInactiveNorLaterForThatTime) {
    tarn::testing::TempDir dir;
    std::ofstream(dir.file("plan.txt")) << "v1";
    Recorder r(dir.path());
    std::ofstream(dir.file("plan.txt"), std::ios::app) << "never active yet";
    r.watcher.SetActive(true);
    r.watcher.SetActive(false);
    std::ofstream(dir.file("plan.txt"), std::ios::app) << "while inactive";
    QTest::qWait(kQuietMs);
    EXPECT_TRUE(r.seen.empty());
    r.watcher.SetActive(true);
    QTest::qWait(kQuietMs);
    EXPECT_TRUE(r.seen.empty()) << "a change made while inactive was reported later";
    std::ofstream(dir.file("plan.txt"), std::ios::app) << "active again";
    EXPECT_TRUE(r.WaitFor(1));
}

TEST(FileSystemWatcher, HandlerMaySwitchItsOwnWatcherOff) {
    tarn::testing::TempDir dir;
    TFileSystemWatcher w;
    w.SetWatchedDir(QString::fromStdString(dir.path()));
    int reports = 0;
    w.OnChange = [&](TFileSystemWatcher* sender, TFileOperation, const QString&, const QString&) {
        ++reports;
        sender->SetActive(false);  // what the monitor does on its first report
    };
    w.SetActive(true);
    for (int i = 0; i < 5; ++i) std::ofstream(dir.file("f" + std::to_string(i))) << i;
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, 5000));
    QTest::qWait(kQuietMs);
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(w.Active());
}

TEST(FileSystemWatcher, MasksAndSubtree) {
    tarn::testing::TempDir dir;
    std::filesystem::create_directories(dir.file("sub/deeper"));
    Recorder r(dir.path(), /*subTree=*/true);
    r.watcher.SetFileMasks(QStringLiteral("*.doc;*.txt"));
    r.watcher.SetActive(true);
    std::ofstream(dir.file("sub/deeper/skip.bin")) << "x";
    std::ofstream(dir.file("sub/deeper/take.txt")) << "x";
    ASSERT_TRUE(r.WaitFor(1));
    QTest::qWait(kQuietMs);
    for (const Seen& s : r.seen)
        EXPECT_EQ(s.name1, QString::fromStdString(dir.file("sub/deeper/take.txt")));
    // A directory made while watching is watched too.
    std::filesystem::create_directory(dir.file("sub/new"));
    QTest::qWait(kQuietMs);  // give the waiting thread time to add its watch
    const size_t before = r.seen.size();
    std::ofstream(dir.file("sub/new/late.txt")) << "x";
    ASSERT_TRUE(r.WaitFor(before + 1));
    EXPECT_EQ(r.seen.back().name1, QString::fromStdString(dir.file("sub/new/late.txt")));
}

TEST(WatchSet, FollowsTheDirectoriesOfRegisteredFiles) {
    tarn::testing::TempDir dir;
    std::filesystem::create_directories(dir.file("a"));
    std::filesystem::create_directories(dir.file("b"));
    const QString a = QString::fromStdString(dir.file("a"));
    const QString b = QString::fromStdString(dir.file("b"));
    TWatchSet set;
    int reports = 0;
    set.OnChange = [&] { ++reports; };

    set.Update({a + "/one.txt", a + "/two.txt", b + "/three.txt"});
    EXPECT_EQ(set.Dirs(), QStringList({a, b}));
    std::ofstream(dir.file("b/three.txt")) << "x";
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, 5000));

    // b's only file is no longer registered: b is not watched any more.
    set.Update({a + "/one.txt", a + "/two.txt"});
    EXPECT_EQ(set.Dirs(), QStringList({a}));
    QTest::qWait(kQuietMs);
    reports = 0;
    std::ofstream(dir.file("b/three.txt"), std::ios::app) << "y";
    QTest::qWait(kQuietMs);
    EXPECT_EQ(reports, 0);

    // Switched off, a new watcher starts off too; switched on, all report again.
    set.SetActive(false);
    set.Update({a + "/one.txt", b + "/three.txt"});
    std::ofstream(dir.file("b/three.txt"), std::ios::app) << "z";
    QTest::qWait(kQuietMs);
    EXPECT_EQ(reports, 0);
    set.SetActive(true);
    std::ofstream(dir.file("b/three.txt"), std::ios::app) << "w";
    EXPECT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, 5000));
    set.Clear();
    EXPECT_TRUE(set.Dirs().isEmpty());
}

}  // namespace
}  // namespace filever
