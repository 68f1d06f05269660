#pragma once
// The parameter table: one row per controller parameter, as parallel arrays of
// raw, file and shown values, with a labelled box per row in three columns.
#include <array>
#include <cstdint>
#include <string>

#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::params {

class ParamTable {
public:
    static constexpr int kArraySize = 51;  // rows 0 to 50 exist ...
    static constexpr int kRows = 49;       // ... but only 49 have a box

    ParamTable(ui::Window& form, platform::MessageBox& messageBox);

    // Empties, disables and hides every row's box and label caption.
    void ClearRows();

    // Shows raw value `value` in row `row`'s box, stores its file value and
    // holds the value to write within the row's limits.
    void SetParamFormat(ui::TextBox& box, const std::string& value, std::int16_t row);

    ui::TextBox& txtParam(int k) { return *txtParam_[static_cast<std::size_t>(k)]; }
    ui::Label& lblParam(int k) { return *lblParam_[static_cast<std::size_t>(k)]; }

    std::array<std::string, kArraySize> sParamID, sParamValue, sParamDefault, sParamMin, sParamMax,
        sParamPermission, sParamLabel, sParamFileValue;
    std::array<std::int16_t, kArraySize> iParamLo{}, iParamHi{};
    std::int16_t iParamCount = 0;
    std::int16_t iValueOffset = 0;

private:
    void clampReport(ui::TextBox& box, const std::string& oldText, std::int16_t row, const std::string& limit,
                     const char* what);

    platform::MessageBox& messageBox_;
    std::array<ui::TextBox*, kRows> txtParam_;
    std::array<ui::Label*, kRows> lblParam_;
};

// A number in a pattern "0", "00" or "0.0", halves rounded away from zero.
std::string formatPattern(double value, const std::string& pattern);

}  // namespace kv::params
