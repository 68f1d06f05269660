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
    const bool opened = session_.open();
    // A port that did not open is said plainly rather than shown as a
    // connection that never answers; START identifies the controller once it
    // opens the port.
    sequence_.portConfirmed(opened);
    indicators_.ShowInfo();
    if (!opened) indicators_.lblError.setCaption(link::ReceivePath::OpenFailureText(session_.lastError()));
}

void frmStartup::cmdRefresh_Click() {
    cboPort.clear();
    CommStartup(&platform_.port, "Communications Port Settings");
}

}  // namespace kv::dialogs
