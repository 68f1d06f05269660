#pragma once
// Identifies the connected controller by itself: the one-second timer presses
// the firmware, checksum, parameter, MAC, client and asset buttons in turn,
// each once the previous reply has come, repeats a step that gets no reply,
// and ends with " CONNECTED..OK". Also the clock label, the receive mode and
// the status poll.
#include <cstdint>

#include "link/PortSession.h"
#include "link/ReceivePath.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "ui/Window.h"

namespace kv::link {

// What the end of an identification does in the parts above the link; the
// main window carries it out with the parts that own those controls.
class Identified {
public:
    // The provisioning controls, on.
    virtual void EnableSetControls() = 0;
    // The rest, after pending events have run: the connected controller's
    // customer selected in the list, its record row, and the asset dialog
    // for the next scan while the batch counter is above 0.
    virtual void ControllerIdentified() = 0;

protected:
    ~Identified() = default;
};

class ConnectionSequence {
public:
    ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, ReceivePath& receive,
                       PortSession& session, Identified& identified, platform::EventLoop& events,
                       platform::Clock& clock, const platform::Locale& locale);

    // Ticks after which a step without a reply is sent again (on the next one).
    static constexpr std::int16_t kRetryTicks = 5;
    static constexpr std::int16_t kFinished = 7;

    void tmrLoopBack_Timer();
    void SetStartUptoGo(bool bGo);
    // Receive mode: 0 = event-driven (a receive event per arrival), 3 = chunks
    // passed on whole.
    void SelectCommMode(std::int16_t mode, std::int16_t chunking);
    void tmrStatusGET_Timer();

    // Announced as an identification starts (its firmware request goes out):
    // what was shown of the controller before may be another's.
    int listenStarted(std::function<void()> l) { return started_.add(std::move(l)); }

    // Next step to run (0 to 7); while a reply is awaited, its step + 1.
    std::int16_t iConnectStep = 0;
    // Run the next step at the next tick.
    bool bStepDone = false;
    std::int16_t iStepTicks = 0;
    // The firmware reply identified a supported controller.
    bool bIdentitySupported = false;
    // A status request of the poll timer awaits its reply.
    bool bStatusPending = false;
    // A port dialog's OK could not open the port: the identification it would
    // have started runs when the port next opens.
    bool bIdentifyOnOpen = false;

    ui::Timer& tmrLoopBack;
    ui::Timer& tmrStatusGET;
    ui::Label& lblTime;
    ui::Label& lblMode;
    ui::Label& lblCurrentINFO;
    ui::Button& cdmGETV;
    ui::Button& cmdGetCheckSum;
    ui::Button& cmdGetParams;
    ui::Button& cmdGetMACAddress;
    ui::Button& cmdGetClientID;
    ui::Button& cmdGetAssetID;
    ui::Button& cmdGetStatus;

private:
    platform::Listeners<> started_;
    void runStep(std::int16_t step);
    void runIdentityStep(const char* text, ui::Button& button);
    void finish();
    void replied(Reply r);
    void portChanged(PortSession::Event e);

    ui::Window& frmProgressInfo_;
    Identified& identified_;
    ReceivePath& receive_;
    platform::SerialPort& port_;
    platform::EventLoop& events_;
    platform::Clock& clock_;
    const platform::Locale& locale_;
};

}  // namespace kv::link
