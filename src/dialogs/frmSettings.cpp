#include "dialogs/frmSettings.h"

#include <cctype>

#include "ui/Text.h"

namespace kv::dialogs {

frmSettings::frmSettings(platform::Platform& platform, link::PortSession& session,
                         link::Indicators& indicators)
    : PortDialog("frmSettings", kWidth, kHeight, platform, session, indicators),
      fraBaud(window.frame("fraBaud")),
      cboBaud(window.comboBox("cboBaud")),
      fraParity(window.frame("fraParity")),
      fraDataBits(window.frame("fraDataBits")),
      fraStopBits(window.frame("fraStopBits")),
      fraHandshake(window.frame("fraHandshake")) {
    fraBaud.setCaption("Baud Rate");
    cboBaud.setEditable(false);
    fraParity.setCaption("Parity");
    fraDataBits.setCaption("Data Bits");
    fraStopBits.setCaption("Stop Bits");
    fraHandshake.setCaption("Handshaking");
    const char* parity[] = {"Even", "Odd", "None"};
    const char* dataBits[] = {"7 Bit", "8 Bit"};
    const char* stopBits[] = {"1 Bit", "2  Bit"};
    const char* handshake[] = {"None", "Xon", "RTS", "Both"};
    auto make = [this](auto& group, const char* array, const char* const* captions) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            group[i] = &window.option(ui::item(array, static_cast<int>(i)));
            group[i]->setCaption(captions[i]);
        }
    };
    make(parity_, "optParity", parity);
    make(dataBits_, "optDataBits", dataBits);
    make(stopBits_, "optStopBits", stopBits);
    make(handshake_, "optHandshake", handshake);
    // A click selects one button of its group.
    for (int i = 0; i < 3; ++i) parity_[std::size_t(i)]->onClick = [this, i] { selectOnly(parity_, i); };
    for (int i = 0; i < 2; ++i) stopBits_[std::size_t(i)]->onClick = [this, i] { selectOnly(stopBits_, i); };
    for (int i = 0; i < 2; ++i) dataBits_[std::size_t(i)]->onClick = [this, i] { optDataBits_Click(i); };
    for (int i = 0; i < 4; ++i) handshake_[std::size_t(i)]->onClick = [this, i] { optHandshake_Click(i); };
}

template <std::size_t N>
void frmSettings::selectOnly(std::array<ui::OptionButton*, N>& group, int index) {
    for (std::size_t i = 0; i < N; ++i) group[i]->setValue(static_cast<int>(i) == index);
}

void frmSettings::Form_Load() {
    PortDialog::Form_Load();
    for (const char* b : kBauds) cboBaud.addItem(b);
}

// Eight data bits go with one stop bit only.
void frmSettings::optDataBits_Click(int Index) {
    selectOnly(dataBits_, Index);
    if (optDataBits(1).value()) {
        selectOnly(stopBits_, 0);
        optStopBits(1).setEnabled(false);
    } else {
        optStopBits(1).setEnabled(true);
    }
}

void frmSettings::optHandshake_Click(int Index) {
    selectOnly(handshake_, Index);
    if (optHandshake(Index).value()) vHandshaking = static_cast<std::int16_t>(Index);
}

void frmSettings::preselectLineSettings() {
    for (int i = 0; i < static_cast<int>(cboBaud.items().size()); ++i) {
        cboBaud.setListIndex(i);
        if (cboBaud.text() == std::to_string(vLine.baud)) break;
    }
    const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(vLine.parity)));
    if (parity == 'E') optParity(0).click();
    else if (parity == 'O') optParity(1).click();
    else if (parity == 'N') optParity(2).click();
    // Clicked as a user would: "8 Bit" applies its rule before the stop bits.
    if (vLine.dataBits == 7) optDataBits(0).click();
    else if (vLine.dataBits == 8) optDataBits(1).click();
    // Selected even when disabled: 8 data bits with 2 stop bits shows as it is.
    if (vLine.stopBits == 10) selectOnly(stopBits_, 0);
    else if (vLine.stopBits == 20) selectOnly(stopBits_, 1);
    if (vHandshaking >= 0 && vHandshaking <= 3) optHandshake_Click(vHandshaking);
}

void frmSettings::takeLineSettings() {
    vLine.dataBits = optDataBits(0).value() ? 7 : 8;
    vLine.stopBits = optStopBits(0).value() ? 10 : 20;
    vLine.parity = optParity(0).value() ? 'E' : optParity(1).value() ? 'O' : 'N';
    // The list holds whole numbers only; anything else keeps the rate in use.
    if (auto baud = ui::toNumber(cboBaud.text()); baud && *baud == static_cast<int>(*baud) && *baud >= 50 && *baud <= 4000000)
        vLine.baud = static_cast<int>(*baud);
}

// The port is not opened: START does that.
void frmSettings::finishOk() {
    indicators_.ShowInfo();
}

// The window's controls are made anew at each opening: lists empty, no
// option selected.
void frmSettings::unloaded() {
    PortDialog::unloaded();
    cboBaud.clear();
    for (auto* b : parity_) b->setValue(false);
    for (auto* b : dataBits_) b->setValue(false);
    for (auto* b : stopBits_) {
        b->setValue(false);
        b->setEnabled(true);
    }
    for (auto* b : handshake_) b->setValue(false);
    loaded_ = false;
}

}  // namespace kv::dialogs
