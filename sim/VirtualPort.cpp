#include "sim/VirtualPort.h"

namespace kv::sim {

VirtualPort::VirtualPort(Scheduler& scheduler, VirtualController& controller)
    : scheduler_(scheduler), controller_(controller) {}

bool VirtualPort::openDevice(const platform::LineSettings&, std::int16_t, platform::OpenError& error,
                             std::string& text) {
    int n = CommPort();
    if (auto refused = refusals.find(n); refused != refusals.end()) {
        error = refused->second;
        text = "refused";
        return false;
    }
    if (!freePorts.count(n)) {
        error = platform::OpenError::Absent;
        text = "no such device";
        return false;
    }
    open_ = true;
    ++session_;
    inbox_.clear();
    return true;
}

void VirtualPort::closeDevice() {
    open_ = false;
    ++session_;
}

void VirtualPort::writeDevice(const platform::Bytes& bytes) {
    written.push_back(bytes);
    const int session = session_;
    // The transmit event comes when the bytes have left: 10 bits a byte.
    const int baud = lineSettings().baud;
    std::int64_t sentAt = scheduler_.nowMs() + (static_cast<std::int64_t>(bytes.size()) * 10000 + baud - 1) / baud;
    scheduler_.at(sentAt, [this, session] {
        if (open_ && session == session_) raise(platform::comEvSend);
    });
    if (CommPort() != controllerPort) return;
    for (auto& piece : controller_.receive(bytes, scheduler_.nowMs())) {
        scheduler_.at(sentAt + piece.delayMs, [this, session, data = piece.bytes] {
            if (open_ && session == session_) deliver(data);
        });
    }
}

void VirtualPort::deliver(const Bytes& bytes) {
    inbox_.insert(inbox_.end(), bytes.begin(), bytes.end());
    raise(platform::comEvReceive);
}

platform::Bytes VirtualPort::Input() {
    platform::Bytes out;
    out.swap(inbox_);
    return out;
}

bool VirtualPort::readLine(Line line) const {
    if (!modemLines) return false;
    switch (line) {
        case Line::CD: return cd;
        case Line::CTS: return cts;
        case Line::DSR: return dsr;
        default: return false;
    }
}

void VirtualPort::unplug() {
    if (!open_) return;
    freePorts.erase(CommPort());
    closeDevice();
    lost("device removed");
}

}  // namespace kv::sim
