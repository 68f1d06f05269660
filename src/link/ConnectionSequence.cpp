#include "link/ConnectionSequence.h"

#include <limits>

namespace kv::link {

ConnectionSequence::ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, ReceivePath& receive,
                                       PortSession& session, Identified& identified,
                                       platform::EventLoop& events, platform::Clock& clock,
                                       const platform::Locale& locale)
    : tmrLoopBack(form.timer("tmrLoopBack")),
      tmrStatusGET(form.timer("tmrStatusGET")),
      lblTime(form.label("lblTime")),
      lblMode(form.label("lblMode")),
      lblCurrentINFO(frmProgressInfo.label("lblCurrentINFO")),
      cdmGETV(form.button("cdmGETV")),
      cmdGetCheckSum(form.button("cmdGetCheckSum")),
      cmdGetParams(form.button("cmdGetParams")),
      cmdGetMACAddress(form.button("cmdGetMACAddress")),
      cmdGetClientID(form.button("cmdGetClientID")),
      cmdGetAssetID(form.button("cmdGetAssetID")),
      cmdGetStatus(form.button("cmdGetStatus")),
      frmProgressInfo_(frmProgressInfo),
      identified_(identified),
      receive_(receive),
      port_(session.port()),
      events_(events),
      clock_(clock),
      locale_(locale) {
    tmrLoopBack.setInterval(1000);
    tmrLoopBack.onTick = [this] { tmrLoopBack_Timer(); };
    tmrLoopBack.setEnabled(true);
    tmrStatusGET.setInterval(10000);
    tmrStatusGET.onTick = [this] { tmrStatusGET_Timer(); };
    session.listen([this](PortSession::Event e) { portChanged(e); });
    receive.listenReplies([this](Reply r) { replied(r); });
}

// The step each reply answers, as the sequence numbers its waits: the reply
// moves the sequence on only while that step's request is outstanding.
void ConnectionSequence::replied(Reply r) {
    std::int16_t answers = 0;
    switch (r) {
        case Reply::FwVersionSupported: bIdentitySupported = true; [[fallthrough]];
        case Reply::FwVersion: answers = 1; break;
        case Reply::Status: bStatusPending = false; [[fallthrough]];
        case Reply::Checksum:
        case Reply::Config: answers = 2; break;
        case Reply::Params: answers = 3; break;
        case Reply::Mac: answers = 4; break;
        case Reply::Client: answers = 5; break;
        case Reply::Asset: answers = 6; break;
        default: return;
    }
    if (iConnectStep == answers) bStepDone = true;
}

// A device back after a replug may be another controller: it is identified
// again from the first request, whatever step the sequence was at when the
// device went, as is the first controller behind a port that OK could not open.
void ConnectionSequence::portChanged(PortSession::Event e) {
    bool identify = e == PortSession::Event::Reopened || (e == PortSession::Event::Opened && bIdentifyOnOpen);
    if (e == PortSession::Event::Opened || e == PortSession::Event::Reopened) bIdentifyOnOpen = false;
    if (!identify) return;
    iConnectStep = 0;
    SetStartUptoGo(true);
}

void ConnectionSequence::tmrLoopBack_Timer() {
    lblTime.setCaption(locale_.generalDate(clock_.now()));

    std::int16_t& step = iConnectStep;
    if (iStepTicks > kRetryTicks && step > 0 && step < kFinished) {
        iStepTicks = 0;
        --step;
        bStepDone = true;
    }
    // Counts on while idle; held at the top so it never wraps.
    if (iStepTicks < std::numeric_limits<std::int16_t>::max()) ++iStepTicks;

    if (bStepDone) {
        bStepDone = false;
        iStepTicks = 0;
        std::int16_t s = step;
        ++step;
        runStep(s);
    } else if (step == kFinished) {
        frmProgressInfo_.hide();
    }
}

void ConnectionSequence::runStep(std::int16_t step) {
    switch (step) {
        case 0:
            lblCurrentINFO.setCaption(" CONNECTING.... Please Wait");
            bIdentitySupported = false;
            started_.call();
            cdmGETV.press();
            break;
        case 1:
            lblCurrentINFO.setCaption(" Getting Checksum.... Please Wait");
            cmdGetCheckSum.press();
            break;
        case 2:
            lblCurrentINFO.setCaption(" Retrieving Params.... Please Wait");
            cmdGetParams.press();
            break;
        case 3: runIdentityStep(" Acquiring Serial Number.... Please Wait", cmdGetMACAddress); break;
        case 4: runIdentityStep(" Acquiring Client ID.... Please Wait", cmdGetClientID); break;
        case 5: runIdentityStep(" Acquiring Asset ID.... Please Wait", cmdGetAssetID); break;
        case 6: finish(); break;
        default: break;
    }
}

void ConnectionSequence::runIdentityStep(const char* text, ui::Button& button) {
    if (!bIdentitySupported) {
        bStepDone = true;  // skipped at the next tick
        return;
    }
    lblCurrentINFO.setCaption(text);
    button.press();
}

void ConnectionSequence::finish() {
    lblCurrentINFO.setCaption(" CONNECTED..OK");
    identified_.EnableSetControls();
    events_.doEvents();
    identified_.ControllerIdentified();
}

void ConnectionSequence::SetStartUptoGo(bool bGo) {
    if (bGo) {
        // A finished sequence starts over, so confirming a port again
        // identifies the controller again.
        if (iConnectStep >= kFinished) iConnectStep = 0;
        bStepDone = true;
        frmProgressInfo_.show();
    } else {
        bStepDone = false;
        frmProgressInfo_.hide();
    }
}

void ConnectionSequence::SelectCommMode(std::int16_t mode, std::int16_t /*chunking*/) {
    // Chunks are always passed on whole; only event-driven receiving exists.
    if (mode == 0) {
        port_.RThreshold = 1;
        lblMode.setCaption("Event");
    }
}

void ConnectionSequence::tmrStatusGET_Timer() {
    if (receive_.iRxIdx == 1 && !bStatusPending) {
        cmdGetStatus.press();
        bStatusPending = true;
    }
}

}  // namespace kv::link
