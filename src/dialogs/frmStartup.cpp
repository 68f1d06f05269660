#include "dialogs/frmStartup.h"

namespace kv::dialogs {

frmStartup::frmStartup(platform::Platform& platform, link::PortSession& session, link::ConnectionSequence& sequence,
                       link::Indicators& indicators)
    : PortDialog("frmStartup", kWidth, kHeight, platform, session, indicators),
      cmdRefresh(window.button("cmdRefresh")),
      sequence_(sequence) {
    cmdRefresh.setCaption("Refresh");
    cmdRefresh.onClick = [this] { cmdRefresh_Click(); };
}

void frmStartup::takeLineSettings() {
    vLine = {38400, 'N', 8, 10};
}

void frmStartup::finishOk() {
    // The information bar first, then what the open says: a port that did
    // not open is said plainly rather than shown as a connection that never
    // answers, and START identifies the controller once it opens the port.
    indicators_.ShowInfo();
    sequence_.portConfirmed(session_.open());
}

void frmStartup::cmdRefresh_Click() {
    cboPort.clear();
    CommStartup(&session_, "Communications Port Settings");
}

}  // namespace kv::dialogs
