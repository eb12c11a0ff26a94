#include "platform/timer/timer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace tarn {
namespace {

// The plain driver: one background thread that sleeps until the next timer is due.
class ThreadTimerDriver : public TTimerDriver {
public:
    ~ThreadTimerDriver() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    uint64_t Start(int intervalMs, std::function<void()> callback, bool oneShot) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
        uint64_t id = next_++;
        auto period = std::chrono::milliseconds(intervalMs < 1 ? 1 : intervalMs);
        timers_[id] = Timer{period, Clock::now() + period, std::move(callback), oneShot};
        wake_.notify_all();
        return id;
    }

    void Stop(uint64_t id) override {
        std::unique_lock<std::mutex> lock(mutex_);
        timers_.erase(id);
        // Wait until a callback of this timer that is running now has returned (unless
        // the callback itself stops its timer).
        if (std::this_thread::get_id() != thread_.get_id())
            done_.wait(lock, [&] { return running_ != id; });
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration period;
        Clock::time_point due;
        std::function<void()> callback;
        bool oneShot;
    };

    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (timers_.empty()) {
                wake_.wait(lock);
                continue;
            }
            auto next = timers_.begin();
            for (auto it = timers_.begin(); it != timers_.end(); ++it)
                if (it->second.due < next->second.due) next = it;
            if (Clock::now() < next->second.due) {
                // A copy: the entry may be erased while we wait.
                Clock::time_point due = next->second.due;
                wake_.wait_until(lock, due);
                continue;
            }
            uint64_t id = next->first;
            next->second.due = Clock::now() + next->second.period;
            std::function<void()> cb = next->second.callback;
            if (next->second.oneShot) timers_.erase(next);
            running_ = id;
            lock.unlock();
            try {
                cb();
            } catch (...) {
                // A timer handler has nobody to report to; it must not end the driver.
            }
            lock.lock();
            running_ = 0;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::map<uint64_t, Timer> timers_;
    std::thread thread_;
    uint64_t next_ = 1;
    uint64_t running_ = 0;
    bool quit_ = false;
};

std::atomic<TTimerDriver*> g_driver{nullptr};

}  // namespace

TTimerDriver& CurrentTimerDriver() {
    TTimerDriver* d = g_driver.load();
    if (d) return *d;
    static ThreadTimerDriver plain;
    return plain;
}

void SetTimerDriver(TTimerDriver* driver) { g_driver.store(driver); }

void TTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    if (Enabled()) {
        Stop();
        Start();
    }
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == Enabled()) return;
    if (enabled)
        Start();
    else
        Stop();
}

void TTimer::Start() {
    driver_ = &CurrentTimerDriver();
    id_ = driver_->Start(
        interval_,
        [this] {
            if (OnTimer) OnTimer();
        },
        oneShot_);
}

void TTimer::Stop() {
    if (id_ == 0) return;
    driver_->Stop(id_);
    id_ = 0;
}

uint64_t TManualTimerDriver::Start(int intervalMs, std::function<void()> callback, bool oneShot) {
    timers_.push_back({next_, intervalMs, std::move(callback), oneShot});
    return next_++;
}

void TManualTimerDriver::Stop(uint64_t id) {
    std::erase_if(timers_, [id](const Entry& e) { return e.id == id; });
}

int TManualTimerDriver::Fire() {
    std::vector<Entry> now = timers_;
    std::erase_if(timers_, [](const Entry& e) { return e.oneShot; });
    for (auto& e : now) e.callback();
    return static_cast<int>(now.size());
}

int TManualTimerDriver::Running() const { return static_cast<int>(timers_.size()); }

int TManualTimerDriver::LastInterval() const {
    return timers_.empty() ? 0 : timers_.back().interval;
}

}  // namespace tarn
