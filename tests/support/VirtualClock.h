#pragma once
// Virtual time for tests: timers and scheduled deliveries fire in order of
// their due time when the test advances the clock, so a flow of many seconds
// runs in a moment and the same way every run.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <tuple>

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/TimerHost.h"
#include "sim/Scheduler.h"
#include "ui/Timer.h"

namespace kv::test {

class VirtualClock : public platform::TimerHost,
                     public platform::Clock,
                     public platform::EventLoop,
                     public sim::Scheduler {
public:
    // Starts at 14:05:09 on 5 December 2026.
    VirtualClock() : start_(std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} + std::chrono::hours{14} +
                            std::chrono::minutes{5} + std::chrono::seconds{9}) {}

    // Moves time on by `ms`, firing everything that falls due on the way.
    void advance(std::int64_t ms) { runUntil(now_ + ms); }

    // TimerHost
    void timerChanged(ui::Timer& t) override {
        timers_.erase(&t);
        if (t.running()) timers_[&t] = {now_ + t.interval(), ++seq_};
    }
    void timerRemoved(ui::Timer& t) override { timers_.erase(&t); }

    // Clock
    platform::DateTime now() const override {
        auto t = start_ + std::chrono::milliseconds{now_};
        auto day = std::chrono::floor<std::chrono::days>(t);
        std::chrono::year_month_day ymd{day};
        std::chrono::hh_mm_ss hms{std::chrono::floor<std::chrono::seconds>(t - day)};
        return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())};
    }

    // Scheduler
    std::int64_t nowMs() const override { return now_; }
    void at(std::int64_t ms, std::function<void()> action) override {
        events_.emplace(std::make_pair(std::max(ms, now_), ++seq_), std::move(action));
    }

    // EventLoop
    void doEvents() override { runUntil(now_); }
    void waitForEvents() override {
        std::int64_t next = nextDue();
        if (next < 0) throw std::runtime_error("waiting for events, but nothing will ever happen");
        runUntil(next);
    }
    void quit() override { quitRequested = true; }

    bool quitRequested = false;

private:
    std::int64_t nextDue() const {
        std::int64_t next = -1;
        if (!events_.empty()) next = events_.begin()->first.first;
        for (auto& [t, due] : timers_)
            if (next < 0 || due.first < next) next = due.first;
        return next;
    }

    void runUntil(std::int64_t target) {
        for (;;) {
            // The earliest item due by the target; on a tie, the one scheduled first.
            ui::Timer* timer = nullptr;
            std::pair<std::int64_t, std::uint64_t> best{target + 1, 0};
            for (auto& [t, due] : timers_)
                if (due < best) best = due, timer = t;
            bool event = !events_.empty() && events_.begin()->first < best;
            if (event) best = events_.begin()->first;
            if (best.first > target) break;
            now_ = best.first;
            if (event) {
                auto action = std::move(events_.begin()->second);
                events_.erase(events_.begin());
                action();
            } else {
                timers_[timer] = {now_ + timer->interval(), ++seq_};
                timer->tick();
            }
        }
        now_ = std::max(now_, target);
    }

    std::chrono::sys_seconds start_;
    std::int64_t now_ = 0;
    std::uint64_t seq_ = 0;
    std::map<ui::Timer*, std::pair<std::int64_t, std::uint64_t>> timers_;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> events_;
};

}  // namespace kv::test
