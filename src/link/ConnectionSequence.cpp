#include "link/ConnectionSequence.h"

#include <limits>

#include "ui/Text.h"

namespace kv::link {

ConnectionSequence::ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, FlowState& flow,
                                       ReceivePath& receive, PortSession& session,
                                       platform::EventLoop& events, platform::Clock& clock)
    : tmrLoopBack(form.timer("tmrLoopBack")),
      tmrStatusGET(form.timer("tmrStatusGET")),
      lblTime(form.label("lblTime")),
      lblMode(form.label("lblMode")),
      lblClient(form.label(ui::item("lblGetStatus", 3))),
      lblCounter(form.label("lblCounter")),
      cboCLientList(form.comboBox("cboCLientList")),
      lblCurrentINFO(frmProgressInfo.label("lblCurrentINFO")),
      cdmGETV(form.button("cdmGETV")),
      cmdGetCheckSum(form.button("cmdGetCheckSum")),
      cmdGetParams(form.button("cmdGetParams")),
      cmdGetMACAddress(form.button("cmdGetMACAddress")),
      cmdGetClientID(form.button("cmdGetClientID")),
      cmdGetAssetID(form.button("cmdGetAssetID")),
      cmdGetStatus(form.button("cmdGetStatus")),
      frmProgressInfo_(frmProgressInfo),
      flow_(flow),
      receive_(receive),
      port_(session.port()),
      events_(events),
      clock_(clock) {
    tmrLoopBack.setInterval(1000);
    tmrLoopBack.onTick = [this] { tmrLoopBack_Timer(); };
    tmrLoopBack.setEnabled(true);
    tmrStatusGET.setInterval(10000);
    tmrStatusGET.onTick = [this] { tmrStatusGET_Timer(); };
    session.listen([this](PortSession::Event e) { portChanged(e); });
}

// A device back after a replug may be another controller: it is identified
// again from the first request, whatever step the sequence was at when the
// device went, as is the first controller behind a port that OK could not open.
void ConnectionSequence::portChanged(PortSession::Event e) {
    bool identify = e == PortSession::Event::Reopened || (e == PortSession::Event::Opened && bIdentifyOnOpen);
    if (e == PortSession::Event::Opened || e == PortSession::Event::Reopened) bIdentifyOnOpen = false;
    if (!identify) return;
    flow_.iConnectStep = 0;
    SetStartUptoGo(true);
}

void ConnectionSequence::tmrLoopBack_Timer() {
    lblTime.setCaption(platform::formatGeneralDate(clock_.now()));

    std::int16_t& step = flow_.iConnectStep;
    if (iStepTicks > kRetryTicks && step > 0 && step < kFinished) {
        iStepTicks = 0;
        --step;
        flow_.bStepDone = true;
    }
    // Counts on while idle; held at the top so it never wraps.
    if (iStepTicks < std::numeric_limits<std::int16_t>::max()) ++iStepTicks;

    if (flow_.bStepDone) {
        flow_.bStepDone = false;
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
            flow_.bIdentitySupported = false;
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
    if (!flow_.bIdentitySupported) {
        flow_.bStepDone = true;  // skipped at the next tick
        return;
    }
    lblCurrentINFO.setCaption(text);
    button.press();
}

void ConnectionSequence::finish() {
    lblCurrentINFO.setCaption(" CONNECTED..OK");
    if (EnableSetControls) EnableSetControls();
    events_.doEvents();
    selectCustomer();
    auto count = ui::toNumber(lblCounter.caption());
    if (count && *count > 0 && OpenAssetDialog) OpenAssetDialog();
}

void ConnectionSequence::selectCustomer() {
    std::string client = ui::trim(lblClient.caption());
    if (client == "<00") return;
    const auto& entries = cboCLientList.items();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].substr(0, 3) == client) {
            cboCLientList.setListIndex(static_cast<int>(i));
            return;
        }
    }
}

void ConnectionSequence::SetStartUptoGo(bool bGo) {
    if (bGo) {
        // A finished sequence starts over, so confirming a port again
        // identifies the controller again.
        if (flow_.iConnectStep >= kFinished) flow_.iConnectStep = 0;
        flow_.bStepDone = true;
        frmProgressInfo_.show();
    } else {
        flow_.bStepDone = false;
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
    if (receive_.iRxIdx == 1 && !flow_.bStatusPending) {
        cmdGetStatus.press();
        flow_.bStatusPending = true;
    }
}

}  // namespace kv::link
