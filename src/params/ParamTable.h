#pragma once
// The parameter table: one row per controller parameter, each with its raw,
// file and shown value, shown as a labelled box in three columns.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Frames.h"
#include "link/Profile.h"
#include "params/ParamValues.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::params {

// One row as the definition file describes it, with its current values.
struct ParamRow {
    std::string sParamID;          // parameter number as text
    std::string sParamValue;       // raw value to write
    std::string sParamDefault;     // raw factory default
    std::string sParamMin;         // raw lower limit
    std::string sParamMax;         // raw upper limit
    std::string sParamPermission;  // permission type as the file names it
    std::string sParamLabel;       // mnemonic
    std::string sParamFileValue;   // file value, written by File > Save
    std::int16_t iParamLo = 0;     // bytes of the value of the last bulk write
    std::int16_t iParamHi = 0;

    // Parsed once, when the row is defined.
    Permission permission = Permission::Other;
    std::optional<std::uint8_t> number;
    double min = 0, max = 0;

    void define(const std::string& id, const std::string& minText, const std::string& maxText,
                const std::string& permissionText);
};

class ParamTable {
public:
    static constexpr int kArraySize = 51;  // rows 0 to 50 exist ...
    static constexpr int kRows = 49;       // ... but only 49 have a box

    // `profile`: the controller model whose parameters the rows show.
    ParamTable(ui::Window& form, platform::MessageBox& messageBox, const link::Profile& profile = link::kKV53);

    const link::Profile& profile() const { return profile_; }
    // The rows a bulk write sends: one per parameter of the model.
    int bulkRows() const { return profile_.params; }

    // Empties, disables and hides every row's box and label caption.
    void ClearRows();

    // Shows raw value `value` in the box, stores its file value and holds the
    // value to write within the row's limits.
    void SetParamFormat(ui::TextBox& box, const std::string& value, std::int16_t row);
    // Shows file value `value` in the box and stores the raw value to write,
    // held within the row's limits; `value` becomes the raw value.
    void SetReadParamCSVFormat(ui::TextBox& box, std::string& value, std::int16_t row);

    // Values outside their limits met between these two calls (a read reply,
    // a file taken in) are named together in one message at the end, instead
    // of one message each, so that nothing waits on the technician; `holder`
    // ("The controller") begins it. The message replaces the previous one of
    // its kind if that is still open. Outside them, each is reported at once.
    void BeginLimitReport();
    void EndLimitReport(const std::string& holder);

    // The triple row k is written with, or why it cannot be written: a value
    // that is not a number in 0 to 32767, or no parameter number in 0 to 255.
    [[nodiscard]] std::optional<link::ParamWrite> writeTriple(int k, std::string& problem) const;
    // "SP (P001)": how a message names a row.
    std::string rowName(int k) const;

    ParamRow& row(int k) { return rows_[static_cast<std::size_t>(k)]; }
    // For each parameter number, the first loaded row of it; -1 when none is.
    std::array<int, 256> rowsByNumber() const {
        std::array<int, 256> rows;
        rows.fill(-1);
        for (int k = std::min<int>(iParamCount, kRows) - 1; k >= 0; --k)
            if (row(k).number) rows[*row(k).number] = k;
        return rows;
    }
    const ParamRow& row(int k) const { return rows_[static_cast<std::size_t>(k)]; }
    ui::TextBox& txtParam(int k) { return *txtParam_[static_cast<std::size_t>(k)]; }
    ui::Label& lblParam(int k) { return *lblParam_[static_cast<std::size_t>(k)]; }

    std::int16_t iParamCount = 0;
    std::int16_t iValueOffset = 0;

private:
    void checkLimits(ui::TextBox& box, double value, const std::string& shown, std::int16_t row);
    std::string caption(std::int16_t row) const;

    bool gathering_ = false;
    std::vector<std::string> outside_;  // "DFD 54.0 (at most 50.0)"
    platform::MessageId limitMessage_ = 0;

    platform::MessageBox& messageBox_;
    const link::Profile& profile_;
    std::array<ParamRow, kArraySize> rows_;
    std::array<ui::TextBox*, kRows> txtParam_;
    std::array<ui::Label*, kRows> lblParam_;
};

}  // namespace kv::params
