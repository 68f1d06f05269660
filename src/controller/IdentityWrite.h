#pragma once
// Writing the asset and client IDs into the controller, and the batch count:
// SET ASSET, SET CLIENT and SET COUNTER with the count box's key filter.
#include <cstdint>
#include <functional>
#include <string>

#include "controller/AssetCheck.h"
#include "controller/BatchCounter.h"
#include "controller/Identity.h"
#include "controller/Status.h"
#include "link/FlowState.h"
#include "link/ReceivePath.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "platform/SerialPort.h"
#include "ui/Window.h"

namespace kv::controller {

// The asset-scanning dialog, as SET COUNTER and the end of an identification
// open it: an empty scan field with the focus in it.
class AssetDialog {
public:
    virtual void Open() = 0;

protected:
    ~AssetDialog() = default;
};

// Whether a provisioning flow runs (an identification, the automatic
// setting, a bulk write): the boxes of the main window take no typed key
// then, so a scan meant for the asset dialog changes nothing.
class FlowState {
public:
    virtual bool Provisioning() const = 0;

protected:
    ~FlowState() = default;
};

class IdentityWrite {
public:
    IdentityWrite(ui::Window& form, link::ReceivePath& receive, Identity& identity, Status& status,
                  BatchCounter& counter, ui::Timer& tmrStatusGET, AssetDialog& assetDialog, AssetCheck& assetCheck,
                  const link::FlowState& flows,
                  const link::PortSession& port, platform::EventLoop& events, platform::Beep& beep);

    void cmdSetAssetID_Click();
    void cmdSetClientID_Click();
    void cmdSetCounter_Click();
    void txtSetCounter_KeyPress(std::int16_t& keyAscii);
    void txtSetClient_KeyPress(std::int16_t& keyAscii);

    // What went to the controller: an asset or client set request written
    // to the open port, with the text it carried.
    enum class Field { Asset, Client };
    using WriteListener = std::function<void(Field, const std::string&)>;
    int listenWrites(WriteListener l) { return writes_.add(std::move(l)); }

    ui::Button& cmdSetAssetID;
    ui::Button& cmdSetClientID;
    ui::TextBox& txtSetClient;
    ui::TextBox& txtSetCounter;
    ui::Button& cmdSetCounter;

private:
    // A key typed while a flow runs is refused with a beep.
    bool refuseDuringFlow(std::int16_t& keyAscii);

    link::ReceivePath& receive_;
    Identity& identity_;
    Status& status_;
    BatchCounter& counter_;
    ui::Timer& tmrStatusGET_;
    AssetDialog& assetDialog_;
    AssetCheck& assetCheck_;
    const link::FlowState& flows_;
    const link::PortSession& port_;
    platform::EventLoop& events_;
    platform::Beep& beep_;
    platform::Listeners<Field, const std::string&> writes_;
};

}  // namespace kv::controller
