#include "dialogs/frmSetAsset.h"

namespace kv::dialogs {

frmSetAsset::frmSetAsset(platform::TimerHost& timers, controller::Identity& identity, controller::Status& status,
                         platform::EventLoop& events, controller::AssetCheck& check)
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
      events_(events),
      check_(check) {
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
    check_.Cancel();
    txtScannedAsset.setText("");
    window.show();
    txtScannedAsset.setFocus();
}

void frmSetAsset::txtScannedAsset_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii != 13 || txtScannedAsset.text().empty() || asking()) return;
    check_.Check(
        txtScannedAsset.text(), window.caption(),
        [this](const std::string& asset, const std::string&) {
            if (window.visible()) take(asset);  // the dialog went meanwhile (EXIT): the scan is dropped
        },
        [this] {
            txtScannedAsset.setText("");
            txtScannedAsset.setFocus();
        });
    events_.doEvents();
}

void frmSetAsset::take(const std::string& asset) {
    identity_.txtAssetID.setText(asset);
    custom_[0].clear();
    custom_[1].clear();
    if (!chkCustom1(0).checked()) {
        start();
    } else {
        txtCustom1(0).setText("");
        txtCustom1(0).setFocus();
    }
}

void frmSetAsset::txtCustom1_KeyPress(int index, std::int16_t& keyAscii) {
    if (index < 0 || index > 1 || keyAscii != 13 || txtCustom1(index).text().empty() || asking()) return;
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
    check_.Cancel();
    window.hide();
    events_.doEvents();
}

}  // namespace kv::dialogs
