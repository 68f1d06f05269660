#pragma once
// The serial port as the dashboard sees it: the operations and event codes of a
// classic serial communications control. The desktop implements it over
// QSerialPort; tests use an in-process virtual port.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/LineSettings.h"
#include "platform/Listeners.h"

namespace kv::platform {

using Bytes = std::vector<std::uint8_t>;

// Values of CommEvent.
enum CommEventCode : int {
    comEvSend = 1,
    comEvReceive = 2,
    comEvCTS = 3,
    comEvDSR = 4,
    comEvCD = 5,
    comEvRing = 6,
    comEvEOF = 7,
    comEventBreak = 1001,
    comEventFrame = 1004,
    comEventOverrun = 1006,
    comEventRxOver = 1008,
    comEventRxParity = 1009,
    comEventTxFull = 1010,
    comEventDCB = 1011,
};

// Why a port could not be opened.
enum class OpenError { None, Busy, Absent, PermissionDenied, Other };

// What a port tells its listeners: a communication event (its CommEvent
// code), or that its device went away while open (the port is closed then).
struct PortEvent {
    enum class Kind { Comm, Lost } kind;
    int code = 0;
    std::string reason;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    std::int16_t CommPort() const { return commPort_; }
    void setCommPort(std::int16_t n) { commPort_ = n; }

    // Line settings such as "38400,n,8,1". A malformed string is refused
    // (returns false) and the previous settings stay in force.
    const std::string& Settings() const { return settings_; }
    [[nodiscard]] bool setSettings(const std::string& text);
    // The same settings, parsed once when they were set.
    const LineSettings& lineSettings() const { return parsed_; }
    // Settings given as a value: taken as they are.
    void setLineSettings(const LineSettings& settings);

    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both. Out-of-range values are refused.
    std::int16_t Handshaking() const { return handshaking_; }
    [[nodiscard]] bool setHandshaking(std::int16_t mode);

    bool PortOpen() const { return isOpen(); }
    // True opens, false closes. Opening a port that cannot be opened leaves it
    // closed and returns false; lastOpenError() tells why.
    bool setPortOpen(bool open);
    OpenError lastOpenError() const { return lastOpenError_; }
    const std::string& lastOpenErrorText() const { return lastOpenErrorText_; }

    std::int16_t InputMode = 0;
    std::int16_t RThreshold = 0;
    std::int16_t SThreshold = 0;

    // Writes all bytes of one frame at once; ignored while closed.
    void Output(const Bytes& bytes);
    // All bytes waiting, removed from the input buffer.
    virtual Bytes Input() = 0;
    int CommEvent() const { return commEvent_; }

    // DTR and RTS keep their value while the port is closed and are applied on
    // open. On a port without modem-line control they read back false.
    bool DTREnable() const;
    void setDTREnable(bool on);
    bool RTSEnable() const;
    void setRTSEnable(bool on);
    bool CDHolding() const { return isOpen() && readLine(Line::CD); }
    bool CTSHolding() const { return isOpen() && readLine(Line::CTS); }
    bool DSRHolding() const { return isOpen() && readLine(Line::DSR); }

    // Any number of listeners hear every event, CommEvent set for each.
    using Listener = std::function<void(const PortEvent&)>;
    int listen(Listener l) { return listeners_.add(std::move(l)); }
    void unlisten(int id) { listeners_.remove(id); }

protected:
    enum class Line { CD, CTS, DSR, DTR, RTS };

    virtual bool isOpen() const = 0;
    // Opens the device for the current CommPort with the parsed settings.
    virtual bool openDevice(const LineSettings& settings, std::int16_t handshaking,
                            OpenError& error, std::string& errorText) = 0;
    virtual void closeDevice() = 0;
    virtual void writeDevice(const Bytes& bytes) = 0;
    virtual bool readLine(Line line) const = 0;
    virtual void writeLine(Line line, bool on) = 0;
    virtual bool hasModemLines() const = 0;
    // Settings changed while open: apply them to the device.
    virtual void applySettings(const LineSettings&, std::int16_t /*handshaking*/) {}

    // Implementations report events through this.
    void raise(int code);
    // Implementations report a vanished device through this.
    void lost(const std::string& reason);

private:
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,n,8,1";
    LineSettings parsed_ = *parseLineSettings("9600,n,8,1");
    std::int16_t handshaking_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    int commEvent_ = 0;
    OpenError lastOpenError_ = OpenError::None;
    std::string lastOpenErrorText_;
    Listeners<const PortEvent&> listeners_;
};

}  // namespace kv::platform
