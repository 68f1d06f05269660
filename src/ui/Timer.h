#pragma once
// A window timer: interval, enabled state and the routine each tick runs.
// A host (real or virtual time) schedules it.
#include <functional>
#include <string>

#include "platform/TimerHost.h"

namespace kv::ui {

class Timer {
public:
    Timer(platform::TimerHost& host, std::string name) : host_(host), name_(std::move(name)) {}
    ~Timer() { host_.timerRemoved(*this); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    const std::string& name() const { return name_; }

    int interval() const { return interval_; }
    // A new interval restarts the countdown of a running timer.
    void setInterval(int ms) {
        if (ms < 0) ms = 0;
        interval_ = ms;
        if (enabled_) host_.timerChanged(*this);
    }
    bool enabled() const { return enabled_; }
    // Enabling a stopped timer starts its countdown; enabling a running one
    // changes nothing.
    void setEnabled(bool on) {
        if (on == enabled_) return;
        enabled_ = on;
        host_.timerChanged(*this);
    }

    // True when the host should tick it: enabled with a non-zero interval.
    bool running() const { return enabled_ && interval_ > 0; }

    std::function<void()> onTick;
    // Called by the host when the interval has passed. A tick that comes while
    // the previous tick's routine still runs (it let events run) is skipped.
    void tick() {
        if (inTick_ || !running() || !onTick) return;
        inTick_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{inTick_};
        onTick();
    }

private:
    platform::TimerHost& host_;
    std::string name_;
    int interval_ = 0;
    bool enabled_ = false;
    bool inTick_ = false;
};

}  // namespace kv::ui
