#include "platform/SerialPort.h"

namespace kv::platform {

bool SerialPort::setSettings(const std::string& text) {
    auto parsed = parseLineSettings(text);
    if (!parsed) return false;
    settings_ = text;
    parsed_ = *parsed;
    if (isOpen()) applySettings(parsed_, handshaking_);
    return true;
}

void SerialPort::setLineSettings(const LineSettings& settings) {
    settings_ = settings.text();
    parsed_ = settings;
    if (isOpen()) applySettings(parsed_, handshaking_);
}

bool SerialPort::setHandshaking(std::int16_t mode) {
    if (mode < 0 || mode > 3) return false;
    handshaking_ = mode;
    if (isOpen()) applySettings(parsed_, handshaking_);
    return true;
}

bool SerialPort::setPortOpen(bool open) {
    if (!open) {
        if (isOpen()) closeDevice();
        return true;
    }
    if (isOpen()) return true;
    lastOpenError_ = OpenError::None;
    lastOpenErrorText_.clear();
    if (!openDevice(parsed_, handshaking_, lastOpenError_, lastOpenErrorText_)) {
        if (lastOpenError_ == OpenError::None) lastOpenError_ = OpenError::Other;
        return false;
    }
    if (hasModemLines()) {
        writeLine(Line::DTR, dtr_);
        writeLine(Line::RTS, rts_);
    }
    return true;
}

void SerialPort::Output(const Bytes& bytes) {
    if (isOpen() && !bytes.empty()) writeDevice(bytes);
}

bool SerialPort::DTREnable() const {
    if (isOpen() && !hasModemLines()) return false;
    return dtr_;
}

void SerialPort::setDTREnable(bool on) {
    if (isOpen() && !hasModemLines()) return;  // nothing to drive: stays off
    dtr_ = on;
    if (isOpen()) writeLine(Line::DTR, on);
}

bool SerialPort::RTSEnable() const {
    if (isOpen() && !hasModemLines()) return false;
    return rts_;
}

void SerialPort::setRTSEnable(bool on) {
    if (isOpen() && !hasModemLines()) return;
    rts_ = on;
    if (isOpen()) writeLine(Line::RTS, on);
}

void SerialPort::raise(int code) {
    commEvent_ = code;
    listeners_.call({PortEvent::Kind::Comm, code, {}});
}

void SerialPort::lost(const std::string& reason) { listeners_.call({PortEvent::Kind::Lost, 0, reason}); }

}  // namespace kv::platform
