#pragma once
// Time for the in-process virtual port: a clock that can run a routine later.
#include <cstdint>
#include <functional>

namespace kv::sim {

class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual std::int64_t nowMs() const = 0;
    virtual void at(std::int64_t ms, std::function<void()> action) = 0;
};

}  // namespace kv::sim
