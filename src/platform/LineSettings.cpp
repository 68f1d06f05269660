#include "platform/LineSettings.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace kv::platform {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::optional<int> toInt(const std::string& s) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        fields.push_back(trim(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return std::nullopt;

    LineSettings s;
    auto baud = toInt(fields[0]);
    if (!baud || *baud < 50 || *baud > 4000000) return std::nullopt;
    s.baud = *baud;

    if (fields[1].size() != 1) return std::nullopt;
    s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(fields[1][0])));
    if (std::string("NEOMS").find(s.parity) == std::string::npos) return std::nullopt;

    auto data = toInt(fields[2]);
    if (!data || *data < 5 || *data > 8) return std::nullopt;
    s.dataBits = *data;

    if (fields[3] == "1") s.stopBits = 10;
    else if (fields[3] == "1.5") s.stopBits = 15;
    else if (fields[3] == "2") s.stopBits = 20;
    else return std::nullopt;
    return s;
}

}  // namespace kv::platform
