#include "params/ParamTable.h"

#include <cmath>

namespace kv::params {

void ParamRow::define(const std::string& id, const std::string& minText, const std::string& maxText,
                      const std::string& permissionText) {
    sParamID = id;
    sParamMin = minText;
    sParamMax = maxText;
    sParamPermission = permissionText;
    permission = parsePermission(permissionText);
    number = parameterNumber(id);
    min = numberOf(minText);
    max = numberOf(maxText);
}

ParamTable::ParamTable(ui::Window& form, platform::MessageBox& messageBox, const link::Profile& profile)
    : messageBox_(messageBox), profile_(profile) {
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

void ParamTable::SetParamFormat(ui::TextBox& box, const std::string& value, std::int16_t k) {
    if (k < 0 || k >= kArraySize) return;
    ParamRow& r = row(k);
    RawShown shown = showRaw(value, r.permission, iValueOffset);
    if (shown.text) box.setText(*shown.text);
    r.sParamFileValue = shown.fileValue;
    // The limits hold the raw value, before the offset is taken off.
    checkLimits(box, std::trunc(numberOf(value)), shown.text.value_or(value), k);
}

void ParamTable::SetReadParamCSVFormat(ui::TextBox& box, std::string& value, std::int16_t k) {
    if (k < 0 || k >= kArraySize) return;
    ParamRow& r = row(k);
    FileShown shown = showFile(value, r.permission, iValueOffset);
    if (shown.text) box.setText(*shown.text);
    if (shown.raw) {
        value = *shown.raw;
        r.sParamValue = value;
    }
    checkLimits(box, numberOf(value), shown.text.value_or(value), k);
}

// Outside its limits, a value is reported and the value to write becomes the
// limit, which the box shows as the row's type shows a raw value (never an
// earlier text: what is shown is what gets written); the file value follows
// the limit, so a saved file holds what is shown and written.
void ParamTable::checkLimits(ui::TextBox& box, double value, const std::string& shown, std::int16_t k) {
    ParamRow& r = row(k);
    auto clampTo = [&](const std::string& limit, const char* what, const char* bound) {
        RawShown limitShown = showRaw(limit, r.permission, iValueOffset);
        if (gathering_) {
            outside_.push_back(caption(k) + " " + shown + " (" + bound + " " + limitShown.text.value_or(limit) + ")");
        } else {
            messageBox_.show(caption(k) + what, platform::MsgButtons::Ok, platform::MsgIcon::None,
                             platform::kAppTitle);
        }
        box.setText(limitShown.text.value_or(limit));
        r.sParamValue = limit;
        r.sParamFileValue = limitShown.fileValue;
    };
    if (r.max < value) clampTo(r.sParamMax, " Value to HIGH", "at most");
    if (r.min > value) clampTo(r.sParamMin, " Value to LOW", "at least");
}

std::string ParamTable::caption(std::int16_t k) const {
    return k < kRows ? lblParam_[std::size_t(k)]->caption() : row(k).sParamLabel;
}

void ParamTable::BeginLimitReport() {
    gathering_ = true;
    outside_.clear();
}

void ParamTable::EndLimitReport(const std::string& holder) {
    gathering_ = false;
    // What the last read or file said is replaced by what this one says:
    // never two boxes, and none that no longer holds.
    messageBox_.close(limitMessage_);
    limitMessage_ = 0;
    if (outside_.empty()) return;
    std::string text = holder + (outside_.size() == 1 ? " holds a value" : " holds values") +
                       " outside the limits of the parameter definitions. The table shows the limit, which is "
                       "what gets written:";
    for (const std::string& line : outside_) text += "\n" + line;
    outside_.clear();
    limitMessage_ = messageBox_.show(text, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                                     platform::kAppTitle);
}

std::optional<link::ParamWrite> ParamTable::writeTriple(int k, std::string& problem) const {
    const ParamRow& r = row(k);
    auto value = valueToWrite(r.sParamValue);
    if (!r.number) {
        problem = rowName(k) + ": the parameter number \"" + r.sParamID + "\" is not a whole number from 0 to 255";
        return std::nullopt;
    }
    if (!value) {
        problem = rowName(k) + ": the value \"" + r.sParamValue + "\" is not a number from 0 to 32767";
        return std::nullopt;
    }
    return link::splitParam(*r.number, *value);
}

std::string ParamTable::rowName(int k) const {
    const ParamRow& r = row(k);
    std::string name = r.sParamLabel.empty() ? "row " + std::to_string(k + 1) : r.sParamLabel;
    return r.sParamID.empty() ? name : name + " (P" + r.sParamID + ")";
}

}  // namespace kv::params
