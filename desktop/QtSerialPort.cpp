#include "desktop/QtSerialPort.h"

#include <QFileInfo>

#include "ports/PortMap.h"

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace kv::desktop {

QtSerialPort::QtSerialPort() {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&port_, &QSerialPort::bytesWritten, this, &QtSerialPort::onBytesWritten);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, &QtSerialPort::poll);
}

QtSerialPort::~QtSerialPort() {
    // Disconnect first: closing must not call back into a core being destroyed.
    port_.disconnect(this);
    if (port_.isOpen()) port_.close();
}

void QtSerialPort::configure(const platform::LineSettings& s, std::int16_t handshaking) {
    port_.setBaudRate(s.baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    switch (s.parity) {
        case 'E': port_.setParity(QSerialPort::EvenParity); break;
        case 'O': port_.setParity(QSerialPort::OddParity); break;
        case 'M': port_.setParity(QSerialPort::MarkParity); break;
        case 'S': port_.setParity(QSerialPort::SpaceParity); break;
        default: port_.setParity(QSerialPort::NoParity); break;
    }
    port_.setStopBits(s.stopBits == 20   ? QSerialPort::TwoStop
                      : s.stopBits == 15 ? QSerialPort::OneAndHalfStop
                                         : QSerialPort::OneStop);
    port_.setFlowControl(handshaking == 1   ? QSerialPort::SoftwareControl
                         : handshaking >= 2 ? QSerialPort::HardwareControl
                                            : QSerialPort::NoFlowControl);
}

bool QtSerialPort::openDevice(const platform::LineSettings& settings, std::int16_t handshaking,
                              platform::OpenError& error, std::string& text) {
    const QString path = ports::PortMap::device(CommPort());
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        error = platform::OpenError::Absent;
        text = "no such device";
        return false;
    }
    port_.setPortName(path);
    configure(settings, handshaking);
    if (!port_.open(QIODevice::ReadWrite)) {
        error = port_.error() == QSerialPort::PermissionError ? platform::OpenError::Busy
                : port_.error() == QSerialPort::DeviceNotFoundError ? platform::OpenError::Absent
                                                                     : platform::OpenError::Other;
        text = port_.errorString().toStdString();
#if defined(Q_OS_LINUX)
        // QSerialPort folds "in use" and "not allowed" together; the system tells them apart.
        int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        } else if (errno == EACCES || errno == EPERM) {
            error = platform::OpenError::PermissionDenied;
            text = std::strerror(errno);
        } else if (errno == ENOENT || errno == ENXIO || errno == ENODEV) {
            error = platform::OpenError::Absent;
            text = std::strerror(errno);
        }
#endif
        return false;
    }
    lastBits_ = modemBits();
#if defined(Q_OS_LINUX)
    int bits = 0;
    modemLines_ = ::ioctl(static_cast<int>(port_.handle()), TIOCMGET, &bits) == 0;
    serial_icounter_struct counts{};
    counters_ = ::ioctl(static_cast<int>(port_.handle()), TIOCGICOUNT, &counts) == 0;
    if (counters_) {
        int now[5] = {counts.brk, counts.frame, counts.overrun, counts.parity, counts.buf_overrun};
        std::copy(std::begin(now), std::end(now), lastCounts_);
    }
#endif
    pollTicks_ = 0;
    poll_.start();
    return true;
}

void QtSerialPort::closeDevice() {
    poll_.stop();
    // A frame written just before the close (leaving service mode as the
    // program ends) still goes out.
    if (port_.isOpen() && port_.bytesToWrite() > 0) port_.waitForBytesWritten(500);
    port_.close();
    modemLines_ = false;
    counters_ = false;
}

void QtSerialPort::writeDevice(const platform::Bytes& bytes) {
    port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

platform::Bytes QtSerialPort::Input() {
    QByteArray data = port_.readAll();
    return platform::Bytes(data.begin(), data.end());
}

int QtSerialPort::modemBits() const {
#if defined(Q_OS_LINUX)
    int bits = 0;
    if (port_.isOpen() && ::ioctl(static_cast<int>(port_.handle()), TIOCMGET, &bits) == 0) return bits;
#endif
    return 0;
}

bool QtSerialPort::readLine(Line line) const {
    if (!modemLines_) return false;
#if defined(Q_OS_LINUX)
    int bits = modemBits();
    switch (line) {
        case Line::CD: return bits & TIOCM_CD;
        case Line::CTS: return bits & TIOCM_CTS;
        case Line::DSR: return bits & TIOCM_DSR;
        case Line::DTR: return bits & TIOCM_DTR;
        case Line::RTS: return bits & TIOCM_RTS;
    }
#endif
    return false;
}

void QtSerialPort::writeLine(Line line, bool on) {
    if (!modemLines_) return;
    if (line == Line::DTR) port_.setDataTerminalReady(on);
    if (line == Line::RTS) port_.setRequestToSend(on);
}

void QtSerialPort::applySettings(const platform::LineSettings& settings, std::int16_t handshaking) {
    configure(settings, handshaking);
}

void QtSerialPort::onReadyRead() {
    if (inReceive_) return;  // the running receive event takes these bytes too
    inReceive_ = true;
    raise(platform::comEvReceive);
    inReceive_ = false;
    // Bytes that came while the core let events run get their own event.
    if (port_.isOpen() && port_.bytesAvailable() > 0)
        QTimer::singleShot(0, this, &QtSerialPort::onReadyRead);
}

void QtSerialPort::onBytesWritten() {
    if (port_.bytesToWrite() == 0) raise(platform::comEvSend);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    if (!port_.isOpen()) return;
    if (error == QSerialPort::ResourceError || !QFileInfo::exists(port_.portName())) {
        QString reason = port_.errorString();
        closeDevice();
        lost(reason.toStdString());
    }
}

void QtSerialPort::poll() {
    if (!port_.isOpen()) return;
    // A device that is gone (unplugged adapter, stopped simulator) closes the port.
    if (++pollTicks_ % 10 == 0 && !QFileInfo::exists(port_.portName())) {
        closeDevice();
        lost("device removed");
        return;
    }
#if defined(Q_OS_LINUX)
    if (modemLines_) {
        int bits = modemBits();
        int changed = bits ^ lastBits_;
        lastBits_ = bits;
        if (changed & TIOCM_CTS) raise(platform::comEvCTS);
        if (changed & TIOCM_DSR) raise(platform::comEvDSR);
        if (changed & TIOCM_CD) raise(platform::comEvCD);
    }
    serial_icounter_struct c{};
    if (counters_ && port_.isOpen() && ::ioctl(static_cast<int>(port_.handle()), TIOCGICOUNT, &c) == 0) {
        const int now[5] = {c.brk, c.frame, c.overrun, c.parity, c.buf_overrun};
        const int codes[5] = {platform::comEventBreak, platform::comEventFrame, platform::comEventOverrun,
                              platform::comEventRxParity, platform::comEventRxOver};
        for (int i = 0; i < 5; ++i) {
            if (now[i] != lastCounts_[i]) {
                lastCounts_[i] = now[i];
                raise(codes[i]);
            }
        }
    }
#endif
}

}  // namespace kv::desktop
