#include "link/ConnectionSequence.h"

#include <limits>

namespace kv::link {

ConnectionSequence::ConnectionSequence(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO,
                                       ui::Label& lblMode, ReceivePath& receive, PortSession& session,
                                       Identified& identified, platform::EventLoop& events, platform::Clock& clock,
                                       const platform::Locale& locale)
    : tmrLoopBack(form.timer("tmrLoopBack")),
      tmrStatusGET(form.timer("tmrStatusGET")),
      lblTime(receive.lblTime),
      lblMode(lblMode),
      lblCurrentINFO(lblCurrentINFO),
      frmProgressInfo_(frmProgressInfo),
      identified_(identified),
      receive_(receive),
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

ConnectionSequence::Step ConnectionSequence::answeredBy(Reply r) { return stepEndedBy(r).value_or(Step::Finished); }

namespace {
constexpr ConnectionSequence::Step after(ConnectionSequence::Step s) {
    return static_cast<ConnectionSequence::Step>(static_cast<std::int16_t>(s) + 1);
}
constexpr ConnectionSequence::Step before(ConnectionSequence::Step s) {
    return static_cast<ConnectionSequence::Step>(static_cast<std::int16_t>(s) - 1);
}

// A step whose reply does not come is sent again: every step's request says so.
static_assert([] {
    for (auto s = IdentifyStep::Firmware; s < IdentifyStep::Connected; s = after(s))
        if (rowOf(s).wait.then != Wait::Resend) return false;
    return true;
}());
}  // namespace

// A reply moves the sequence on only while the request of its step is
// outstanding.
void ConnectionSequence::replied(Reply r) {
    if (r == Reply::FwVersionSupported) bIdentitySupported = true;
    if (r == Reply::Status) bStatusPending = false;
    const Step answers = answeredBy(r);
    if (answers != Step::Finished && iConnectStep == after(answers)) bStepDone = true;
}

// A device back after a replug may be another controller: it is identified
// again from the first request, whatever step the sequence was at when the
// device went, as is the first controller behind a port that OK could not open.
void ConnectionSequence::portChanged(PortSession::Event e) {
    bool identify = e == PortSession::Event::Reopened || (e == PortSession::Event::Opened && bIdentifyOnOpen);
    if (e == PortSession::Event::Opened || e == PortSession::Event::Reopened) bIdentifyOnOpen = false;
    if (identify) start();
}

void ConnectionSequence::start() {
    iConnectStep = Step::Firmware;
    go();
}

void ConnectionSequence::portConfirmed(bool opened) {
    if (opened) go();
    else bIdentifyOnOpen = true;
}

void ConnectionSequence::abort() {
    iConnectStep = Step::Firmware;
    bStepDone = false;
    bStatusPending = false;
}

void ConnectionSequence::tmrLoopBack_Timer() {
    lblTime.setCaption(locale_.generalDate(clock_.now()));

    Step& step = iConnectStep;
    // The request of the step before `step` awaits its reply: once that
    // request's wait has run out, its step runs again.
    if (step > Step::Firmware && step < Step::Finished && iStepTicks > rowOf(before(step)).wait.ticks) {
        iStepTicks = 0;
        step = before(step);
        bStepDone = true;
    }
    // Counts on while idle; held at the top so it never wraps.
    if (iStepTicks < std::numeric_limits<std::int16_t>::max()) ++iStepTicks;

    if (bStepDone) {
        bStepDone = false;
        iStepTicks = 0;
        Step s = step;
        step = after(step);
        runStep(s);
    } else if (step == Step::Finished) {
        frmProgressInfo_.hide();
    }
}

void ConnectionSequence::runStep(Step step) {
    switch (step) {
        case Step::Firmware:
            lblCurrentINFO.setCaption(" CONNECTING.... Please Wait");
            bIdentitySupported = false;
            started_.call();
            identified_.Request(Step::Firmware);
            break;
        case Step::Checksum:
            lblCurrentINFO.setCaption(" Getting Checksum.... Please Wait");
            identified_.Request(Step::Checksum);
            break;
        case Step::Params:
            lblCurrentINFO.setCaption(" Retrieving Params.... Please Wait");
            identified_.Request(Step::Params);
            break;
        case Step::Mac: runIdentityStep(" Acquiring Serial Number.... Please Wait", step); break;
        case Step::Client: runIdentityStep(" Acquiring Client ID.... Please Wait", step); break;
        case Step::Asset: runIdentityStep(" Acquiring Asset ID.... Please Wait", step); break;
        case Step::Connected: finish(); break;
        case Step::Finished: break;
    }
}

void ConnectionSequence::runIdentityStep(const char* text, Step step) {
    if (!bIdentitySupported) {
        bStepDone = true;  // skipped at the next tick
        return;
    }
    lblCurrentINFO.setCaption(text);
    identified_.Request(step);
}

void ConnectionSequence::finish() {
    lblCurrentINFO.setCaption(" CONNECTED..OK");
    identified_.EnableSetControls();
    events_.doEvents();
    identified_.ControllerIdentified();
}

void ConnectionSequence::go() {
    // A finished sequence starts over, so confirming a port again identifies
    // the controller again.
    if (iConnectStep == Step::Finished) iConnectStep = Step::Firmware;
    bStepDone = true;
    frmProgressInfo_.show();
}

void ConnectionSequence::SelectCommMode(std::int16_t mode, std::int16_t /*chunking*/) {
    // Chunks are always passed on whole; only event-driven receiving exists.
    if (mode == 0) lblMode.setCaption("Event");
}

void ConnectionSequence::tmrStatusGET_Timer() {
    if (receive_.iRxIdx == 1 && !bStatusPending) {
        identified_.RequestStatus();
        bStatusPending = true;
    }
}

}  // namespace kv::link
