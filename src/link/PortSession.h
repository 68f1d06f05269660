#pragma once
// The one holder of the main window's serial port: it configures, opens and
// closes it, reopens a device that went away and came back, carries the
// bytes both ways, and tells any number of listeners of every change. No
// other part reaches the port.
#include <cstdint>
#include <functional>

#include "platform/Listeners.h"
#include "platform/SerialPort.h"
#include "ui/Window.h"

namespace kv::link {

class PortSession {
public:
    enum class Event {
        Opened,      // opened on request
        OpenFailed,  // an open on request failed: lastError() says why
        Closed,      // closed on request
        Lost,        // the device went away; it is watched for its return
        Reopened,    // a lost device came back and was opened again
    };
    enum class State {
        Closed,  // never opened, closed on request, or an open failed
        Open,
        Lost,  // went away while open; watched for its return
    };
    using Listener = std::function<void(Event)>;

    // The modem lines as the lamps show them.
    struct ModemLines {
        bool cd = false, cts = false, dsr = false, rts = false, dtr = false;
    };

    // How often a lost device is looked for.
    static constexpr int kWatchMs = 500;

    PortSession(ui::Window& form, platform::SerialPort& port);
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Number, line settings and handshaking; on an open port the settings
    // take effect at once, the number at the next open.
    void configure(const platform::PortConfig& config);
    platform::PortConfig config() const;

    // Opens the port with its current number and settings.
    [[nodiscard]] bool open();
    // Closes the port, or gives up watching for a lost one. A port closed by
    // the technician (STOP) or a dialog is never reopened by itself.
    void close();

    State state() const;
    bool isOpen() const { return port_.PortOpen(); }
    // A device that went away is being watched for.
    bool watching() const { return tmrReopen.enabled(); }
    platform::OpenError lastError() const { return port_.lastOpenError(); }

    // Writes one frame; false, and nothing sent, while the port is closed.
    bool send(const platform::Bytes& bytes);
    // Every byte received and not yet taken.
    platform::Bytes input() { return port_.Input(); }

    ModemLines modemLines() const;
    void setDtr(bool on) { port_.setDTREnable(on); }
    void setRts(bool on) { port_.setRTSEnable(on); }

    int listen(Listener l) { return listeners_.add(std::move(l)); }
    void unlisten(int id) { listeners_.remove(id); }
    // The port's communication events, by their CommEvent code.
    int listenComm(std::function<void(int code)> l) { return comm_.add(std::move(l)); }

    void tmrReopen_Timer();

    ui::Timer& tmrReopen;

private:
    void announce(Event e) { listeners_.call(e); }
    void lost();

    platform::SerialPort& port_;
    platform::Listeners<Event> listeners_;
    platform::Listeners<int> comm_;
};

}  // namespace kv::link
