// The timer service. A TTimer calls its OnTimer every Interval milliseconds while Enabled,
// through the process's timer driver: the Qt event loop in the application (callbacks on the
// UI thread), or the plain driver here, a background thread for programs without an event
// loop (the command-line tool, tests, library users). With the plain driver callbacks run
// on the driver's thread, so a handler must be safe against the thread that owns its
// object (the database's flush handler is).
//
// A TTimer is owned by the object that uses it; stopping or destroying it guarantees that
// its callback is not running and will not run again.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tarn {

class TTimerDriver {
public:
    virtual ~TTimerDriver() = default;
    // Starts a timer; returns its id (never 0). A one-shot timer fires once and is then
    // gone (stopping it afterwards does nothing).
    virtual uint64_t Start(int intervalMs, std::function<void()> callback,
                           bool oneShot = false) = 0;
    // Stops it; on return the callback is not running and never runs again (unless called
    // from the callback itself).
    virtual void Stop(uint64_t id) = 0;
};

// The driver timers use: the one installed, else the plain thread driver.
TTimerDriver& CurrentTimerDriver();
// Installs a driver for the whole process (nullptr restores the plain driver). Timers
// started before keep the driver they started with.
void SetTimerDriver(TTimerDriver* driver);

class TTimer {
public:
    TTimer() = default;
    ~TTimer() { Stop(); }
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    std::function<void()> OnTimer;
    int Interval() const { return interval_; }
    // Changing the interval of a running timer restarts it with the new period.
    void SetInterval(int ms);
    bool Enabled() const { return id_ != 0; }
    void SetEnabled(bool enabled);
    // A one-shot timer fires once per SetEnabled(true); Enabled() then stays true until
    // the next SetEnabled(false) or Restart().
    void SetOneShot(bool value) { oneShot_ = value; }
    // Stops and starts again (a one-shot timer arms anew).
    void Restart() {
        Stop();
        Start();
    }

private:
    void Start();
    void Stop();
    int interval_ = 1000;
    bool oneShot_ = false;
    uint64_t id_ = 0;
    TTimerDriver* driver_ = nullptr;
};

// A driver for tests: nothing fires until Fire() is called, on the caller's thread.
class TManualTimerDriver : public TTimerDriver {
public:
    uint64_t Start(int intervalMs, std::function<void()> callback, bool oneShot = false) override;
    void Stop(uint64_t id) override;
    // Fires every running timer once (one-shot timers are then gone); returns how many fired.
    int Fire();
    int Running() const;
    // The interval of the most recently started running timer (0 when none).
    int LastInterval() const;

private:
    struct Entry {
        uint64_t id;
        int interval;
        std::function<void()> callback;
        bool oneShot;
    };
    std::vector<Entry> timers_;
    uint64_t next_ = 1;
};

}  // namespace tarn
