#include "controller/AutoSetting.h"

#include <optional>

namespace kv::controller {

namespace {
// The request whose reply a step waits for; none for a step that waits for none.
constexpr std::optional<link::Command> awaited(AutoSetting::Step step) {
    switch (step) {
        case AutoSetting::Step::Asset: return link::cmdAsset;
        case AutoSetting::Step::Client: return link::cmdClient;
        case AutoSetting::Step::Params: return link::cmdReadParams;
        case AutoSetting::Step::Idle:
        case AutoSetting::Step::Apply: break;
    }
    return std::nullopt;
}
// A step whose answer does not come is issued again: its request says so.
static_assert([] {
    for (auto s : {AutoSetting::Step::Asset, AutoSetting::Step::Client, AutoSetting::Step::Params})
        if (link::row(*awaited(s)).wait.then != link::Wait::Resend) return false;
    return true;
}());
}  // namespace

AutoSetting::AutoSetting(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ReceivePath& receive,
                         Identity& identity, IdentityWrite& write, params::ParamRead& read, params::BulkWrite& bulk,
                         SetControls& setControls, AssetCheck& check, ui::Timer& tmrStatusGET,
                         platform::EventLoop& events)
    : tmrSetAutoAssetClientParam(form.timer("tmrSetAutoAssetClientParam")),
      tmrCheckController(form.timer("tmrCheckController")),
      frmProgressInfo_(frmProgressInfo),
      lblCurrentINFO_(lblCurrentINFO),
      identity_(identity),
      write_(write),
      read_(read),
      bulk_(bulk),
      setControls_(setControls),
      check_(check),
      tmrStatusGET_(tmrStatusGET),
      events_(events) {
    tmrSetAutoAssetClientParam.setInterval(kTickMs);
    tmrSetAutoAssetClientParam.onTick = [this] { tmrSetAutoAssetClientParam_Timer(); };
    tmrCheckController.setInterval(kCheckMs);
    tmrCheckController.onTick = [this] {
        tmrCheckController.setEnabled(false);
        // Only while the next step has not gone yet: never two requests out.
        if ((iAutoStep == Step::Asset || iAutoStep == Step::Client) && bAutoReplied)
            identity_.cmdGetMACAddress.press();
    };
    identity_.txtAssetID.onKeyPress = [this](std::int16_t& k) { txtAssetID_KeyPress(k); };
    receive.listenReplies([this](link::Reply r) { replied(r); });
    write_.listenWrites([this](IdentityWrite::Field f, const std::string&) {
        (f == IdentityWrite::Field::Asset ? assetSent_ : clientSent_) = true;
    });
}

// The answers each step waits for: the reply to its request, or the set
// button's own word that it had nothing to send.
void AutoSetting::replied(link::Reply r) {
    using link::Reply;
    Step answers = Step::Idle;
    switch (r) {
        case Reply::Asset:
            if (!assetSent_) return;
            answers = Step::Asset;
            break;
        case Reply::AssetNotSent: answers = Step::Asset; break;
        case Reply::Client:
            if (!clientSent_) return;
            answers = Step::Client;
            break;
        case Reply::ClientNotSent: answers = Step::Client; break;
        case Reply::Params: answers = Step::Params; break;
        default: return;
    }
    if (iAutoStep != answers) return;
    bAutoReplied = true;
    if (r == Reply::Asset || r == Reply::Client) tmrCheckController.setEnabled(true);
}

void AutoSetting::txtAssetID_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii != 13 || identity_.txtAssetID.text().empty()) return;
    // Typed into the box rather than scanned in the dialog: asked about as a
    // scan is, then started with what the technician agreed to.
    if (!check_.approved(identity_.txtAssetID.text())) {
        if (check_.asking()) return;
        check_.Check(identity_.txtAssetID.text(), platform::kAppTitle,
                     [this](const std::string& asset, const std::string&) {
                         identity_.txtAssetID.setText(asset);
                         std::int16_t enter = 13;
                         txtAssetID_KeyPress(enter);
                     },
                     {});
        return;
    }
    runAsset_ = identity_.txtAssetID.text();
    tmrStatusGET_.setEnabled(false);
    frmProgressInfo_.show();
    lblCurrentINFO_.setCaption(" Setting Client and Asset...");
    frmProgressInfo_.refresh();
    events_.doEvents();
    setControls_.DisableSetControls();
    tmrSetAutoAssetClientParam.setEnabled(true);
    bAutoReplied = true;
    iAutoTicks = 0;
}

void AutoSetting::abort() {
    tmrSetAutoAssetClientParam.setEnabled(false);
    tmrCheckController.setEnabled(false);
    iAutoStep = Step::Idle;
    bAutoReplied = false;
}

void AutoSetting::tmrSetAutoAssetClientParam_Timer() {
    auto moved = [](Step s, int by) { return static_cast<Step>(static_cast<std::int16_t>(s) + by); };
    if (const auto out = awaited(iAutoStep); out && iAutoTicks > link::row(*out).wait.ticks) {
        iAutoTicks = 0;
        iAutoStep = moved(iAutoStep, -1);
        bAutoReplied = true;  // the step last issued is issued again below
    }
    if (iAutoTicks < INT16_MAX) ++iAutoTicks;
    if (!bAutoReplied) return;
    iAutoTicks = 0;
    iAutoStep = moved(iAutoStep, 1);
    bAutoReplied = false;
    issue(iAutoStep);
}

void AutoSetting::issue(Step step) {
    switch (step) {
        case Step::Asset:
            assetSent_ = false;
            if (!runAsset_.empty() && identity_.txtAssetID.text() != runAsset_) identity_.txtAssetID.setText(runAsset_);
            write_.cmdSetAssetID.press();
            events_.doEvents();
            break;
        case Step::Client:
            clientSent_ = false;
            write_.cmdSetClientID.press();
            events_.doEvents();
            break;
        case Step::Params:
            tmrSetAutoAssetClientParam.setEnabled(false);
            tmrSetAutoAssetClientParam.setInterval(kParamTickMs);
            read_.cmdGetParams.press();
            lblCurrentINFO_.setCaption(" Retrieving Params.... Please Wait");
            events_.doEvents();
            tmrSetAutoAssetClientParam.setEnabled(true);
            break;
        case Step::Apply:
            tmrSetAutoAssetClientParam.setEnabled(false);
            tmrSetAutoAssetClientParam.setInterval(kTickMs);
            bulk_.cdmSetParams.press();
            events_.doEvents();
            iAutoStep = Step::Idle;
            // APPLY PARAMS can refuse (the port closed, a table it cannot
            // write): the technician gets the controls back to put it right,
            // instead of a window with everything switched off.
            if (!bulk_.tmrSetMultipleParams.enabled()) {
                setControls_.EnableSetControls();
                frmProgressInfo_.hide();
            }
            break;
        case Step::Idle: break;
    }
}

}  // namespace kv::controller
