#pragma once
// The controller model as the dashboard and the simulator both know it: how
// many parameters it holds, how many one write frame carries, the file that
// describes them, and how its firmware says it is supported.
#include <cstdint>

namespace kv::link {

struct Profile {
    const char* model;
    int params;        // numbered 1 to params; a read asks for all of them
    int rowsPerFrame;  // parameters in one write frame
    const char* definitionFile;
    char supportedMark;  // the firmware reply's third character on a supported controller

    constexpr int frames() const { return (params + rowsPerFrame - 1) / rowsPerFrame; }
    constexpr bool supports(std::uint8_t third) const { return third == static_cast<std::uint8_t>(supportedMark); }
    constexpr bool holds(int number) const { return number >= 1 && number <= params; }
};

inline constexpr Profile kKV53{"KV53", 39, 10, "KV5x_Params.txt", 'b'};

}  // namespace kv::link
