// TWatchControl: the one owner of whether the watchers are on.
//
// Watching is on exactly when
//   - the user wants it (monitoring is not paused from the tray),
//   - no monitoring pass is due (a change was reported and the pass timer runs),
//   - no pass is in progress, and
//   - no command holds it off around its own writes (a restore writing the file back).
// Each of these is state kept here; every change of one goes through here and switches the
// watch set to match at once. Nothing else switches the watch set, and nobody saves and
// puts back its state: a modal box runs the event loop, so a pass may begin and end while
// a command waits for the user, and a state seen before the box is stale after it.
//
// A folder registration defers passes (a report then asks for one more pass afterwards)
// without switching watching off; PassesDeferred says whether a pass may start now.
//
// The counted states are scopes: a Scope ends (or is released) exactly once, also when
// an error leaves the command, so no path can leave watching off.
//
// Owned by the main window beside the watch set it switches; both on the user-interface
// thread only. SetWanted, SetPassDue and Apply raise tarn::EInOutError when watching should
// be on but no inotify instance can be had; the state is kept all the same and the next
// switch or Apply tries again. A scope's end never raises (it tries; Apply reports).
#pragma once

#include "app/watch_set.h"

namespace filever {

class TWatchControl {
public:
    explicit TWatchControl(TWatchSet& watchers) : watchers_(watchers) {}
    TWatchControl(const TWatchControl&) = delete;
    TWatchControl& operator=(const TWatchControl&) = delete;

    // One counted state, held until the scope ends or Release is called.
    class [[nodiscard]] Scope {
    public:
        Scope(Scope&& other) noexcept : control_(other.control_), counter_(other.counter_) {
            other.control_ = nullptr;
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        Scope& operator=(Scope&&) = delete;
        ~Scope() { Release(); }
        // Ends the state now; later calls do nothing.
        void Release() noexcept;

    private:
        friend class TWatchControl;
        Scope(TWatchControl* control, int TWatchControl::*counter)
            : control_(control), counter_(counter) {}
        TWatchControl* control_;
        int TWatchControl::*counter_;
    };

    // The user's wish: false while monitoring is paused ("暂停监测" .. "继续监测").
    void SetWanted(bool value);
    bool Wanted() const { return wanted_; }
    // A change was reported and a pass waits for its timer (true), or the wait ended.
    void SetPassDue(bool value);
    bool PassDue() const { return due_; }
    // A monitoring pass runs: watching is off and no other pass starts.
    Scope BeginPass();
    bool PassRunning() const { return passes_ > 0; }
    // Work during which no pass may start (it runs the event loop); watching stays as it is.
    Scope DeferPasses();
    // A command's own writes to watched files: watching is off meanwhile.
    Scope HoldOff();
    // Whether a pass may not start now (one runs, or passes are deferred).
    bool PassesDeferred() const { return passes_ > 0 || defers_ > 0; }
    // Whether work that defers passes runs (a pass in slices waits for it to end).
    bool Deferring() const { return defers_ > 0; }

    // Whether watching should be on now, from the states above.
    bool ShouldWatch() const { return wanted_ && !due_ && passes_ == 0 && holds_ == 0; }
    // Switches the watch set to ShouldWatch(); after a failed switch-on, tries again.
    void Apply();

private:
    void ApplyQuietly() noexcept;

    TWatchSet& watchers_;
    bool wanted_ = true;
    bool due_ = false;
    int passes_ = 0;
    int defers_ = 0;
    int holds_ = 0;
};

}  // namespace filever
