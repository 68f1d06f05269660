#pragma once
// A production line: controllers provisioned one after another through one
// virtual controller. Each controller stays connected through the restart
// that ends a parameter write, so the dashboard's re-identification reads
// back the controller it has just provisioned; then the next one is swapped
// in, by hand (next()) or by itself (autoSwap).
#include <string>
#include <vector>

#include "sim/VirtualController.h"

namespace kv::sim {

class ProductionLine {
public:
    static constexpr int kMaxCount = 99;

    // `count` controllers (1 to kMaxCount, else std::invalid_argument), each
    // fresh from the factory: its own MAC and checksum, no asset, the unset
    // client "<00", the factory parameters, not in service mode. What they
    // have beyond that (firmware, outputs, temperatures...) comes from
    // `model`. The first one takes the line at once: its state is loaded into
    // `controller.state`. The line watches the controller's answers through
    // its onAnswered until the line is destroyed.
    ProductionLine(VirtualController& controller, int count, const ControllerState& model = ControllerState{});
    ~ProductionLine();
    ProductionLine(const ProductionLine&) = delete;
    ProductionLine& operator=(const ProductionLine&) = delete;

    // The current controller leaves the line, keeping what was written to it
    // (it is powered off: out of service mode), and the next one takes it,
    // freshly connected. False, and nothing changes, after the last one.
    bool next();

    // Move on by itself once the current controller, having restarted (left
    // service mode) since it took the line, has answered an asset get: the
    // last request of the dashboard's re-identification. The reply still
    // comes from that controller. Never past the last one.
    bool autoSwap = false;

    int current() const { return current_; }  // 1 to count()
    int count() const { return static_cast<int>(units_.size()); }

    // Controller `number` (1 to count(), else std::out_of_range); the live
    // state for the one on the line.
    const ControllerState& unit(int number) const;

    // The factory state of controller `number` (1 to kMaxCount).
    static ControllerState factoryUnit(int number, const ControllerState& model = ControllerState{});

    // One line for every controller served so far, the current one included:
    //   NN  MAC  asset "TEXT"  client "CCC"  CHANGES
    // NN is the controller's number in two digits; asset and client are
    // quoted, with '"', '\' and bytes outside printable ASCII written as
    // \xHH; CHANGES lists the parameters whose value differs from the
    // factory value in increasing order, as "P012=455 P030=2", or says
    // "factory parameters". Every line ends with a newline.
    std::string summary() const;

private:
    void answered(const Bytes& request);

    VirtualController& controller_;
    std::vector<ControllerState> units_;
    int current_ = 1;
    bool restarted_ = false;  // the current controller left service mode since it took the line
};

}  // namespace kv::sim
