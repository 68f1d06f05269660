#include "dialogs/PortDialog.h"

#include <algorithm>

namespace kv::dialogs {

std::string PortDialog::availableEntry(int port) { return " COM  " + std::to_string(port); }
std::string PortDialog::heldEntry(int port) { return " " + std::to_string(port) + " - Not Available"; }

PortDialog::PortDialog(const char* name, int width, int height, platform::Platform& platform,
                       link::PortSession& session, link::Indicators& indicators)
    : window(name, platform.timers),
      fraPort(window.frame("fraPort")),
      cboPort(window.comboBox("cboPort")),
      cmdOK(window.button(ui::item("cmdAction", 0))),
      cmdCancel(window.button(ui::item("cmdAction", 1))),
      platform_(platform),
      session_(session),
      indicators_(indicators),
      width_(width),
      height_(height) {
    fraPort.setCaption("Comm Port");
    cboPort.setEditable(false);
    cmdOK.setCaption("OK");
    cmdCancel.setCaption("Cancel");
    cmdOK.onClick = [this] { cmdAction_Click(0); };
    cmdCancel.onClick = [this] { cmdAction_Click(1); };
    window.onUnload = [this] {
        unloaded();
        entries_.clear();
        Form_Unload();
    };
}

void PortDialog::Form_Load() {
    loaded_ = true;
    window.setCaption("Scanning available comm hardware...");
    cmdOK.setEnabled(false);
    cmdCancel.setEnabled(false);
    platform::ScreenSize screen = platform_.screen.size();
    window.setGeometry({(screen.width - width_) / 2, (screen.height - height_) / 2, width_, height_});
    window.show();
    window.refresh();  // on screen with the scanning caption before the probe starts
}

void PortDialog::Form_Unload() { objComm = nullptr; }

void PortDialog::scan(link::PortSession* cntrl, const std::string& msg) {
    if (!cntrl) {
        platform_.messageBox.show("No serial communications control specified.", platform::MsgButtons::Ok,
                                  platform::MsgIcon::Critical, window.name());
        close();
        return;
    }
    objComm = cntrl;
    // The port in use is preselected whenever there is one, also after an
    // earlier Cancel or "<none>" and a START since.
    bNoPort = !objComm->isOpen();
    // Closed, and no longer watched for if it was lost: the technician
    // chooses now, and START opens it again.
    session_.close();
    if (!bNoPort) platform_.events.doEvents();  // the information bar tells the truth meanwhile
    if (!loaded_) Form_Load();
    SetTopMost(window, true);
    window.show();
    platform_.pointer.setBusy(true);

    cboPort.clear();
    entries_.clear();
    auto add = [this](int n, platform::PortState state, const std::string& text) {
        cboPort.addItem(text);
        entries_.push_back({n, state});
    };
    add(0, platform::PortState::Absent, "<none>");
    for (int n = 1; n <= kLastPort; ++n) {
        switch (platform::PortState state = platform_.probe.probe(n)) {
            case platform::PortState::Free: add(n, state, availableEntry(n)); break;
            case platform::PortState::Held:
            case platform::PortState::PermissionDenied: add(n, state, heldEntry(n)); break;
            case platform::PortState::Absent: break;
        }
    }

    const platform::PortConfig config = objComm->config();
    vCommPort = bNoPort ? 0 : config.number;
    vLine = config.line;
    vHandshaking = config.handshaking;

    auto it = std::find_if(entries_.begin(), entries_.end(), [this](const Entry& e) {
        return e.number == vCommPort && e.state == platform::PortState::Free;
    });
    cboPort.setListIndex(vCommPort > 0 && it != entries_.end() ? static_cast<int>(it - entries_.begin()) : 0);
    preselectLineSettings();

    platform_.pointer.setBusy(false);
    window.setCaption(msg);
    cmdOK.setEnabled(true);
    cmdCancel.setEnabled(true);
}

void PortDialog::cmdAction_Click(int Index) {
    if (Index == 1) {
        indicators_.offerStart();
        close();
        return;
    }
    if (objComm) ok();
}

void PortDialog::ok() {
    while (objComm->isOpen()) {
        objComm->close();
        platform_.events.doEvents();
    }
    int index = cboPort.listIndex();
    if (index < 0 || index >= static_cast<int>(entries_.size()) || entries_[std::size_t(index)].number == 0) {
        save("Port", "0");
        bNoPort = true;
        indicators_.offerStart();
        close();
        return;
    }
    const Entry chosen = entries_[std::size_t(index)];
    if (chosen.state != platform::PortState::Free) {
        std::string n = std::to_string(chosen.number);
        std::string text = chosen.state == platform::PortState::PermissionDenied
                               ? "Port " + n +
                                     " cannot be opened: permission denied. Add your user to the dialout group "
                                     "(sudo usermod -aG dialout $USER), log in again, and press Refresh."
                               : "Port " + n + " is already open by another process. Please select a different Comm port.";
        platform_.messageBox.show(text, platform::MsgButtons::Ok, platform::MsgIcon::None, window.caption());
        return;
    }
    takeLineSettings();
    objComm->configure({static_cast<std::int16_t>(chosen.number), vLine, vHandshaking});
    // What the port took, as it reports it.
    const platform::PortConfig taken = objComm->config();
    save("Settings", taken.line.text());
    save("Port", std::to_string(taken.number));
    save("Handshaking", std::to_string(taken.handshaking));
    bNoPort = false;
    finishOk();
    indicators_.offerStart();
    close();
}

void PortDialog::save(const std::string& key, const std::string& value) {
    platform_.settings.save(platform::kAppTitle, kSettingsSection, key, value);
}

}  // namespace kv::dialogs
