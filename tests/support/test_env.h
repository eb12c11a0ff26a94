// Test helpers for the storage layers: an Env that records sleeps (for the lock's retry
// arithmetic) and scoped installation of an Env.
#pragma once

#include <functional>
#include <vector>

#include "platform/os/env.h"
#include "platform/os/fault_env.h"

namespace tarn::testing {

// Installs `env` as the current Env for the scope.
class ScopedEnv {
public:
    explicit ScopedEnv(Env* env) { SetCurrentEnv(env); }
    ~ScopedEnv() { SetCurrentEnv(nullptr); }
};

// Records every sleep instead of sleeping; `onSleep` may act (e.g. release a lock).
class SleepRecordingEnv : public FaultEnv {
public:
    std::vector<int> sleeps;
    std::function<void()> onSleep;
    void SleepMs(int ms) override {
        sleeps.push_back(ms);
        if (onSleep) onSleep();
    }
};

}  // namespace tarn::testing
