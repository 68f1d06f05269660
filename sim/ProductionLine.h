#pragma once
// A production line: controllers provisioned one after another through one
// virtual controller. Each controller stays connected through the restart
// that ends a parameter write, so the dashboard's re-identification reads
// back the controller it has just provisioned; then the next one is swapped
// in, by hand (next()), by itself (autoSwap), or in the middle of its
// provisioning (swapsDuring).
#include <optional>
#include <string>
#include <vector>

#include "sim/VirtualController.h"

namespace kv::sim {

// The points of the dashboard's automatic setting at which a controller can
// be swapped for the next one: right after it answered a request that sets
// its asset, one that sets its client, or after it acknowledged its first
// parameter-write frame inside service mode (the bulk write has begun).
enum class SwapPoint { AssetSet, ClientSet, BulkWrite };

// "asset", "client", "bulk"
const char* swapPointName(SwapPoint point);

struct SwapDuring {
    int controller;  // 1 to count(); the last one is never swapped
    SwapPoint point;
    bool operator==(const SwapDuring&) const = default;
};

class ProductionLine {
public:
    static constexpr int kMaxCount = 99;

    // `count` controllers (1 to kMaxCount, else std::invalid_argument), each
    // fresh from the factory: its own MAC and checksum, no asset, the unset
    // client "<00", the parameters `factoryParams`, not in service mode. What
    // they have beyond that (firmware, outputs, temperatures...) comes from
    // `model`. The first one takes the line at once: its state is loaded into
    // `controller.state`. The line watches the controller's answers through
    // its onAnswered until the line is destroyed.
    ProductionLine(VirtualController& controller, int count, const ControllerState& model = ControllerState{},
                   const Params& factoryParams = kFactoryParams);
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

    // Controllers swapped for the next one in the middle of their
    // provisioning: controller `controller`, while on the line, leaves it
    // after it has answered the request of `point`. That reply, and MAC gets
    // that follow at once, still come from it; the next other request is
    // answered by the next controller, freshly connected (not in service
    // mode). Never past the last one.
    std::vector<SwapDuring> swapsDuring;

    // The entry of swapsDuring that made the latest swap, until the next
    // swap; nothing when that was made by next() or autoSwap.
    const std::optional<SwapDuring>& lastSwapDuring() const { return lastSwapDuring_; }

    // Parameter values every controller of the line left the factory with.
    const Params& factoryParams() const { return factoryParams_; }

    int current() const { return current_; }  // 1 to count()
    int count() const { return static_cast<int>(units_.size()); }

    // Controller `number` (1 to count(), else std::out_of_range); the live
    // state for the one on the line.
    const ControllerState& unit(int number) const;

    // The factory state of controller `number` (1 to kMaxCount): the model's
    // state, its MAC's first ten characters followed by the number.
    static ControllerState factoryUnit(int number, const ControllerState& model = ControllerState{},
                                       const Params& factoryParams = kFactoryParams);

    // One line for every controller served so far, the current one included:
    //   NN  MAC  asset "TEXT"  client "CCC"  CHANGES
    // NN is the controller's number in two digits; asset and client are
    // quoted, with '"', '\' and bytes outside printable ASCII written as
    // \xHH; CHANGES lists the parameters whose value differs from the
    // line's factory value (factoryParams()) in increasing order, as
    // "P012=455 P030=2", or says "factory parameters". Every line ends with
    // a newline.
    std::string summary() const;

private:
    void answered(const Bytes& request);
    bool swapsAt(SwapPoint point) const;
    void requested(const Bytes& request);

    VirtualController& controller_;
    Params factoryParams_;
    std::optional<SwapDuring> lastSwapDuring_;
    std::optional<SwapDuring> pendingSwap_;  // answered at its point, leaving at the next set
    std::vector<ControllerState> units_;
    int current_ = 1;
    bool restarted_ = false;  // the current controller left service mode since it took the line
};

}  // namespace kv::sim
