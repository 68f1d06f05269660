#pragma once
// The one owner of the main window's serial port: it opens and closes it,
// reopens a device that went away and came back, and tells any number of
// listeners of every change. STOP/START, the port dialogs and the start-up go
// through it.
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
    using Listener = std::function<void(Event)>;

    // How often a lost device is looked for.
    static constexpr int kWatchMs = 500;

    PortSession(ui::Window& form, platform::SerialPort& port);
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Opens the port with its current number and settings.
    [[nodiscard]] bool open();
    // Closes the port, or gives up watching for a lost one. A port closed by
    // the technician (STOP) or a dialog is never reopened by itself.
    void close();

    bool isOpen() const { return port_.PortOpen(); }
    // A device that went away is being watched for.
    bool watching() const { return tmrReopen.enabled(); }
    platform::OpenError lastError() const { return port_.lastOpenError(); }
    platform::SerialPort& port() { return port_; }

    int listen(Listener l) { return listeners_.add(std::move(l)); }
    void unlisten(int id) { listeners_.remove(id); }

    void tmrReopen_Timer();

    ui::Timer& tmrReopen;

private:
    void announce(Event e) { listeners_.call(e); }
    void lost();

    platform::SerialPort& port_;
    platform::Listeners<Event> listeners_;
};

}  // namespace kv::link
