#include "dialogs/frmStartup.h"

#include <algorithm>

#include "ui/Text.h"

namespace kv::dialogs {

namespace {
// The dialog's size at design time, in twips.
constexpr int kWidth = 4500, kHeight = 1950;
}  // namespace

std::string frmStartup::availableEntry(int port) { return " COM  " + std::to_string(port); }
std::string frmStartup::heldEntry(int port) { return " " + std::to_string(port) + " - Not Available"; }

frmStartup::frmStartup(platform::Platform& platform, link::PortSession& session, ui::Button& cmdSTOPComms,
                       link::ConnectionSequence& sequence, link::Indicators& indicators)
    : window("frmStartup", platform.timers),
      fraPort(window.frame("fraPort")),
      cboPort(window.comboBox("cboPort")),
      cmdOK(window.button(ui::item("cmdAction", 0))),
      cmdCancel(window.button(ui::item("cmdAction", 1))),
      cmdRefresh(window.button("cmdRefresh")),
      platform_(platform),
      session_(session),
      cmdSTOPComms_(cmdSTOPComms),
      sequence_(sequence),
      indicators_(indicators) {
    fraPort.setCaption("Comm Port");
    cboPort.setEditable(false);
    cmdOK.setCaption("OK");
    cmdCancel.setCaption("Cancel");
    cmdRefresh.setCaption("Refresh");
    cmdOK.onClick = [this] { cmdAction_Click(0); };
    cmdCancel.onClick = [this] { cmdAction_Click(1); };
    cmdRefresh.onClick = [this] { cmdRefresh_Click(); };
    window.onUnload = [this] {
        cboPort.clear();  // the list is filled anew at the next showing
        Form_Unload();
    };
}

void frmStartup::Form_Load() {
    loaded_ = true;
    window.setCaption("Scanning available comm hardware...");
    cmdOK.setEnabled(false);
    cmdCancel.setEnabled(false);
    platform::ScreenSize screen = platform_.screen.size();
    window.setGeometry({(screen.width - kWidth) / 2, (screen.height - kHeight) / 2, kWidth, kHeight});
    window.show();
    window.refresh();  // on screen with the scanning caption before the probe starts
}

void frmStartup::Form_Unload() { objComm = nullptr; }

void frmStartup::close() { window.unload(); }

void frmStartup::CommStartup(platform::SerialPort* cntrl, const std::string& msg) {
    if (!cntrl) {
        platform_.messageBox.show("No serial communications control specified.", platform::MsgButtons::Ok,
                                  platform::MsgIcon::Critical, "frmStartup");
        close();
        return;
    }
    objComm = cntrl;
    if (objComm->PortOpen()) {
        session_.close();  // the information bar tells the truth meanwhile
        platform_.events.doEvents();
    } else {
        bNoPort = true;
    }
    if (!loaded_) Form_Load();
    SetTopMost(window, true);
    window.show();
    platform_.pointer.setBusy(true);

    cboPort.addItem("<none>");
    deniedPorts_.clear();
    for (int n = 1; n <= kLastPort; ++n) {
        switch (platform_.probe.probe(n)) {
            case platform::PortState::Free: cboPort.addItem(availableEntry(n)); break;
            case platform::PortState::Held: cboPort.addItem(heldEntry(n)); break;
            case platform::PortState::PermissionDenied:
                cboPort.addItem(heldEntry(n));
                deniedPorts_.push_back(n);
                break;
            case platform::PortState::Absent: break;
        }
    }

    vCommPort = bNoPort ? 0 : objComm->CommPort();
    std::vector<std::string> fields;
    const std::string& settings = objComm->Settings();
    for (std::size_t start = 0;;) {
        std::size_t comma = settings.find(',', start);
        fields.push_back(settings.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::string* targets[] = {&vBaud, &vParity, &vDataBits, &vStopBits};
    for (std::size_t i = 0; i < 4 && i < fields.size(); ++i) *targets[i] = fields[i];
    vHandshaking = objComm->Handshaking();

    const auto& items = cboPort.items();
    auto it = std::find(items.begin(), items.end(), availableEntry(vCommPort));
    cboPort.setListIndex(vCommPort > 0 && it != items.end() ? static_cast<int>(it - items.begin()) : 0);

    platform_.pointer.setBusy(false);
    window.setCaption(msg);
    cmdOK.setEnabled(true);
    cmdCancel.setEnabled(true);
}

void frmStartup::cmdAction_Click(int Index) {
    if (Index == 1) {
        leaveStartEnabled();
        close();
        return;
    }
    if (objComm) ok();
}

void frmStartup::ok() {
    platform::SerialPort& port = *objComm;
    while (port.PortOpen()) {
        session_.close();
        platform_.events.doEvents();
    }
    const std::string selected = cboPort.text();
    if (selected.find("none") != std::string::npos) {
        save("Port", "0");
        bNoPort = true;
        leaveStartEnabled();
        close();
        return;
    }
    if (selected.find(" - Not Available") != std::string::npos) {
        int n = static_cast<int>(ui::toNumber(selected.substr(0, selected.find(" - "))).value_or(0));
        std::string text = std::find(deniedPorts_.begin(), deniedPorts_.end(), n) != deniedPorts_.end()
                               ? "Port " + std::to_string(n) +
                                     " cannot be opened: permission denied. Add your user to the dialout group "
                                     "(sudo usermod -aG dialout $USER), log in again, and press Refresh."
                               : "Port " + std::to_string(n) +
                                     " is already open by another process. Please select a different Comm port.";
        platform_.messageBox.show(text, platform::MsgButtons::Ok, platform::MsgIcon::None, window.caption());
        return;
    }
    vDataBits = "8";
    vStopBits = "1";
    vParity = "N";
    vBaud = "38400";
    auto number = ui::toNumber(selected.size() > 4 ? selected.substr(4) : std::string());
    if (number) port.setCommPort(static_cast<std::int16_t>(*number));
    port.setSettings(vBaud + "," + vParity + "," + vDataBits + "," + vStopBits);
    port.setHandshaking(vHandshaking);
    save("Settings", port.Settings());
    save("Port", std::to_string(port.CommPort()));
    save("Handshaking", std::to_string(port.Handshaking()));
    bNoPort = false;

    if (session_.open()) {
        sequence_.SetStartUptoGo(true);
        indicators_.ShowInfo();
    } else {
        // Said plainly rather than shown as a connection that never answers;
        // START identifies the controller once it opens the port.
        sequence_.bIdentifyOnOpen = true;
        indicators_.ShowInfo();
        indicators_.lblError.setCaption(link::ReceivePath::OpenFailureText(port.lastOpenError()));
    }
    cmdSTOPComms_.setEnabled(true);
    close();
}

void frmStartup::leaveStartEnabled() {
    if (session_.isOpen()) return;
    cmdSTOPComms_.setCaption("START");
    cmdSTOPComms_.setEnabled(true);
}

void frmStartup::cmdRefresh_Click() {
    cboPort.clear();
    CommStartup(&platform_.port, "Communications Port Settings");
}

void frmStartup::save(const std::string& key, const std::string& value) {
    platform_.settings.save(platform::kAppTitle, kSettingsSection, key, value);
}

}  // namespace kv::dialogs
