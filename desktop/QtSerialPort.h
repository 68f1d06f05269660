#pragma once
// The core's serial port over QSerialPort. Modem-line changes and line errors
// are found by watching the lines and the driver's error counters; a port
// without them (a pseudo-terminal, some adapters) simply reports none.
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "platform/SerialPort.h"

namespace kv::desktop {

class QtSerialPort : public QObject, public platform::SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;

    platform::Bytes Input() override;
    // The serial library's port, to read back what was applied.
    const QSerialPort& device() const { return port_; }

protected:
    bool isOpen() const override { return port_.isOpen(); }
    bool openDevice(const platform::LineSettings& settings, std::int16_t handshaking,
                    platform::OpenError& error, std::string& text) override;
    void closeDevice() override;
    void writeDevice(const platform::Bytes& bytes) override;
    bool readLine(Line line) const override;
    void writeLine(Line line, bool on) override;
    bool hasModemLines() const override { return modemLines_; }
    void applySettings(const platform::LineSettings& settings, std::int16_t handshaking) override;

private:
    void configure(const platform::LineSettings& settings, std::int16_t handshaking);
    void onReadyRead();
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);
    void poll();
    int modemBits() const;

    QSerialPort port_;
    QTimer poll_;
    bool modemLines_ = false;
    bool counters_ = false;
    int lastBits_ = 0;
    int lastCounts_[5] = {};
    bool inReceive_ = false;
    int pollTicks_ = 0;
};

}  // namespace kv::desktop
