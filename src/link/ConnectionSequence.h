#pragma once
// Identifies the connected controller by itself: at each tick of its
// one-second timer it has the firmware, checksum, parameter, MAC, client and
// asset requests sent in turn by the parts that own them, each once the
// previous reply has come, repeats a step whose reply has not come within its
// request's wait, and ends with
// " CONNECTED..OK". Also the clock label, the receive mode and the status
// poll.
#include <cstdint>

#include "link/PortSession.h"
#include "link/ReceivePath.h"
#include "link/Requests.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "ui/Window.h"

namespace kv::link {

// What an identification asks of the parts above the link: each request as
// the part that owns it sends it (its button's own click), and what its end
// does. The main window carries it out with those parts.
class Identified {
public:
    // Sends the request of `step` (Firmware to Asset).
    virtual void Request(IdentifyStep step) = 0;
    // Sends the status poll's request.
    virtual void RequestStatus() = 0;
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
    // `frmProgressInfo` and its `lblCurrentINFO` show the steps; `lblMode`
    // is the information bar's.
    ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, ui::Label& lblMode,
                       ReceivePath& receive, PortSession& session, Identified& identified,
                       platform::EventLoop& events, platform::Clock& clock, const platform::Locale& locale);

    // The step to run next, by the request it sends; while a reply is
    // awaited, the step after the one that sent the request.
    using Step = IdentifyStep;
    // The step whose request `r` answers; Finished for a reply that answers none.
    static Step answeredBy(Reply r);

    // Identifies the controller on the line from the first request, at the
    // next tick (REFRESH, a device back after a replug, the port opened).
    void start();
    // A port dialog's OK: a port that opened goes on with the identification
    // (a finished one starts over); one that did not is identified when it
    // next opens.
    void portConfirmed(bool opened);
    // Stops the identification: nothing is sent until it is started again,
    // from the first request.
    void abort();

    void tmrLoopBack_Timer();
    // Receive mode: 0 = event-driven (a receive event per arrival), 3 = chunks
    // passed on whole.
    void SelectCommMode(std::int16_t mode, std::int16_t chunking);
    void tmrStatusGET_Timer();

    // Announced as an identification starts (its firmware request goes out):
    // what was shown of the controller before may be another's.
    int listenStarted(std::function<void()> l) { return started_.add(std::move(l)); }

    Step step() const { return iConnectStep; }
    // An identification is under way (started and not yet connected).
    bool running() const { return iConnectStep < Step::Finished; }
    // The next tick runs the next step.
    bool stepDue() const { return bStepDone; }
    // Ticks since the last step ran.
    std::int16_t ticks() const { return iStepTicks; }
    // The firmware reply identified a supported controller.
    bool supported() const { return bIdentitySupported; }
    // A status request of the poll timer awaits its reply.
    bool statusPending() const { return bStatusPending; }

    ui::Timer& tmrLoopBack;
    ui::Timer& tmrStatusGET;
    ui::Label& lblTime;
    ui::Label& lblMode;
    ui::Label& lblCurrentINFO;

private:
    // Runs the next step at the next tick, the progress window shown.
    void go();
    void runStep(Step step);
    void runIdentityStep(const char* text, Step step);
    void finish();
    void replied(Reply r);
    void portChanged(PortSession::Event e);

    Step iConnectStep = Step::Firmware;
    bool bStepDone = false;
    std::int16_t iStepTicks = 0;
    bool bIdentitySupported = false;
    bool bStatusPending = false;
    // A port dialog's OK could not open the port: the identification it would
    // have started runs when the port next opens.
    bool bIdentifyOnOpen = false;
    platform::Listeners<> started_;

    ui::Window& frmProgressInfo_;
    Identified& identified_;
    ReceivePath& receive_;
    platform::EventLoop& events_;
    platform::Clock& clock_;
    const platform::Locale& locale_;
};

}  // namespace kv::link
