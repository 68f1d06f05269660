#pragma once
// Reads a fuzzer's input as a script: bytes and small numbers taken in turn,
// zero once it runs out.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // A number from 0 to n - 1.
    unsigned pick(unsigned n) { return n ? byte() % n : 0; }
    // Up to `most` bytes.
    std::string bytes(std::size_t most) {
        std::size_t n = std::min<std::size_t>(pick(static_cast<unsigned>(most) + 1), size_ - std::min(at_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return out;
    }
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_ + std::min(at_, size_)), size_ - std::min(at_, size_));
        at_ = size_;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace kv::fuzz
