#include "link/PortSession.h"

namespace kv::link {

PortSession::PortSession(ui::Window& form, platform::SerialPort& port)
    : tmrReopen(form.timer("tmrReopen")), port_(port) {
    tmrReopen.setInterval(kWatchMs);
    tmrReopen.onTick = [this] { tmrReopen_Timer(); };
    port_.listen([this](const platform::PortEvent& e) {
        if (e.kind == platform::PortEvent::Kind::Lost) lost();
    });
}

bool PortSession::open() {
    if (port_.PortOpen()) return true;
    bool ok = port_.setPortOpen(true);
    if (!ok) {
        // A lost device that cannot be opened yet is still watched for.
        announce(Event::OpenFailed);
        return false;
    }
    // Opened on request before the watch found it: still a device that came back.
    bool back = tmrReopen.enabled();
    tmrReopen.setEnabled(false);
    announce(back ? Event::Reopened : Event::Opened);
    return true;
}

void PortSession::close() {
    tmrReopen.setEnabled(false);
    if (!port_.PortOpen()) return;
    port_.setPortOpen(false);
    announce(Event::Closed);
}

void PortSession::lost() {
    tmrReopen.setEnabled(true);
    announce(Event::Lost);
}

// The same port number and settings as before it went away.
void PortSession::tmrReopen_Timer() {
    if (port_.PortOpen() || !port_.setPortOpen(true)) return;
    tmrReopen.setEnabled(false);
    announce(Event::Reopened);
}

}  // namespace kv::link
