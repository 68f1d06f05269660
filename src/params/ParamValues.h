#pragma once
// Pure conversions of parameter values between their three forms: the raw
// value the controller holds, the file value (the raw value less the offset,
// for the offset types) and the text shown in a row's box. Every conversion
// of outside text is total: any text gives a defined result.
#include <cstdint>
#include <optional>
#include <string>

namespace kv::params {

// How a row's value is scaled, shown and stepped. The definition file names
// it as text, compared exactly; any other text is a type of its own.
enum class Permission { Type1, Type2, Type3, Type4, Type5, Other };

Permission parsePermission(const std::string& text);
// Types 1 to 4 store the raw value less the offset as their file value.
bool takesOffset(Permission p);
// Step of the front panel's up and down keys, on the raw value.
int panelStep(Permission p);

// The value of a decimal text, 0 when the text is not a number (empty,
// letters, exponents, hex); finite whatever the number of digits.
double numberOf(const std::string& text);
// A number as text: whole numbers without a point, others with their digits.
std::string numberText(double v);
// A number in a pattern "0", "00" or "0.0": halves away from zero, at least
// as many whole digits as the pattern has before its point.
std::string formatPattern(double value, const std::string& pattern);

// A raw value as the row's box shows it and the file value it stores.
struct RawShown {
    std::optional<std::string> text;  // nothing: the box is left as it is
    std::string fileValue;
};
RawShown showRaw(const std::string& raw, Permission p, int offset);

// A file value (from a saved file) as the box shows it and the raw value to
// write.
struct FileShown {
    std::optional<std::string> text;  // nothing: the box is left as it is
    std::optional<std::string> raw;   // nothing: the value to write is left as it is
};
FileShown showFile(const std::string& fileValue, Permission p, int offset);

// The largest value a parameter can hold: the high byte goes out as 0 to 127.
constexpr std::int32_t kMaxRawValue = 32767;

// A raw value to write, rounded to a whole number with halves to even, when
// it is a number in 0 to 32767.
std::optional<std::int32_t> valueToWrite(const std::string& raw);
// The parameter number of a row when its text is a whole number in 0 to 255.
std::optional<std::uint8_t> parameterNumber(const std::string& sParamID);
// The parameter number's text from a definition file's code: its second to
// fourth characters, trimmed ("P001" gives "001", "P123x" gives "123").
std::string codeToID(const std::string& code);

}  // namespace kv::params
