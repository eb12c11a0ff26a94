// The plain timer driver: firing, one-shot timers and stopping while the driver waits.
#include "platform/timer/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarn {
namespace {

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST(PlainTimerDriver, FiresRepeatedlyOrOnceAndNotAfterStop) {
    std::atomic<int> repeated{0}, once{0};
    TTimer a, b;
    a.SetInterval(5);
    a.OnTimer = [&] { ++repeated; };
    b.SetInterval(5);
    b.SetOneShot(true);
    b.OnTimer = [&] { ++once; };
    a.SetEnabled(true);
    b.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return repeated >= 3; }));
    a.SetEnabled(false);
    const int stopped = repeated;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(repeated, stopped);
    EXPECT_EQ(once, 1);
}

// The driver sleeps until the earliest timer is due; stopping that timer meanwhile frees
// its entry, which the sleeping driver must not read again.
TEST(PlainTimerDriver, StoppingTheTimerTheDriverWaitsFor) {
    std::atomic<int> fired{0};
    for (int i = 0; i < 50; ++i) {
        TTimer t;
        t.SetInterval(60000);
        t.OnTimer = [&] { ++fired; };
        t.SetEnabled(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        t.SetEnabled(false);
    }
    // The driver still serves timers afterwards.
    TTimer last;
    last.SetInterval(1);
    last.SetOneShot(true);
    last.OnTimer = [&] { ++fired; };
    last.SetEnabled(true);
    EXPECT_TRUE(WaitFor([&] { return fired == 1; }));
}

}  // namespace
}  // namespace tarn
