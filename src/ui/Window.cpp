#include "ui/Window.h"

namespace kv::ui {

Timer& Window::timer(const std::string& n) {
    for (auto& t : timerList_)
        if (t->name() == n) return *t;
    timerList_.push_back(std::make_unique<Timer>(timers_, n));
    return *timerList_.back();
}

Control* Window::find(const std::string& n) const {
    for (auto& c : controls_)
        if (c->name() == n) return c.get();
    return nullptr;
}

}  // namespace kv::ui
