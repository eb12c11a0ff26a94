// The engine's timers on the Qt event loop: TQtTimerDriver runs every tarn::TTimer started
// while it is installed (the databases' flush timers) as a QTimer of the user-interface
// thread, so their callbacks run there, between the program's own events, and the program
// needs no timer thread of its own.
//
// The program installs one for its whole life (main.cpp): it must be created on the
// user-interface thread, and outlive every timer started through it (SetTimerDriver(nullptr)
// and the destructor come after the catalogue is gone). Start and Stop are called on that
// thread only, as the engine does. A callback that raises is ended there: a timer has
// nobody to report to.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/timer/timer.h"

class QTimer;

namespace filever {

class TQtTimerDriver final : public QObject, public tarn::TTimerDriver {
public:
    TQtTimerDriver();
    ~TQtTimerDriver() override;

    uint64_t Start(int intervalMs, std::function<void()> callback, bool oneShot) override;
    // The timer stops at once: its callback does not run again.
    void Stop(uint64_t id) override;
    int Running() const { return static_cast<int>(timers_.size()); }

private:
    void Fire(uint64_t id);

    struct Entry {
        QTimer* timer;
        std::function<void()> callback;
    };
    std::map<uint64_t, Entry> timers_;
    uint64_t next_ = 1;
};

// Installs `driver` for the whole process while it lives.
class TTimerDriverInstalled {
public:
    explicit TTimerDriverInstalled(tarn::TTimerDriver& driver) { tarn::SetTimerDriver(&driver); }
    ~TTimerDriverInstalled() { tarn::SetTimerDriver(nullptr); }
    TTimerDriverInstalled(const TTimerDriverInstalled&) = delete;
    TTimerDriverInstalled& operator=(const TTimerDriverInstalled&) = delete;
};

}  // namespace filever
