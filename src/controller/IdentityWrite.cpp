#include "controller/IdentityWrite.h"

#include <algorithm>

#include "link/Frames.h"

namespace kv::controller {

IdentityWrite::IdentityWrite(ui::Window& form, link::ReceivePath& receive, Identity& identity, Status& status,
                             BatchCounter& counter, ui::Timer& tmrStatusGET, AssetDialog& assetDialog,
                             AssetCheck& assetCheck, const link::FlowState& flows, const link::PortSession& port,
                             platform::EventLoop& events, platform::Beep& beep)
    : cmdSetAssetID(form.button("cmdSetAssetID")),
      cmdSetClientID(form.button("cmdSetClientID")),
      txtSetClient(form.textBox("txtSetClient")),
      txtSetCounter(form.textBox("txtSetCounter")),
      cmdSetCounter(form.button("cmdSetCounter")),
      receive_(receive),
      identity_(identity),
      status_(status),
      counter_(counter),
      tmrStatusGET_(tmrStatusGET),
      assetDialog_(assetDialog),
      assetCheck_(assetCheck),
      flows_(flows),
      port_(port),
      events_(events),
      beep_(beep) {
    cmdSetAssetID.setCaption("SET ASSET");
    cmdSetClientID.setCaption("SET CLIENT");
    cmdSetCounter.setCaption("SET COUNTER");
    txtSetCounter.setText("1");
    cmdSetAssetID.onClick = [this] { cmdSetAssetID_Click(); };
    cmdSetClientID.onClick = [this] { cmdSetClientID_Click(); };
    cmdSetCounter.onClick = [this] { cmdSetCounter_Click(); };
    txtSetCounter.onKeyPress = [this](std::int16_t& k) { txtSetCounter_KeyPress(k); };
    txtSetClient.onKeyPress = [this](std::int16_t& k) { txtSetClient_KeyPress(k); };
}

void IdentityWrite::cmdSetAssetID_Click() {
    events_.doEvents();
    const std::string& text = identity_.txtAssetID.text();
    if (text.empty()) {
        // Nothing to send, so no reply will come: a waiting flow goes on.
        receive_.Replied(link::Reply::AssetNotSent);
        return;
    }
    // An asset nobody agreed to yet (typed into the box, SET ASSET pressed)
    // is asked about first; the answer presses SET ASSET again.
    if (!assetCheck_.approved(text)) {
        if (!assetCheck_.asking())
            assetCheck_.Check(text, platform::kAppTitle, [this](const std::string& asset, const std::string&) {
                identity_.txtAssetID.setText(asset);
                cmdSetAssetID_Click();
            }, {});
        return;
    }
    std::string asset = text.substr(0, std::min(text.size(), AssetCheck::kMaxAsset));
    tmrStatusGET_.setEnabled(false);
    receive_.ResetReceive();
    if (!port_.isOpen()) return;
    receive_.Send(link::frameSetAsset(asset));
    writes_.call(Field::Asset, asset);
}

void IdentityWrite::cmdSetClientID_Click() {
    events_.doEvents();
    const std::string& text = txtSetClient.text();
    if (text.size() < 3) {
        receive_.Replied(link::Reply::ClientNotSent);
        return;
    }
    std::string client = text.substr(0, 3);
    tmrStatusGET_.setEnabled(false);
    receive_.ResetReceive();
    if (!port_.isOpen()) return;
    receive_.Send(link::frameSetClient(client));
    writes_.call(Field::Client, client);
}

void IdentityWrite::cmdSetCounter_Click() {
    assetDialog_.Open();
    counter_.Set(txtSetCounter.text());
    status_.lblGetStatus(6).setCaption("");
    status_.lblGetStatus(7).setCaption("");
}

// Digits, Backspace, Tab, code 12 and the characters % & ' ( . pass; any
// other key is swallowed with a beep.
void IdentityWrite::txtSetCounter_KeyPress(std::int16_t& keyAscii) {
    if (refuseDuringFlow(keyAscii)) return;
    const bool digit = keyAscii >= 48 && keyAscii <= 57;
    const bool allowed = keyAscii == 8 || keyAscii == 9 || keyAscii == 12 || (keyAscii >= 37 && keyAscii <= 40) ||
                         keyAscii == 46;
    if (digit || allowed) return;
    keyAscii = 0;
    beep_.beep();
}

void IdentityWrite::txtSetClient_KeyPress(std::int16_t& keyAscii) { (void)refuseDuringFlow(keyAscii); }

bool IdentityWrite::refuseDuringFlow(std::int16_t& keyAscii) {
    if (!flows_.Provisioning() || keyAscii == 9) return false;
    keyAscii = 0;
    beep_.beep();
    return true;
}

}  // namespace kv::controller
