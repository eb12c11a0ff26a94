// For tests that fork: a child inherits every lock that another thread of the parent held at
// the moment of the fork (the sanitizers' allocator lock among them) and would wait on it
// for ever. The engine's one thread is the plain timer driver's; while a TQuietTimers lives,
// timers started go to a manual driver that never fires, so that thread stays idle and
// holds nothing when the test forks.
#pragma once

#include "platform/timer/timer.h"

namespace tarn::testing {

class TQuietTimers {
public:
    TQuietTimers() { SetTimerDriver(&driver_); }
    ~TQuietTimers() { SetTimerDriver(nullptr); }
    TQuietTimers(const TQuietTimers&) = delete;
    TQuietTimers& operator=(const TQuietTimers&) = delete;

private:
    TManualTimerDriver driver_;
};

}  // namespace tarn::testing
