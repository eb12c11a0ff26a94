#include "app/qt_timer_driver.h"

#include <QTimer>
#include <algorithm>

namespace filever {

TQtTimerDriver::TQtTimerDriver() = default;

// The QTimer objects are children: they go with the driver.
TQtTimerDriver::~TQtTimerDriver() = default;

uint64_t TQtTimerDriver::Start(int intervalMs, std::function<void()> callback, bool oneShot) {
    const uint64_t id = next_++;
    auto* timer = new QTimer(this);
    timer->setInterval(std::max(intervalMs, 1));
    timer->setSingleShot(oneShot);
    connect(timer, &QTimer::timeout, this, [this, id] { Fire(id); });
    timers_[id] = Entry{timer, std::move(callback)};
    timer->start();
    return id;
}

void TQtTimerDriver::Stop(uint64_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.timer->stop();
    // Later: Stop may be called from the timer's own callback.
    it->second.timer->deleteLater();
    timers_.erase(it);
}

void TQtTimerDriver::Fire(uint64_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // The callback may stop its own timer or start others: it runs on a copy.
    std::function<void()> callback = it->second.callback;
    if (it->second.timer->isSingleShot()) Stop(id);
    try {
        callback();
    } catch (...) {
        // Nobody to report to; the event loop must not see it.
    }
}

}  // namespace filever
