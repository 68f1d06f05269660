#pragma once
// Frames as the tests write them: bytes in hex, "16 01 02".
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "sim/VirtualController.h"

namespace kv::test {

// Frames as hex, " | " between frames.
inline std::string hex(const std::vector<sim::Bytes>& frames) {
    std::string out;
    for (const auto& f : frames) {
        if (!out.empty()) out += " | ";
        for (std::size_t i = 0; i < f.size(); ++i) {
            char b[4];
            std::snprintf(b, sizeof b, i ? " %02X" : "%02X", f[i]);
            out += b;
        }
    }
    return out;
}

// The bytes of "16 01 02".
inline sim::Bytes fromHex(const std::string& text) {
    sim::Bytes out;
    std::istringstream in(text);
    for (unsigned b; in >> std::hex >> b;) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

}  // namespace kv::test
