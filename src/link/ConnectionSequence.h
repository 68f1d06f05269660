#pragma once
// Identifies the connected controller by itself: the one-second timer presses
// the firmware, checksum, parameter, MAC, client and asset buttons in turn,
// each once the previous reply has come, repeats a step that gets no reply,
// and ends with " CONNECTED..OK". Also the clock label, the receive mode and
// the status poll.
#include <cstdint>
#include <functional>

#include "link/FlowState.h"
#include "link/PortSession.h"
#include "link/ReceivePath.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::link {

class ConnectionSequence {
public:
    ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, FlowState& flow,
                       ReceivePath& receive, PortSession& session, platform::EventLoop& events,
                       platform::Clock& clock);

    // Ticks after which a step without a reply is sent again (on the next one).
    static constexpr std::int16_t kRetryTicks = 5;
    static constexpr std::int16_t kFinished = 7;

    void tmrLoopBack_Timer();
    void SetStartUptoGo(bool bGo);
    // Receive mode: 0 = event-driven (a receive event per arrival), 3 = chunks
    // passed on whole.
    void SelectCommMode(std::int16_t mode, std::int16_t chunking);
    void tmrStatusGET_Timer();

    // Filled by the parts that own these actions.
    std::function<void()> EnableSetControls;
    std::function<void()> OpenAssetDialog;

    std::int16_t iStepTicks = 0;
    // A port dialog's OK could not open the port: the identification it would
    // have started runs when the port next opens.
    bool bIdentifyOnOpen = false;

    ui::Timer& tmrLoopBack;
    ui::Timer& tmrStatusGET;
    ui::Label& lblTime;
    ui::Label& lblMode;
    ui::Label& lblClient;  // lblGetStatus(3)
    ui::Label& lblCounter;
    ui::ComboBox& cboCLientList;
    ui::Label& lblCurrentINFO;
    ui::Button& cdmGETV;
    ui::Button& cmdGetCheckSum;
    ui::Button& cmdGetParams;
    ui::Button& cmdGetMACAddress;
    ui::Button& cmdGetClientID;
    ui::Button& cmdGetAssetID;
    ui::Button& cmdGetStatus;

private:
    void runStep(std::int16_t step);
    void runIdentityStep(const char* text, ui::Button& button);
    void finish();
    void selectCustomer();
    void portChanged(PortSession::Event e);

    ui::Window& frmProgressInfo_;
    FlowState& flow_;
    ReceivePath& receive_;
    platform::SerialPort& port_;
    platform::EventLoop& events_;
    platform::Clock& clock_;
};

}  // namespace kv::link
