#include "dialogs/frmSetAsset.h"

namespace kv::dialogs {

frmSetAsset::frmSetAsset(platform::TimerHost& timers, controller::Identity& identity, controller::Status& status,
                         platform::EventLoop& events)
    : window("frmSetAsset", timers),
      Frame1(window.frame("Frame1")),
      Label1(window.label("Label1")),
      txtScannedAsset(window.textBox("txtScannedAsset")),
      Label3(window.label("Label3")),
      Label2(window.label("Label2")),
      cmdSetAsset(window.button("cmdSetAsset")),
      cmdExit(window.button("cmdExit")),
      identity_(identity),
      status_(status),
      events_(events) {
    window.setCaption("Set Asset");
    Label1.setCaption("Scan Asset:");
    Label3.setCaption("Scan IMEI:");
    for (int i = 0; i < 2; ++i) {
        txtCustom1_[i] = &window.textBox(ui::item("txtCustom1", i));
        chkCustom1_[i] = &window.checkBox(ui::item("chkCustom1", i));
        chkCustom1_[i]->setCaption("Enable");
        txtCustom1_[i]->onKeyPress = [this, i](std::int16_t& k) { txtCustom1_KeyPress(i, k); };
    }
    // Never pressed by any flow: hidden as designed, it does nothing.
    cmdSetAsset.setCaption("SET ASSET");
    cmdSetAsset.setVisible(false);
    cmdExit.setCaption("EXIT");
    cmdExit.onClick = [this] { cmdExit_Click(); };
    txtScannedAsset.onKeyPress = [this](std::int16_t& k) { txtScannedAsset_KeyPress(k); };
}

void frmSetAsset::Open() {
    txtScannedAsset.setText("");
    window.show();
    txtScannedAsset.setFocus();
}

void frmSetAsset::txtScannedAsset_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii != 13 || txtScannedAsset.text().empty()) return;
    identity_.txtAssetID.setText(txtScannedAsset.text());
    custom_[0].clear();
    custom_[1].clear();
    if (!chkCustom1(0).checked()) {
        start();
    } else {
        txtCustom1(0).setText("");
        txtCustom1(0).setFocus();
    }
    events_.doEvents();
}

void frmSetAsset::txtCustom1_KeyPress(int index, std::int16_t& keyAscii) {
    if (index < 0 || index > 1 || keyAscii != 13 || txtCustom1(index).text().empty()) return;
    custom_[index] = txtCustom1(index).text();
    status_.lblGetStatus(6 + index).setCaption(custom_[index]);
    if (index == 0 && chkCustom1(1).checked()) {
        txtCustom1(1).setText("");
        txtCustom1(1).setFocus();
    } else {
        start();
    }
    events_.doEvents();
}

void frmSetAsset::start() {
    scans_.call(custom_[0], custom_[1]);
    identity_.txtAssetID.keyPress(13);
    window.hide();
}

void frmSetAsset::cmdExit_Click() {
    window.hide();
    events_.doEvents();
}

}  // namespace kv::dialogs
