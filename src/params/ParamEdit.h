#pragma once
// Editing one parameter in the manner of the controller's own front panel: a
// click on a row's label selects it, the step keys change its value, Default
// puts back its default, and APPLY (or the panel's set key) writes it.
#include <cstdint>

#include "link/ReceivePath.h"
#include "params/ParamTable.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::params {

class ParamEdit {
public:
    static constexpr std::int16_t kNone = 99;

    ParamEdit(ui::Window& form, ParamTable& table, link::ReceivePath& receive, ui::Timer& tmrStatusGET,
              platform::MessageBox& messageBox);

    void lblParam_Click(int index);
    void cmdDefault_Click();
    void cmdApply_Click();
    void imgKV53UP_Click() { step(panelStep()); }
    void imgKV53DWN_Click() { step(-panelStep()); }
    void cmdUP_Click() { step(1); }
    void cmdDown_Click() { step(-1); }
    void imgKV5xSLT_Click() { cmdApply_Click(); }

    // Ends the selection; the display shows `value` and "--".
    void ClearSelection(const char* value);
    // While the whole table is written, the panel takes no key: a single
    // write's acknowledgement would be taken for the bulk frame's.
    void setLocked(bool locked);
    bool locked() const { return locked_; }
    bool selected() const { return bParamSelected && iSelectedParam < kNone; }
    // A row is chosen and its box shows a value.
    bool selectedShown() const {
        return selected() && iSelectedParam >= 0 && iSelectedParam < ParamTable::kRows &&
               !table_.txtParam(iSelectedParam).text().empty();
    }

    bool bParamSelected = false;
    std::int16_t iSelectedParam = 0;

    ui::Label& lblSettingParam;
    ui::Label& lblSettingValue;
    ui::Button& cmdApply;
    ui::Button& cmdDefault;
    ui::Button& cmdUP;
    ui::Button& cmdDown;
    ui::Image& imgKV53UP;
    ui::Image& imgKV53DWN;
    ui::Image& imgKV5xSLT;

private:
    int panelStep() const;
    void step(int by);

    bool locked_ = false;
    ParamTable& table_;
    link::ReceivePath& receive_;
    ui::Timer& tmrStatusGET_;
    platform::MessageBox& messageBox_;
};

}  // namespace kv::params
