// The engine's timers on the Qt event loop.
#include "app/qt_timer_driver.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QThread>

namespace filever {
namespace {

TEST(QtTimerDriver, RunsTheEngineTimersOnTheEventLoop) {
    TQtTimerDriver driver;
    TTimerDriverInstalled installed(driver);
    int repeated = 0, once = 0, selfStopped = 0;
    QThread* thread = nullptr;
    tarn::TTimer a, b, c;
    a.SetInterval(5);
    a.OnTimer = [&] {
        ++repeated;
        thread = QThread::currentThread();
    };
    b.SetInterval(5);
    b.SetOneShot(true);
    b.OnTimer = [&] { ++once; };
    c.SetInterval(5);
    c.OnTimer = [&] {
        ++selfStopped;
        c.SetEnabled(false);  // from its own callback
        throw std::runtime_error("ended here, not in the event loop");
    };
    a.SetEnabled(true);
    b.SetEnabled(true);
    c.SetEnabled(true);
    EXPECT_EQ(driver.Running(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return repeated >= 3; }, 5000));
    EXPECT_EQ(thread, QThread::currentThread());
    a.SetEnabled(false);
    const int stopped = repeated;
    QTest::qWait(50);
    EXPECT_EQ(repeated, stopped);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(selfStopped, 1);
    EXPECT_EQ(driver.Running(), 0);
    // Nothing fires without the event loop.
    b.Restart();
    EXPECT_EQ(once, 1);
    b.SetEnabled(false);
}

}  // namespace
}  // namespace filever
