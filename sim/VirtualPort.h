#pragma once
// An in-process serial port with a virtual controller on its line. Writes
// reach the controller at once; its replies arrive later on the scheduler's
// clock, cut into pieces as the controller's failure modes say.
#include <map>
#include <set>

#include "platform/SerialPort.h"
#include "sim/Scheduler.h"
#include "sim/VirtualController.h"

namespace kv::sim {

class VirtualPort : public platform::SerialPort {
public:
    VirtualPort(Scheduler& scheduler, VirtualController& controller);

    // Port numbers and what opening them gives. The controller is on
    // `controllerPort`; ports not listed are absent.
    int controllerPort = 10;
    std::map<int, platform::OpenError> refusals;  // ports that exist but cannot be opened
    std::set<int> freePorts{10};
    bool modemLines = true;
    bool cd = false, cts = true, dsr = true;

    // Every frame written, in order.
    std::vector<Bytes> written;

    platform::Bytes Input() override;

    // Raises a line error or modem event as the port would.
    void inject(int commEvent) { raise(commEvent); }
    // Delivers bytes at once as one receive event, as if the line carried them.
    void deliver(const Bytes& bytes);
    // The device goes away.
    void unplug();

protected:
    bool isOpen() const override { return open_; }
    bool openDevice(const platform::LineSettings&, std::int16_t, platform::OpenError& error,
                    std::string& text) override;
    void closeDevice() override;
    void writeDevice(const platform::Bytes& bytes) override;
    bool readLine(Line line) const override;
    void writeLine(Line, bool) override {}
    bool hasModemLines() const override { return modemLines; }

private:
    Scheduler& scheduler_;
    VirtualController& controller_;
    bool open_ = false;
    int session_ = 0;  // replies to an earlier opening are not delivered
    Bytes inbox_;
};

}  // namespace kv::sim
