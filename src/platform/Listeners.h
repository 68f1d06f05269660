#pragma once
// Any number of listeners to one source, each with an id to stop listening
// by. A listener may stop listening, or stop another, while it is called.
#include <functional>
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

    // Each listener in the order it was added. The next is found by id after
    // each call, so that one removed meanwhile is neither called nor left
    // dangling; the one called is a copy, so that it may remove itself.
    void call(Args... args) {
        for (auto it = listeners_.begin(); it != listeners_.end();) {
            const int id = it->first;
            Listener l = it->second;
            l(args...);
            it = listeners_.upper_bound(id);
        }
    }

private:
    std::map<int, Listener> listeners_;
    int last_ = 0;
};

}  // namespace kv::platform
