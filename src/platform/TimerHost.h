#pragma once
// Drives the core's timers: real time on the desktop, a virtual clock in tests.

namespace kv::ui {
class Timer;
}

namespace kv::platform {

class TimerHost {
public:
    virtual ~TimerHost() = default;
    // The timer was started, stopped or given a new interval: (re)schedule it.
    virtual void timerChanged(ui::Timer& timer) = 0;
    // The timer is being destroyed.
    virtual void timerRemoved(ui::Timer& timer) = 0;
};

}  // namespace kv::platform
