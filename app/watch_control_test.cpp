#include "app/watch_control.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cerrno>
#include <fstream>

#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

// While it lives the system gives no inotify instance (the user's limit is reached).
class NoInotifyInstance {
public:
    NoInotifyInstance() {
        TFileSystemWatcher::InitCall = [](int) {
            errno = EMFILE;
            return -1;
        };
    }
    ~NoInotifyInstance() { TFileSystemWatcher::InitCall = saved_; }
    NoInotifyInstance(const NoInotifyInstance&) = delete;
    NoInotifyInstance& operator=(const NoInotifyInstance&) = delete;

private:
    int (*saved_)(int) = TFileSystemWatcher::InitCall;
};

// Watching that could not be switched on (no inotify instance to be had) says so, and the
// next Apply arms it anew: changes are reported again, not left unwatched for good.
TEST(WatchControl, AFailedSwitchOnIsArmedAnewByTheNextApply) {
    tarn::testing::TempDir dir;
    const std::string file = dir.file("a.txt");
    std::ofstream(file) << "a";
    TWatchSet watchers;
    int reports = 0;
    watchers.OnChange = [&] { ++reports; };
    TWatchControl control(watchers);
    control.SetWanted(false);
    watchers.Update({QString::fromStdString(file)});
    {
        const NoInotifyInstance none;
        EXPECT_THROW(control.SetWanted(true), tarn::EInOutError);
    }
    EXPECT_TRUE(control.ShouldWatch());
    control.Apply();
    std::ofstream(file, std::ios::app) << "b";
    EXPECT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, 3000));
}

}  // namespace
}  // namespace filever
