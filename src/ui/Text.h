#pragma once
// Small text helpers shared by the windows.
#include <cstdint>
#include <optional>
#include <string>

namespace kv::ui {

// Without leading and trailing blanks.
std::string trim(const std::string& s);
// The value of a text that is a decimal number as a whole (blanks around it
// allowed), else nothing.
std::optional<double> toNumber(const std::string& s);
// A byte as two upper-case hex digits.
std::string hex2(std::uint8_t b);

}  // namespace kv::ui
