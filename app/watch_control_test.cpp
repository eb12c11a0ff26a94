#include "app/watch_control.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

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

// Watching that could not be armed (no inotify instance to be had) says so, whether it was
// being switched on or given a new directory while on; the next Apply arms it anew, and
// changes are reported again rather than left unwatched for good.
TEST(WatchControl, WatchingThatCouldNotBeArmedIsArmedByTheNextApply) {
    tarn::testing::TempDir dir;
    const std::string a = dir.file("a.txt"), b = dir.file("sub/b.txt");
    std::filesystem::create_directories(dir.file("sub"));
    std::ofstream(a) << "a";
    std::ofstream(b) << "b";
    struct Case {
        const char* what;
        std::function<void(TWatchSet&, TWatchControl&)> before, failing;
    };
    const Case cases[] = {
        {"switching on", [](TWatchSet&, TWatchControl& c) { c.SetWanted(false); },
         [](TWatchSet&, TWatchControl& c) { c.SetWanted(true); }},
        {"a new directory while on", [](TWatchSet&, TWatchControl&) {},
         [&](TWatchSet& w, TWatchControl&) {
             w.Update({Q(a), Q(b)});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TWatchSet watchers;
        int reports = 0;
        watchers.OnChange = [&] { ++reports; };
        TWatchControl control(watchers);
        control.Apply();
        watchers.Update({Q(a)});
        c.before(watchers, control);
        {
            const NoInotifyInstance none;
            EXPECT_THROW(c.failing(watchers, control), tarn::EInOutError);
        }
        EXPECT_TRUE(control.ShouldWatch());
        control.Apply();
        std::ofstream(a, std::ios::app) << "more";
        EXPECT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, 3000));
    }
}

}  // namespace
}  // namespace filever
