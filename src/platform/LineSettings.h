#pragma once
// Parsing of a line-settings string "baud,parity,data bits,stop bits".
#include <cstdint>
#include <optional>
#include <string>

namespace kv::platform {

struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // N, E, O, M or S
    int dataBits = 8;   // 5 to 8
    int stopBits = 10;  // in tenths: 10, 15 or 20

    // "1", "1.5" or "2", as a settings string writes them.
    std::string stopBitsText() const { return stopBits == 15 ? "1.5" : stopBits == 20 ? "2" : "1"; }
    // As a settings string writes them: "38400,N,8,1".
    std::string text() const {
        return std::to_string(baud) + "," + parity + "," + std::to_string(dataBits) + "," + stopBitsText();
    }
    bool operator==(const LineSettings&) const = default;
};

// What a port is opened with: its number, its line settings and its
// handshaking (0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both).
struct PortConfig {
    std::int16_t number = 1;
    LineSettings line{};
    std::int16_t handshaking = 0;
    bool operator==(const PortConfig&) const = default;
};

// Accepts "38400,n,8,1" style text (blanks around fields allowed, parity letter
// in either case, stop bits 1, 1.5 or 2). Anything else gives nothing.
std::optional<LineSettings> parseLineSettings(const std::string& text);

}  // namespace kv::platform
