#pragma once
// The automatic asset and client setting: Enter in the asset box starts a
// timer-driven chain that presses SET ASSET, SET CLIENT, Read PARAMS and
// APPLY PARAMS, each on the tick after the previous step was answered, and
// issues a step again when its answer has not come within its request's wait.
#include <cstdint>
#include <string>

#include "controller/AssetCheck.h"
#include "controller/Identity.h"
#include "controller/IdentityWrite.h"
#include "controller/SetControls.h"
#include "link/ReceivePath.h"
#include "params/BulkWrite.h"
#include "params/ParamRead.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::controller {

class AutoSetting {
public:
    static constexpr int kTickMs = 1000;
    static constexpr int kParamTickMs = 2000;  // while the parameter reply is awaited
    // After the asset and after the client are acknowledged, the controller
    // is asked for its MAC in the quiet before the next tick: the record then
    // knows which controller took each, should another be on the line by
    // the read-back.
    static constexpr int kCheckMs = 100;

    AutoSetting(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ReceivePath& receive, Identity& identity,
                IdentityWrite& write, params::ParamRead& read, params::BulkWrite& bulk, SetControls& setControls,
                AssetCheck& check, ui::Timer& tmrStatusGET, platform::EventLoop& events);

    // The step last issued.
    enum class Step : std::int16_t { Idle, Asset, Client, Params, Apply };

    // Enter in the asset box: the run starts, once the asset is agreed to.
    void txtAssetID_KeyPress(std::int16_t& keyAscii);
    void tmrSetAutoAssetClientParam_Timer();
    // Stops a run: nothing more is issued.
    void abort();

    Step step() const { return iAutoStep; }
    // The awaited answer came, or the run is to start: the next tick issues
    // the next step.
    bool answered() const { return bAutoReplied; }

    ui::Timer& tmrSetAutoAssetClientParam;
    ui::Timer& tmrCheckController;

private:
    void replied(link::Reply r);
    void issue(Step step);

    Step iAutoStep = Step::Idle;
    bool bAutoReplied = false;
    std::int16_t iAutoTicks = 0;

    // The asset the run was started with: SET ASSET sends it again even when
    // an identification in between (the port back after a replug) rewrote
    // the asset box with what the controller held.
    std::string runAsset_;
    // The step's own request went out: only then can a reply answer it, not
    // a reply to an identification's request while the port was away.
    bool assetSent_ = true, clientSent_ = true;
    ui::Window& frmProgressInfo_;
    ui::Label& lblCurrentINFO_;
    Identity& identity_;
    IdentityWrite& write_;
    params::ParamRead& read_;
    params::BulkWrite& bulk_;
    SetControls& setControls_;
    AssetCheck& check_;
    ui::Timer& tmrStatusGET_;
    platform::EventLoop& events_;
};

}  // namespace kv::controller
