#include "link/PortSession.h"

namespace kv::link {

PortSession::PortSession(ui::Window& form, platform::SerialPort& port)
    : tmrReopen(form.timer("tmrReopen")), port_(port) {
    tmrReopen.setInterval(kWatchMs);
    tmrReopen.onTick = [this] { tmrReopen_Timer(); };
    port_.listen([this](const platform::PortEvent& e) {
        if (e.kind == platform::PortEvent::Kind::Lost) lost();
        else comm_.call(e.code);
    });
}

void PortSession::configure(const platform::PortConfig& config) {
    port_.setCommPort(config.number);
    port_.setLineSettings(config.line);
    (void)port_.setHandshaking(config.handshaking);  // out of range: the previous stays
    // Every arrival is an event, passed on whole.
    port_.RThreshold = 1;
    port_.SThreshold = 1;
    port_.InputMode = 1;
}

platform::PortConfig PortSession::config() const {
    return {port_.CommPort(), port_.lineSettings(), port_.Handshaking()};
}

PortSession::State PortSession::state() const {
    if (port_.PortOpen()) return State::Open;
    return watching() ? State::Lost : State::Closed;
}

bool PortSession::send(const platform::Bytes& bytes) {
    if (!port_.PortOpen()) return false;
    port_.Output(bytes);
    return true;
}

PortSession::ModemLines PortSession::modemLines() const {
    return {port_.CDHolding(), port_.CTSHolding(), port_.DSRHolding(), port_.RTSEnable(), port_.DTREnable()};
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
