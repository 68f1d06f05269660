#pragma once
// Any number of listeners to one source, each with an id to stop listening
// by. A listener may stop listening while it is being called.
#include <functional>
#include <iterator>
#include <map>
#include <utility>

namespace kv::platform {

template <class... Args>
class Listeners {
public:
    using Listener = std::function<void(Args...)>;

    int add(Listener l) {
        listeners_.emplace(++last_, std::move(l));
        return last_;
    }
    void remove(int id) { listeners_.erase(id); }

    void call(Args... args) {
        for (auto it = listeners_.begin(); it != listeners_.end();) {
            auto next = std::next(it);
            it->second(args...);
            it = next;
        }
    }

private:
    std::map<int, Listener> listeners_;
    int last_ = 0;
};

}  // namespace kv::platform
