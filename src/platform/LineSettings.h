#pragma once
// Parsing of a line-settings string "baud,parity,data bits,stop bits".
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
};

// Accepts "38400,n,8,1" style text (blanks around fields allowed, parity letter
// in either case, stop bits 1, 1.5 or 2). Anything else gives nothing.
std::optional<LineSettings> parseLineSettings(const std::string& text);

}  // namespace kv::platform
