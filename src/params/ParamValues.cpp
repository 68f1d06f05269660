#include "params/ParamValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "ui/Text.h"

namespace kv::params {

Permission parsePermission(const std::string& text) {
    if (text == "PERMISSION_TYPE_1") return Permission::Type1;
    if (text == "PERMISSION_TYPE_2") return Permission::Type2;
    if (text == "PERMISSION_TYPE_3") return Permission::Type3;
    if (text == "PERMISSION_TYPE_4") return Permission::Type4;
    if (text == "PERMISSION_TYPE_5") return Permission::Type5;
    return Permission::Other;
}

bool takesOffset(Permission p) {
    return p == Permission::Type1 || p == Permission::Type2 || p == Permission::Type3 || p == Permission::Type4;
}

int panelStep(Permission p) { return p == Permission::Type3 || p == Permission::Type4 ? 10 : 1; }

double numberOf(const std::string& text) { return ui::toNumber(text).value_or(0.0); }

std::string numberText(double v) {
    if (!std::isfinite(v)) return "0";
    if (v == 0) return "0";  // no "-0"
    char buf[400];
    if (v == std::trunc(v)) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string formatPattern(double value, const std::string& pattern) {
    if (!std::isfinite(value)) value = 0;
    std::size_t point = pattern.find('.');
    int decimals = point == std::string::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
    decimals = std::min(decimals, 6);
    std::size_t minDigits = point == std::string::npos ? pattern.size() : point;
    double scale = std::pow(10.0, decimals);
    // Values are tenths of whole numbers, which binary fractions miss by a
    // few units of their last digit: 2.55 must round as 2.55, not 2.5499...
    double scaled = std::abs(value) * scale;
    double floorPart = std::floor(scaled);
    double tolerance = 8 * std::numeric_limits<double>::epsilon() * std::max(1.0, scaled);
    double units = scaled - floorPart + tolerance >= 0.5 ? floorPart + 1 : floorPart;
    bool negative = value < 0 && units != 0;
    double wholePart = std::floor(units / scale);
    double fracPart = units - wholePart * scale;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", wholePart);
    std::string whole = buf;
    if (whole.size() < minDigits) whole.insert(0, minDigits - whole.size(), '0');
    std::string out = (negative ? "-" : "") + whole;
    if (decimals > 0) {
        std::snprintf(buf, sizeof buf, "%0*.0f", decimals, std::max(0.0, fracPart));
        out += ".";
        out += buf;
    }
    return out;
}

namespace {

const char* rawPattern(Permission p) {
    switch (p) {
        case Permission::Type3: return "0";
        case Permission::Type4: return "00";
        default: return "0.0";
    }
}

}  // namespace

RawShown showRaw(const std::string& raw, Permission p, int offset) {
    RawShown out{std::nullopt, raw};
    if (takesOffset(p)) {
        // The offset is taken off only above zero: raw 0 and raw 400 both
        // show as zero.
        if (numberOf(raw) > 0) out.fileValue = numberText(numberOf(raw) - offset);
        out.text = formatPattern(numberOf(out.fileValue) / 10.0, rawPattern(p));
    } else if (p == Permission::Type5) {
        out.text = formatPattern(numberOf(raw), "0");
    }
    return out;
}

FileShown showFile(const std::string& fileValue, Permission p, int offset) {
    FileShown out;
    if (takesOffset(p)) {
        // Here the offset is added whatever the value: file value 0 is raw 400.
        // Shown as a read shows it: one value, one text, whichever way it came.
        out.text = formatPattern(numberOf(fileValue) / 10.0, rawPattern(p));
        out.raw = numberText(numberOf(fileValue) + offset);
    } else if (p == Permission::Type5) {
        out.text = formatPattern(numberOf(fileValue), "0");
        out.raw = fileValue;
    }
    return out;
}

std::optional<std::int32_t> valueToWrite(const std::string& raw) {
    auto v = ui::toNumber(raw);
    if (!v) return std::nullopt;
    // Halves to even, whatever rounding mode the process runs in.
    double r = *v;
    double nearest = std::floor(r);
    double rest = r - nearest;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(nearest, 2.0) != 0)) nearest += 1;
    if (nearest < 0 || nearest > kMaxRawValue) return std::nullopt;
    return static_cast<std::int32_t>(nearest);
}

std::optional<std::uint8_t> parameterNumber(const std::string& sParamID) {
    std::string t = ui::trim(sParamID);
    if (t.empty() || t.size() > 3) return std::nullopt;
    int n = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n > 255) return std::nullopt;
    return static_cast<std::uint8_t>(n);
}

std::string codeToID(const std::string& code) { return ui::trim(code.size() > 1 ? code.substr(1, 3) : ""); }

}  // namespace kv::params
