#include "params/ParamTable.h"

#include <cmath>
#include <cstdio>

#include "ui/Text.h"

namespace kv::params {

namespace {

double numberOf(const std::string& s) { return ui::toNumber(s).value_or(0.0); }

// A number as text: whole numbers without a point, others with their digits.
std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

bool isOffsetType(const std::string& type) {
    return type == "PERMISSION_TYPE_1" || type == "PERMISSION_TYPE_2" || type == "PERMISSION_TYPE_3" ||
           type == "PERMISSION_TYPE_4";
}

const char* rawPattern(const std::string& type) {
    if (type == "PERMISSION_TYPE_3") return "0";
    if (type == "PERMISSION_TYPE_4") return "00";
    return "0.0";
}

}  // namespace

std::string formatPattern(double value, const std::string& pattern) {
    std::size_t point = pattern.find('.');
    int decimals = point == std::string::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
    int minDigits = static_cast<int>(point == std::string::npos ? pattern.size() : point);
    double scale = std::pow(10.0, decimals);
    // Values are tenths of whole numbers; the nudge keeps 2.55 from becoming 2.5.
    double scaled = std::abs(value) * scale;
    double rounded = std::floor(scaled + 0.5 + 1e-9 * std::max(1.0, scaled));
    bool negative = value < 0 && rounded != 0;
    long long units = static_cast<long long>(rounded);
    long long scaleInt = static_cast<long long>(scale);
    std::string whole = std::to_string(units / scaleInt);
    while (static_cast<int>(whole.size()) < minDigits) whole.insert(0, "0");
    std::string out = (negative ? "-" : "") + whole;
    if (decimals > 0) {
        std::string frac = std::to_string(units % scaleInt);
        while (static_cast<int>(frac.size()) < decimals) frac.insert(0, "0");
        out += "." + frac;
    }
    return out;
}

ParamTable::ParamTable(ui::Window& form, platform::MessageBox& messageBox) : messageBox_(messageBox) {
    for (int k = 0; k < kRows; ++k) {
        txtParam_[static_cast<std::size_t>(k)] = &form.textBox(ui::item("txtParam", k));
        lblParam_[static_cast<std::size_t>(k)] = &form.label(ui::item("lblParam", k));
    }
}

void ParamTable::ClearRows() {
    for (int k = 0; k < kRows; ++k) {
        txtParam(k).setText("");
        txtParam(k).setEnabled(false);
        lblParam(k).setCaption("");
        txtParam(k).setVisible(false);
    }
}

void ParamTable::SetParamFormat(ui::TextBox& box, const std::string& value, std::int16_t row) {
    if (row < 0 || row >= kArraySize) return;
    auto k = static_cast<std::size_t>(row);
    std::string oldText = box.text();
    double r = std::trunc(numberOf(value));
    std::string s = value;
    const std::string& type = sParamPermission[k];
    if (isOffsetType(type)) {
        if (numberOf(s) > 0) s = numberText(numberOf(s) - iValueOffset);
        box.setText(formatPattern(numberOf(s) / 10.0, rawPattern(type)));
    } else if (type == "PERMISSION_TYPE_5") {
        box.setText(formatPattern(numberOf(s), "0"));
    }
    sParamFileValue[k] = s;
    if (numberOf(sParamMax[k]) < r) clampReport(box, oldText, row, sParamMax[k], " Value to HIGH");
    if (numberOf(sParamMin[k]) > r) clampReport(box, oldText, row, sParamMin[k], " Value to LOW");
}

void ParamTable::clampReport(ui::TextBox& box, const std::string& oldText, std::int16_t row,
                             const std::string& limit, const char* what) {
    auto k = static_cast<std::size_t>(row);
    std::string caption = row < kRows ? lblParam(row).caption() : sParamLabel[k];
    messageBox_.show(caption + what, platform::MsgButtons::Ok, platform::MsgIcon::None, platform::kAppTitle);
    box.setText(oldText.empty() ? limit : oldText);
    sParamValue[k] = limit;
}

}  // namespace kv::params
