// A monitoring pass over many changed files: it runs in slices and the window answers
// between them, "暂停监测" stops it between two files, and with "自动监测" the versions of
// a slice cost one catalogue transaction and one flush. Offscreen, over a real catalogue.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <string>

#include "app/catalogue.h"
#include "app/os/file_system.h"
#include "app/ribbon.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::Q;

// Counts the catalogue's commits: outermost transactions, and the version and recorded-time
// writes made outside any transaction (each of which commits and flushes on its own).
class CountingCatalogue final : public TCatalogue {
public:
    int transactions = 0;
    int writesOutside = 0;
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
    void AddVersion(const TVersionRow& row, verinfo& rec) override {
        if (depth_ == 0) ++writesOutside;
        TCatalogue::AddVersion(row, rec);
    }
    void SetRecordedTime(int32_t fileNo, const QString& time) override {
        if (depth_ == 0) ++writesOutside;
        TCatalogue::SetRecordedTime(fileNo, time);
    }

private:
    int depth_ = 0;
};

// Counts the flushes of stored copies.
class CountingFileSystem final : public TFileSystem {
public:
    int syncData = 0, syncDir = 0, syncFs = 0;
    int SyncData(int fd) override {
        ++syncData;
        return TFileSystem::SyncData(fd);
    }
    int SyncDir(const QByteArray& dir) override {
        ++syncDir;
        return TFileSystem::SyncDir(dir);
    }
    int SyncFileSystem(const QByteArray& path) override {
        ++syncFs;
        return TFileSystem::SyncFileSystem(path);
    }
};

class LongPass : public testing::MainWindowFixture {
protected:
    // `count` watched files with "自动监测" on, each changed since its first version.
    std::unique_ptr<Tmainw> WindowWithChangedFiles(TCatalogue& catalogue, int count) {
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        auto w = Make(catalogue);
        w->ToolBarPager1->AutoMonitorButton->setChecked(true);
        for (int i = 0; i < count; ++i) paths << Q(Source("f" + std::to_string(i) + ".txt"));
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
        w->DropFiles(paths);
        EXPECT_TRUE(desktop.messages.empty());
        for (const QString& p : paths) testing::Write(p.toStdString(), "changed", 1600000100);
        return w;
    }
    // Runs the event loop until the pass has ended (or a generous bound of rounds).
    static void FinishPass(Tmainw& w) {
        for (int i = 0; i < 100000 && w.PassRunning(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_FALSE(w.PassRunning());
    }
    // How many of the files have a second version.
    int Kept(TCatalogue& catalogue) {
        int kept = 0;
        for (const TFileRow& f : catalogue.AllFiles())
            kept += catalogue.VersionNamesOfFile(f.FileNo).size() == 2 ? 1 : 0;
        return kept;
    }
    QStringList paths;
};

// An event posted while the pass runs is handled before the pass ends, and the window
// shows how far the pass is meanwhile; in the end every file is kept.
TEST_F(LongPass, TheWindowAnswersDuringAPass) {
    options.passBatchFiles = 4;
    TCatalogue catalogue;
    auto w = WindowWithChangedFiles(catalogue, 20);
    bool handled = false, passRunning = false, progressShown = false;
    int keptThen = -1;
    QMetaObject::invokeMethod(
        w.get(),
        [&] {
            handled = true;
            passRunning = w->PassRunning();
            progressShown = !w->PassProgress->isHidden();
            keptThen = Kept(catalogue);
        },
        Qt::QueuedConnection);
    w->tmr1Timer();
    FinishPass(*w);
    ASSERT_TRUE(handled);
    EXPECT_TRUE(passRunning) << "the event waited for the whole pass";
    EXPECT_TRUE(progressShown);
    EXPECT_LT(keptThen, 20);
    EXPECT_EQ(Kept(catalogue), 20);
    EXPECT_TRUE(w->PassProgress->isHidden());
    EXPECT_TRUE(desktop.messages.empty());
}

// "暂停监测" during a pass stops it after the slice in progress; "继续监测" keeps the rest.
TEST_F(LongPass, PausingStopsThePassBetweenSlices) {
    options.passBatchFiles = 4;
    TCatalogue catalogue;
    auto w = WindowWithChangedFiles(catalogue, 20);
    QMetaObject::invokeMethod(
        w.get(), [&] { w->PauseItem->trigger(); }, Qt::QueuedConnection);
    w->tmr1Timer();
    FinishPass(*w);
    ASSERT_TRUE(w->MonitoringPaused());
    const int kept = Kept(catalogue);
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 20);
    w->PauseItem->trigger();  // "继续监测": a pass at once
    FinishPass(*w);
    EXPECT_EQ(Kept(catalogue), 20);
    EXPECT_TRUE(desktop.messages.empty());
}

// 60 changed files in one slice: one catalogue transaction, no write committed on its own,
// and one flush of the copies (no flush per copy or per directory).
TEST_F(LongPass, ASliceIsOneTransactionAndOneFlush) {
    CountingCatalogue catalogue;
    auto w = WindowWithChangedFiles(catalogue, 60);
    catalogue.transactions = catalogue.writesOutside = 0;
    CountingFileSystem fs;
    TScopedFileSystem installed(&fs);
    w->tmr1Timer();
    FinishPass(*w);
    EXPECT_EQ(Kept(catalogue), 60);
    EXPECT_EQ(catalogue.transactions, 1);
    EXPECT_EQ(catalogue.writesOutside, 0);
    EXPECT_EQ(fs.syncData + fs.syncDir, 0);
    EXPECT_EQ(fs.syncFs, 1);
    EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
}  // namespace filever
