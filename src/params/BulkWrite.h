#pragma once
// APPLY PARAMS: the whole table written in four frames inside the
// controller's service mode, then the controller restarted and identified
// again. The same timer carries RESTART, which leaves out the frames.
#include <cstdint>
#include <string>
#include <vector>

#include "link/ConnectionSequence.h"
#include "link/ReceivePath.h"
#include "params/ParamEdit.h"
#include "params/ParamFiles.h"
#include "params/ParamRead.h"
#include "params/ParamTable.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "ui/Window.h"

namespace kv::params {

// The service-mode and next-controller commands the flow presses; the part
// that owns those buttons implements it.
class ServiceModeButtons {
public:
    virtual void pressEnterServiceMode() = 0;
    virtual void pressExitServiceMode() = 0;
    virtual void pressRefreshNextController() = 0;
    // REFRESH and RESTART, off while a bulk write runs: either would cut it
    // short and leave the controller with part of the table.
    virtual void setNextControllerEnabled(bool on) = 0;

protected:
    ~ServiceModeButtons() = default;
};

class BulkWrite {
public:
    // Frames in one write: the model's parameters, a frame's worth at a time.
    int frames() const { return table_.profile().frames(); }

    BulkWrite(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ConnectionSequence& sequence,
              link::ReceivePath& receive,
              ParamTable& table, ParamFiles& files, ParamEdit& edit, const ParamRead& read, ui::Timer& tmrStatusGET,
              ServiceModeButtons& serviceMode, const link::PortSession& port, platform::MessageBox& messageBox);

    void cdmSetParams_Click();
    void tmrSetMultipleParams_Timer();
    void SendSetParamsBlock();
    // RESTART's part: one pass that sends no frame, then leaving service mode,
    // the wait and the refresh.
    void StartRestart();
    // The controller answered a service-mode request.
    void ServiceModeReplied();

    // A value the bulk write sends: the row, its parameter number's text and
    // the raw value.
    struct Written {
        int row;
        std::string id;
        int number;  // the parameter number, 0 when the row has none
        int value;
    };
    // Announced when a bulk write starts, with every value it will send: one
    // controller of the batch is being provisioned.
    using StartListener = std::function<void(const std::vector<Written>&)>;
    int listenStarted(StartListener l) { return started_.add(std::move(l)); }

    // The table is being written (service mode, the frames, the restart's
    // wait): not RESTART's pass.
    bool writing() const { return tmrSetMultipleParams.enabled() && purpose_ == Purpose::WriteParams; }
    // The program closes in the middle of a write: the controller is taken
    // out of service mode, unless it has left it already, and the flow stops.
    void Abandon();

    // Frames of the last bulk write that got no acknowledgement.
    const std::vector<int>& unacknowledged() const { return unacknowledged_; }

    // The controller acknowledged the last parameter write.
    bool acknowledged() const { return bParamAck; }
    // Out of service mode, waiting for the controller's restart.
    bool restarting() const { return phase_ == Phase::Restarting; }
    // The frame to send next (1 to frames()).
    int frame() const { return iSetParamsFrame; }

    ui::Button& cdmSetParams;
    ui::Timer& tmrSetMultipleParams;

private:
    enum class Purpose { WriteParams, RestartOnly };
    // Where a write is: service mode and the frames, then the restart's wait.
    enum class Phase { Sending, Restarting };

    bool bParamAck = false;
    Phase phase_ = Phase::Sending;
    std::int16_t iSetParamsFrame = 0;
    std::int16_t iSetParamsProgress = 0;
    std::int16_t iSetParamsTicks = 0;

    // The triples of rows 0 to 38 into iParamHi/iParamLo; false, with why
    // in `problems`, when the table cannot be written as it is.
    [[nodiscard]] bool prepareTriples(std::string& problems);
    void sendingPhase();
    void announceStart();
    void reportUnacknowledged();
    // The read after the restart: when it shows every value written, the
    // frames not acknowledged reached the controller all the same.
    void readBack();

    Purpose purpose_ = Purpose::WriteParams;
    std::vector<int> unacknowledged_;
    std::string unacknowledgedText_;  // shown until a read-back proves the values
    platform::Listeners<const std::vector<Written>&> started_;
    link::ConnectionSequence& sequence_;
    link::ReceivePath& receive_;
    ParamTable& table_;
    ParamFiles& files_;
    ParamEdit& edit_;
    const ParamRead& read_;
    ui::Timer& tmrStatusGET_;
    ServiceModeButtons& serviceMode_;
    const link::PortSession& port_;
    platform::MessageBox& messageBox_;
    ui::Window& frmProgressInfo_;
    ui::Label& lblCurrentINFO_;
};

}  // namespace kv::params
