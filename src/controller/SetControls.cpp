#include "controller/SetControls.h"

namespace kv::controller {

SetControls::SetControls(ui::Window& form)
    : controls_{&form.button("cdmSetParams"),   &form.button("cmdRefreshNextController"),
                &form.button("cmdSetClientID"), &form.button("cmdSetAssetID"),
                &form.textBox("txtAssetID"),    &form.button("cmdSetCounter"),
                &form.comboBox("cboCLientList")} {}

void SetControls::setAll(bool on) {
    for (ui::Control* c : controls_) c->setEnabled(on);
}

}  // namespace kv::controller
