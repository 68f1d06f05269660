#include "controller/AutoSetting.h"

namespace kv::controller {

AutoSetting::AutoSetting(ui::Window& form, ui::Window& frmProgressInfo, link::ReceivePath& receive,
                         Identity& identity, IdentityWrite& write, params::ParamRead& read, params::BulkWrite& bulk,
                         SetControls& setControls, AssetCheck& check, ui::Timer& tmrStatusGET,
                         platform::EventLoop& events)
    : tmrSetAutoAssetClientParam(form.timer("tmrSetAutoAssetClientParam")),
      tmrCheckController(form.timer("tmrCheckController")),
      frmProgressInfo_(frmProgressInfo),
      lblCurrentINFO_(frmProgressInfo.label("lblCurrentINFO")),
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
        if ((iAutoStep == 1 || iAutoStep == 2) && bAutoReplied) identity_.cmdGetMACAddress.press();
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
    std::int16_t answers = 0;
    switch (r) {
        case Reply::Asset:
            if (!assetSent_) return;
            answers = 1;
            break;
        case Reply::AssetNotSent: answers = 1; break;
        case Reply::Client:
            if (!clientSent_) return;
            answers = 2;
            break;
        case Reply::ClientNotSent: answers = 2; break;
        case Reply::Params: answers = 3; break;
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

void AutoSetting::tmrSetAutoAssetClientParam_Timer() {
    if (iAutoTicks > kRetryTicks && iAutoStep >= 1 && iAutoStep <= 3) {
        iAutoTicks = 0;
        --iAutoStep;
        bAutoReplied = true;  // the step last issued is issued again below
    }
    if (iAutoTicks < INT16_MAX) ++iAutoTicks;
    if (!bAutoReplied) return;
    iAutoTicks = 0;
    ++iAutoStep;
    bAutoReplied = false;
    issue(iAutoStep);
}

void AutoSetting::issue(std::int16_t step) {
    switch (step) {
        case 1:
            assetSent_ = false;
            if (!runAsset_.empty() && identity_.txtAssetID.text() != runAsset_) identity_.txtAssetID.setText(runAsset_);
            write_.cmdSetAssetID.press();
            events_.doEvents();
            break;
        case 2:
            clientSent_ = false;
            write_.cmdSetClientID.press();
            events_.doEvents();
            break;
        case 3:
            tmrSetAutoAssetClientParam.setEnabled(false);
            tmrSetAutoAssetClientParam.setInterval(kParamTickMs);
            read_.cmdGetParams.press();
            lblCurrentINFO_.setCaption(" Retrieving Params.... Please Wait");
            events_.doEvents();
            tmrSetAutoAssetClientParam.setEnabled(true);
            break;
        case 4:
            tmrSetAutoAssetClientParam.setEnabled(false);
            tmrSetAutoAssetClientParam.setInterval(kTickMs);
            bulk_.cdmSetParams.press();
            events_.doEvents();
            iAutoStep = 0;
            // APPLY PARAMS can refuse (the port closed, a table it cannot
            // write): the technician gets the controls back to put it right,
            // instead of a window with everything switched off.
            if (!bulk_.tmrSetMultipleParams.enabled()) {
                setControls_.EnableSetControls();
                frmProgressInfo_.hide();
            }
            break;
        default: break;  // a step above 4 cannot arise
    }
}

}  // namespace kv::controller
