#include "dialogs/frmSetAsset.h"

namespace kv::dialogs {

frmSetAsset::frmSetAsset(platform::TimerHost& timers, controller::Identity& identity, controller::Status& status,
                         platform::EventLoop& events, platform::MessageBox& messageBox, const platform::Clock& clock,
                         const AssetHistory& history)
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
      messageBox_(messageBox),
      clock_(clock),
      history_(history) {
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
    messageBox_.close(question_);
    question_ = 0;
    txtScannedAsset.setText("");
    window.show();
    txtScannedAsset.setFocus();
}

void frmSetAsset::txtScannedAsset_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii != 13 || txtScannedAsset.text().empty() || asking()) return;
    checkLength(txtScannedAsset.text());
    events_.doEvents();
}

// A controller holds at most 15 characters of an asset: a longer label is
// never cut without the technician's word.
void frmSetAsset::checkLength(const std::string& label) {
    const std::size_t most = controller::IdentityWrite::kMaxAsset;
    if (label.size() <= most) return checkRepeat(label, "");
    std::string first = label.substr(0, most);
    ask("The asset " + label + " has " + std::to_string(label.size()) + " characters; a controller holds " +
            std::to_string(most) + ". Scan again, or write its first " + std::to_string(most) + ", " + first + "?",
        {"Scan again", "Write the first " + std::to_string(most)}, [this, label, first](int answer) {
            if (answer == 1) checkRepeat(first, label);
            else scanAgain();
        });
}

// An asset already written to another controller (in this batch or a record
// file of the folder) is written again only when the technician says so.
void frmSetAsset::checkRepeat(const std::string& asset, const std::string& cutFrom) {
    auto use = history_.assetUse(asset);
    if (!use) return take(asset, cutFrom);
    // "hh:mm:ss dd/MM/yyyy": the time, and the day when it was not today.
    std::string when = use->when.substr(0, 5);
    std::string today = platform::formatLogTime(clock_.now()).substr(9);
    if (use->when.size() > 9 && use->when.substr(9) != today) when += " on " + use->when.substr(9);
    ask("Asset " + asset + " was written to controller " + use->mac + " at " + when +
            ". Write it to this controller too?",
        {"No", "Yes"}, [this, asset, cutFrom](int answer) {
            if (answer == 1) take(asset, cutFrom);
            else scanAgain();
        });
}

void frmSetAsset::ask(const std::string& text, std::vector<std::string> buttons, std::function<void(int)> then) {
    question_ = messageBox_.ask(text, platform::MsgIcon::Question, window.caption(), buttons,
                                [this, then = std::move(then)](int answer) {
                                    question_ = 0;
                                    // The dialog went meanwhile (EXIT): the scan is dropped.
                                    if (window.visible()) then(answer);
                                });
}

void frmSetAsset::scanAgain() {
    txtScannedAsset.setText("");
    txtScannedAsset.setFocus();
}

void frmSetAsset::take(const std::string& asset, const std::string& cutFrom) {
    identity_.txtAssetID.setText(asset);
    cutFrom_ = cutFrom;
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
    scans_.call(Scan{custom_[0], custom_[1], cutFrom_});
    identity_.txtAssetID.keyPress(13);
    window.hide();
}

void frmSetAsset::cmdExit_Click() {
    messageBox_.close(question_);
    question_ = 0;
    window.hide();
    events_.doEvents();
}

}  // namespace kv::dialogs
