#include "ui/Window.h"

namespace kv::ui {

Timer& Window::timerFrom(const std::string& n, const char* file) {
    for (auto& t : timerList_)
        if (t->name() == n) {
            checkOwner(n, file);
            return *t;
        }
    made(n, file);
    timerList_.push_back(std::make_unique<Timer>(timers_, n));
    return *timerList_.back();
}

std::string Window::folderOf(const std::string& file) {
    std::size_t at = file.rfind("/src/");
    if (at != std::string::npos) at += 5;
    else if (file.rfind("src/", 0) == 0) at = 4;
    else return {};
    const std::size_t end = file.find('/', at);
    return end == std::string::npos ? std::string() : file.substr(at, end - at);
}

void Window::checkOwner(const std::string& n, const char* file) const {
    const std::string asker = folderOf(file);
    auto it = owners_.find(n);
    if (asker.empty() || it == owners_.end() || it->second.empty() || it->second == asker) return;
    throw std::logic_error(n + " of " + name() + " belongs to " + it->second + "/; " + file +
                           " must reach it through its owner, not by its name");
}

void Window::made(const std::string& n, const char* file) {
    if (sealed_) throw std::logic_error(name() + " has no control " + n);
    owners_[n] = folderOf(file);
}

Control* Window::find(const std::string& n) const {
    for (auto& c : controls_)
        if (c->name() == n) return c.get();
    return nullptr;
}

}  // namespace kv::ui
