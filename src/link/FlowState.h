#pragma once
// Steps and acknowledgement flags of the main window's timer-driven flows.
// Reply handlers set the flags; the flows poll them on their ticks.
#include <cstdint>

namespace kv::link {

struct FlowState {
    // Connection sequence: next step (0 to 7) and "run it at the next tick".
    std::int16_t iConnectStep = 0;
    bool bStepDone = false;
    // The firmware reply identified a supported controller.
    bool bIdentitySupported = false;
    // A status request of the poll timer awaits its reply.
    bool bStatusPending = false;
    // Automatic asset/client setting: step last issued and its acknowledgement.
    std::int16_t iAutoStep = 0;
    bool bAutoReplied = false;
    // A parameter write (command 7) was acknowledged.
    bool bParamAck = false;
};

}  // namespace kv::link
