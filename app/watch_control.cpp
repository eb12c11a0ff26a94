#include "app/watch_control.h"

namespace filever {

void TWatchControl::Scope::Release() noexcept {
    if (!control_) return;
    TWatchControl* control = control_;
    control_ = nullptr;
    --(control->*counter_);
    control->ApplyQuietly();
}

void TWatchControl::SetWanted(bool value) {
    wanted_ = value;
    Apply();
}

void TWatchControl::SetPassDue(bool value) {
    due_ = value;
    Apply();
}

TWatchControl::Scope TWatchControl::BeginPass() {
    ++passes_;
    ApplyQuietly();  // switching off does not fail
    return Scope(this, &TWatchControl::passes_);
}

TWatchControl::Scope TWatchControl::DeferPasses() {
    ++defers_;
    return Scope(this, &TWatchControl::defers_);
}

TWatchControl::Scope TWatchControl::HoldOff() {
    ++holds_;
    ApplyQuietly();
    return Scope(this, &TWatchControl::holds_);
}

void TWatchControl::Apply() {
    const bool on = ShouldWatch();
    // A switch-on that failed left the watcher marked on without an inotify instance:
    // switch it off first so that it is armed anew.
    if (on && armFailed_) watchers_.SetActive(false);
    armFailed_ = false;
    try {
        watchers_.SetActive(on);
    } catch (...) {
        armFailed_ = on;
        throw;
    }
}

void TWatchControl::ApplyQuietly() noexcept {
    try {
        Apply();
    } catch (...) {
        // Kept in armFailed_; the caller's next Apply tries again and reports.
    }
}

}  // namespace filever
