#include "dialogs/frmStartup.h"

namespace kv::dialogs {

frmStartup::frmStartup(platform::Platform& platform, link::PortSession& session, ui::Button& cmdSTOPComms,
                       link::ConnectionSequence& sequence, link::Indicators& indicators)
    : PortDialog("frmStartup", kWidth, kHeight, platform, session, cmdSTOPComms, indicators),
      cmdRefresh(window.button("cmdRefresh")),
      sequence_(sequence) {
    cmdRefresh.setCaption("Refresh");
    cmdRefresh.onClick = [this] { cmdRefresh_Click(); };
}

void frmStartup::takeLineSettings() {
    vDataBits = "8";
    vStopBits = "1";
    vParity = "N";
    vBaud = "38400";
}

void frmStartup::finishOk() {
    if (session_.open()) {
        sequence_.SetStartUptoGo(true);
        indicators_.ShowInfo();
    } else {
        // Said plainly rather than shown as a connection that never answers;
        // START identifies the controller once it opens the port.
        sequence_.bIdentifyOnOpen = true;
        indicators_.ShowInfo();
        indicators_.lblError.setCaption(link::ReceivePath::OpenFailureText(session_.lastError()));
    }
}

void frmStartup::cmdRefresh_Click() {
    cboPort.clear();
    CommStartup(&platform_.port, "Communications Port Settings");
}

}  // namespace kv::dialogs
