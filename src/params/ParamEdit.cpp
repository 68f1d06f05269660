#include "params/ParamEdit.h"

#include <initializer_list>

namespace kv::params {

ParamEdit::ParamEdit(ui::Window& form, ParamTable& table, link::ReceivePath& receive, ui::Timer& tmrStatusGET,
                     platform::MessageBox& messageBox)
    : lblSettingParam(form.label("lblSettingParam")),
      lblSettingValue(form.label("lblSettingValue")),
      cmdApply(form.button("cmdApply")),
      cmdDefault(form.button("cmdDefault")),
      cmdUP(form.button("cmdUP")),
      cmdDown(form.button("cmdDown")),
      imgKV53UP(form.image("imgKV53UP")),
      imgKV53DWN(form.image("imgKV53DWN")),
      imgKV5xSLT(form.image("imgKV5xSLT")),
      table_(table),
      receive_(receive),
      tmrStatusGET_(tmrStatusGET),
      messageBox_(messageBox) {
    // The buttons exist for the flows and are hidden; the panel's keys are
    // what the technician uses.
    const struct {
        ui::Button& button;
        const char* caption;
    } buttons[] = {{cmdApply, "APPLY"}, {cmdDefault, "Default"}, {cmdUP, "UP"}, {cmdDown, "DOWN"}};
    for (const auto& b : buttons) {
        b.button.setCaption(b.caption);
        b.button.setVisible(false);
    }
    imgKV53UP.setPicture("key_up");
    imgKV53DWN.setPicture("key_down");
    imgKV5xSLT.setPicture("key_set");
    cmdApply.onClick = [this] { cmdApply_Click(); };
    cmdDefault.onClick = [this] { cmdDefault_Click(); };
    cmdUP.onClick = [this] { cmdUP_Click(); };
    cmdDown.onClick = [this] { cmdDown_Click(); };
    imgKV53UP.onClick = [this] { imgKV53UP_Click(); };
    imgKV53DWN.onClick = [this] { imgKV53DWN_Click(); };
    imgKV5xSLT.onClick = [this] { imgKV5xSLT_Click(); };
    for (int k = 0; k < ParamTable::kRows; ++k) table_.lblParam(k).onClick = [this, k] { lblParam_Click(k); };
}

void ParamEdit::setLocked(bool locked) {
    locked_ = locked;
    for (ui::Control* c : std::initializer_list<ui::Control*>{&cmdApply, &cmdDefault, &cmdUP, &cmdDown, &imgKV53UP,
                                                              &imgKV53DWN, &imgKV5xSLT})
        c->setEnabled(!locked);
}

void ParamEdit::lblParam_Click(int k) {
    if (locked_ || k < 0 || k >= ParamTable::kRows || table_.txtParam(k).text().empty()) return;
    lblSettingParam.setCaption(table_.lblParam(k).caption());
    lblSettingValue.setCaption(table_.txtParam(k).text());
    bParamSelected = true;
    iSelectedParam = static_cast<std::int16_t>(k);
    tmrStatusGET_.setEnabled(false);
}

void ParamEdit::cmdDefault_Click() {
    if (locked_ || !selectedShown()) return;
    int k = iSelectedParam;
    ParamRow& row = table_.row(k);
    row.sParamValue = row.sParamDefault;
    table_.SetParamFormat(table_.txtParam(k), row.sParamDefault, iSelectedParam);
    lblSettingValue.setCaption(table_.txtParam(k).text());
}

int ParamEdit::panelStep() const { return selected() ? params::panelStep(table_.row(iSelectedParam).permission) : 1; }

void ParamEdit::step(int by) {
    if (locked_ || !selectedShown()) return;
    int k = iSelectedParam;
    ParamRow& row = table_.row(k);
    row.sParamValue = numberText(numberOf(row.sParamValue) + by);
    table_.SetParamFormat(table_.txtParam(k), row.sParamValue, iSelectedParam);
    lblSettingValue.setCaption(table_.txtParam(k).text());
}

void ParamEdit::cmdApply_Click() {
    if (locked_) return;
    tmrStatusGET_.setEnabled(false);
    // A row emptied by a read since it was chosen shows no value to write.
    if (selectedShown()) {
        int k = iSelectedParam;
        table_.SetParamFormat(table_.txtParam(k), table_.row(k).sParamValue, iSelectedParam);
        receive_.ResetReceive();
        std::string problem;
        if (auto triple = table_.writeTriple(k, problem)) {
            receive_.Send(link::frameWriteParams({*triple}));
        } else {
            // Nothing goes out that the controller would misread.
            messageBox_.show(problem + ".\nThe parameter was not written.", platform::MsgButtons::Ok,
                             platform::MsgIcon::Exclamation, platform::kAppTitle);
        }
    }
    ClearSelection(" ");
}

void ParamEdit::ClearSelection(const char* value) {
    bParamSelected = false;
    iSelectedParam = kNone;
    lblSettingValue.setCaption(value);
    lblSettingParam.setCaption("--");
}

}  // namespace kv::params
