#include "ui/Text.h"

#include <charconv>
#include <cmath>

namespace kv::ui {

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string hex2(std::uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 0x0F]};
}

std::optional<double> toNumber(const std::string& s) {
    std::string t = trim(s);
    if (t.empty()) return std::nullopt;
    // Only digits, one point and a leading sign: no hex, exponents, inf or nan.
    std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') digits = true;
        else if (c == '.' && !point) point = true;
        else return std::nullopt;
    }
    if (!digits) return std::nullopt;
    // from_chars ignores the process locale, unlike strtod.
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    double v = 0;
    auto [end, ec] = std::from_chars(first, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace kv::ui
