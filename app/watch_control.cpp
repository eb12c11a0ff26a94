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
    // A watcher that could not be armed is inactive: switching on tries again.
    watchers_.SetActive(ShouldWatch());
}

void TWatchControl::ApplyQuietly() noexcept {
    try {
        Apply();
    } catch (...) {
        // The watcher stays off; the caller's next Apply tries again and reports.
    }
}

}  // namespace filever
