#pragma once
// Whether a flow is identifying or provisioning the controller on the line.

namespace kv::link {

// While a flow runs, keys typed into the main window (a scan made too early,
// with the asset dialog hidden) change no box and send nothing: they are
// refused with a beep.
class FlowState {
public:
    virtual bool Provisioning() const = 0;

protected:
    ~FlowState() = default;
};

}  // namespace kv::link
