#include "params/BulkWrite.h"

#include <algorithm>
#include <array>
#include <limits>

#include "link/Frames.h"

namespace kv::params {

namespace {
constexpr const char* kNothingWritten = "Nothing was written to the controller.";
// How long a frame waits for its acknowledgement: the parameter write's wait.
constexpr link::Wait kFrameWait = link::row(link::cmdWriteParams).wait;
static_assert(kFrameWait.then == link::Wait::GiveUp, "a frame not acknowledged is given up, not sent again");
}  // namespace

BulkWrite::BulkWrite(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ConnectionSequence& sequence,
                     link::ReceivePath& receive, ParamTable& table, ParamFiles& files, ParamEdit& edit,
                     const ParamRead& read, ui::Timer& tmrStatusGET, ServiceModeButtons& serviceMode, const link::PortSession& port,
                     platform::MessageBox& messageBox)
    : cdmSetParams(form.button("cdmSetParams")),
      tmrSetMultipleParams(form.timer("tmrSetMultipleParams")),
      sequence_(sequence),
      receive_(receive),
      table_(table),
      files_(files),
      edit_(edit),
      read_(read),
      tmrStatusGET_(tmrStatusGET),
      serviceMode_(serviceMode),
      port_(port),
      messageBox_(messageBox),
      frmProgressInfo_(frmProgressInfo),
      lblCurrentINFO_(lblCurrentINFO) {
    cdmSetParams.setCaption("APPLY PARAMS");
    cdmSetParams.onClick = [this] { cdmSetParams_Click(); };
    tmrSetMultipleParams.setInterval(900);
    tmrSetMultipleParams.onTick = [this] { tmrSetMultipleParams_Timer(); };
    receive_.listenReplies([this](link::Reply r) {
        if (r == link::Reply::ParamAck) bParamAck = true;
        if (r == link::Reply::Params) readBack();
    });
}

bool BulkWrite::prepareTriples(std::string& problems) {
    if (table_.iParamCount < table_.bulkRows()) {
        problems = "The parameter definition file gave " + std::to_string(table_.iParamCount) + " parameters; " +
                   std::to_string(table_.bulkRows()) + " are needed to write them all.\n";
        return false;
    }
    // What goes to the controller is what the technician saw: a row whose
    // box holds nothing (no read of this controller, no file filled it) has
    // no value of its own to send.
    std::string blank;
    for (int k = 0; k < table_.bulkRows(); ++k)
        if (table_.txtParam(k).text().empty()) blank += (blank.empty() ? "" : ", ") + table_.rowName(k);
    if (!blank.empty())
        problems = "No value is shown for " + blank +
                   " (not read from the controller, nor opened from a file): read the parameters again or open "
                   "a parameter file.\n";
    std::vector<link::ParamWrite> triples(std::size_t(table_.bulkRows()));
    for (int k = 0; k < table_.bulkRows(); ++k) {
        if (table_.txtParam(k).text().empty()) continue;
        std::string problem;
        if (auto t = table_.writeTriple(k, problem)) triples[std::size_t(k)] = *t;
        else problems += problem + "\n";
    }
    if (!problems.empty()) return false;
    for (int k = 0; k < table_.bulkRows(); ++k) {
        table_.row(k).iParamHi = triples[std::size_t(k)].high;
        table_.row(k).iParamLo = triples[std::size_t(k)].low;
    }
    return true;
}

void BulkWrite::cdmSetParams_Click() {
    receive_.ResetReceive();
    // With the port closed nothing could be written: the batch counter must
    // not count this controller as done.
    if (!port_.isOpen()) {
        messageBox_.show("COMM PORT NOT OPEN", platform::MsgButtons::Ok, platform::MsgIcon::None, platform::kAppTitle);
        return;
    }
    // The selected file's values replace the current ones, steps included.
    if (!files_.LoadSelectedParamFile(kNothingWritten)) return;
    // Nothing goes out, not even the service-mode request, unless every row
    // can be written as the controller will read it.
    if (std::string problems; !prepareTriples(problems)) {
        messageBox_.show(problems + kNothingWritten, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                         platform::kAppTitle);
        return;
    }
    if (!unacknowledged_.empty()) receive_.lblError.setCaption("");
    unacknowledged_.clear();
    unacknowledgedText_.clear();
    purpose_ = Purpose::WriteParams;
    phase_ = Phase::Sending;
    iSetParamsTicks = 0;

    lblCurrentINFO_.setCaption(" Writing parameters......Please wait");
    frmProgressInfo_.show();
    serviceMode_.pressEnterServiceMode();
    iSetParamsProgress = 0;
    edit_.ClearSelection("8.8.8");
    iSetParamsFrame = 1;
    announceStart();
    tmrSetMultipleParams.setEnabled(true);
    tmrSetMultipleParams.setInterval(100);
    bParamAck = true;
    sequence_.abort();
    tmrStatusGET_.setEnabled(false);
    cdmSetParams.setEnabled(false);
    serviceMode_.setNextControllerEnabled(false);
    edit_.setLocked(true);
}

void BulkWrite::announceStart() {
    std::vector<Written> values;
    for (int k = 0; k < table_.bulkRows(); ++k) {
        const ParamRow& row = table_.row(k);
        values.push_back({k, row.sParamID, row.number ? int(*row.number) : 0, row.iParamHi * 256 + row.iParamLo});
    }
    started_.call(values);
}

void BulkWrite::StartRestart() {
    purpose_ = Purpose::RestartOnly;
    phase_ = Phase::Sending;
    iSetParamsTicks = 0;
    iSetParamsProgress = table_.iParamCount;
    edit_.ClearSelection("8.8.8");
    tmrSetMultipleParams.setEnabled(true);
    tmrSetMultipleParams.setInterval(100);
    bParamAck = true;
    sequence_.abort();
    tmrStatusGET_.setEnabled(false);
}

void BulkWrite::ServiceModeReplied() {
    if (!bParamAck) return;
    tmrSetMultipleParams.setInterval(500);
    tmrSetMultipleParams.setEnabled(true);
}

void BulkWrite::tmrSetMultipleParams_Timer() {
    if (iSetParamsProgress <= table_.iParamCount) {
        sendingPhase();
    } else if (phase_ == Phase::Sending) {
        // A fourth frame still unanswered now will not be answered.
        if (purpose_ == Purpose::WriteParams && !bParamAck) unacknowledged_.push_back(frames());
        lblCurrentINFO_.setCaption(" Controller Restarting......Please wait");
        serviceMode_.pressExitServiceMode();
        tmrSetMultipleParams.setInterval(5000);
        phase_ = Phase::Restarting;
    } else {
        tmrStatusGET_.setEnabled(false);
        serviceMode_.pressRefreshNextController();
        cdmSetParams.setEnabled(true);
        serviceMode_.setNextControllerEnabled(true);
        edit_.setLocked(false);
        tmrSetMultipleParams.setEnabled(false);
        phase_ = Phase::Sending;
        reportUnacknowledged();
    }
}

void BulkWrite::Abandon() {
    if (!writing()) return;
    if (phase_ == Phase::Sending) serviceMode_.pressExitServiceMode();
    tmrSetMultipleParams.setEnabled(false);
    phase_ = Phase::Sending;
    cdmSetParams.setEnabled(true);
    serviceMode_.setNextControllerEnabled(true);
    edit_.setLocked(false);
}

// Each frame goes at the first tick after the previous one was acknowledged,
// or once the previous one's wait has run out (the fifth tick without); a
// frame given up is not sent again.
void BulkWrite::sendingPhase() {
    const std::int16_t P = iSetParamsProgress;
    if (iSetParamsTicks < std::numeric_limits<std::int16_t>::max()) ++iSetParamsTicks;
    if (iSetParamsTicks > kFrameWait.ticks) {
        iSetParamsTicks = 0;
        if (P > 0) --iSetParamsProgress;
        if (purpose_ == Purpose::WriteParams && iSetParamsFrame > 1) unacknowledged_.push_back(iSetParamsFrame - 1);
        bParamAck = true;
    }
    if (!bParamAck) return;
    iSetParamsTicks = 0;
    bParamAck = false;
    tmrStatusGET_.setEnabled(false);
    ++iSetParamsProgress;
    // RESTART's pass sends no frame (the bytes prepared are those of an
    // earlier write, or none) and leaves the frame count alone, so every
    // restart runs alike.
    if (purpose_ == Purpose::RestartOnly) return;
    SendSetParamsBlock();
    ++iSetParamsFrame;
    if (iSetParamsFrame > frames()) {
        iSetParamsFrame = 1;
        iSetParamsProgress = static_cast<std::int16_t>(table_.iParamCount + 1);
        lblCurrentINFO_.setCaption(" Controller about to restart......Please wait");
        tmrSetMultipleParams.setInterval(1000);
    }
}

void BulkWrite::SendSetParamsBlock() {
    receive_.ResetReceive();
    if (iSetParamsFrame < 1 || iSetParamsFrame > frames()) return;
    int first = (iSetParamsFrame - 1) * table_.profile().rowsPerFrame;
    int last = std::min(first + table_.profile().rowsPerFrame, table_.bulkRows());
    std::vector<link::ParamWrite> triples;
    for (int k = first; k < last; ++k) {
        const ParamRow& row = table_.row(k);
        triples.push_back({row.number.value_or(0), static_cast<std::uint8_t>(row.iParamHi),
                           static_cast<std::uint8_t>(row.iParamLo)});
    }
    receive_.Send(link::frameWriteParams(triples));
}

// The controller may not hold the values of a frame it did not acknowledge:
// the information bar says which, until the next bulk write.
void BulkWrite::reportUnacknowledged() {
    if (unacknowledged_.empty()) return;
    std::string text = unacknowledged_.size() == 1 ? "Frame " : "Frames ";
    for (std::size_t i = 0; i < unacknowledged_.size(); ++i)
        text += (i ? ", " : "") + std::to_string(unacknowledged_[i]);
    unacknowledgedText_ = text + " not acknowledged";
    receive_.lblError.setCaption(unacknowledgedText_);
}

// Cleared only when every value written is read back as written, and only
// while the information bar still says it; a read that differs keeps it.
void BulkWrite::readBack() {
    if (unacknowledgedText_.empty() || tmrSetMultipleParams.enabled()) return;
    // The read's k-th value is parameter k + 1.
    const std::vector<int>& values = read_.lastRead();
    bool same = true;
    for (int k = 0; same && k < table_.bulkRows(); ++k) {
        const ParamRow& row = table_.row(k);
        same = row.number && *row.number >= 1 && *row.number <= values.size() &&
               values[*row.number - 1u] == row.iParamHi * 256 + row.iParamLo;
    }
    if (same && receive_.lblError.caption() == unacknowledgedText_) receive_.lblError.setCaption("");
    unacknowledgedText_.clear();
}

}  // namespace kv::params
