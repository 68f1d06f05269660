#include "controller/Identity.h"


#include "link/Frames.h"
#include "ui/Text.h"

namespace kv::controller {

using ui::hex2;

Identity::Identity(ui::Window& form, link::FlowState& flow, link::ReceivePath& receive,
                   platform::EventLoop& events, platform::Clock& clock)
    : cdmGETV(form.button("cdmGETV")),
      cmdGetCheckSum(form.button("cmdGetCheckSum")),
      cmdGetConfiguration(form.button("cmdGetConfiguration")),
      cmdGetMACAddress(form.button("cmdGetMACAddress")),
      cmdGetClientID(form.button("cmdGetClientID")),
      cmdGetAssetID(form.button("cmdGetAssetID")),
      lblFWVersion(form.label("lblFWVersion")),
      lblMacAddress(form.label("lblMacAddress")),
      Label1(form.label("Label1")),
      lblClient(form.label(ui::item("lblGetStatus", 3))),
      txtAssetID(form.textBox("txtAssetID")),
      lblCheckSum(form.label("lblCheckSum")),
      lblCounter(form.label("lblCounter")),
      tmrStatusGET(form.timer("tmrStatusGET")),
      flow_(flow),
      receive_(receive),
      events_(events),
      clock_(clock) {
    struct Design {
        ui::Button& button;
        const char* caption;
        bool visible;
        void (Identity::*click)();
    };
    const Design buttons[] = {
        {cdmGETV, "Get FW V", false, &Identity::cdmGETV_Click},
        {cmdGetCheckSum, "GET CC", false, &Identity::cmdGetCheckSum_Click},
        {cmdGetConfiguration, "GET CONFIG", false, &Identity::cmdGetConfiguration_Click},
        {cmdGetMACAddress, "GET MAC Address", false, &Identity::cmdGetMACAddress_Click},
        {cmdGetClientID, "GET CLIENT", false, &Identity::cmdGetClientID_Click},
        {cmdGetAssetID, "GET ASSET", true, &Identity::cmdGetAssetID_Click},
    };
    for (const auto& d : buttons) {
        d.button.setCaption(d.caption);
        d.button.setVisible(d.visible);
        d.button.onClick = [this, click = d.click] { (this->*click)(); };
    }
    cdmGETV.setEnabled(false);

    lblFWVersion.setCaption("Not Connected");
    lblMacAddress.setCaption("BA12345678");
    Label1.setCaption("Serial No.");
    form.label(ui::item("lblHeader", 0)).setCaption("FW Version:");
    form.label(ui::item("lblHeader", 3)).setCaption("ClientID");
    form.label(ui::item("lblHeader", 10)).setCaption("CHECK");
    form.label(ui::item("lblHeader", 11)).setCaption("SUM");
    form.label("lblAsset").setCaption("ASSET");

    using Self = Identity;
    const std::pair<std::uint8_t, void (Self::*)(std::int16_t)> handlers[] = {
        {link::cmdFwVersion, &Self::ParseMsgFWVersion}, {link::cmdChecksum, &Self::ParseMsgGetCheckSum},
        {link::cmdConfig, &Self::ParseMsgGetConfig},    {link::cmdMac, &Self::ParseMsgMACAddress},
        {link::cmdClient, &Self::ParseMsgGetClient},    {link::cmdAsset, &Self::ParseMsgGetAseetID},
    };
    for (auto [code, handler] : handlers)
        receive_.setHandler(code, [this, handler](std::int16_t n) { (this->*handler)(n); });
}

std::uint8_t Identity::byte(int k) const { return receive_.Byte(k); }

void Identity::stepDone(std::int16_t step) {
    if (flow_.iConnectStep == step) flow_.bStepDone = true;
}

// ---- requests ----

void Identity::cdmGETV_Click() {
    receive_.SendRequest(link::frameGetFwVersion());
    tmrStatusGET.setEnabled(false);
}

void Identity::cmdGetCheckSum_Click() {
    receive_.ResetReceive();
    tmrStatusGET.setEnabled(false);
    receive_.Send(link::frameGetChecksum());
    tmrStatusGET.setEnabled(false);
}

void Identity::cmdGetConfiguration_Click() {
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::frameGetConfig());
}

void Identity::cmdGetMACAddress_Click() { receive_.SendRequest(link::frameGetMac()); }

void Identity::cmdGetClientID_Click() {
    events_.doEvents();
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::frameGetClient());
}

void Identity::cmdGetAssetID_Click() {
    events_.doEvents();
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::frameGetAsset());
}

// ---- replies ----

void Identity::ParseMsgFWVersion(std::int16_t n) {
    receive_.WriteDump(n);
    std::string text;
    if (n >= 11) {
        for (int k = 4; k <= 6; ++k) text += static_cast<char>(byte(k));
        text += ' ';
        for (int k = 7; k <= 9; ++k) text += std::to_string(byte(k));
        if (byte(6) == 0x62) flow_.bIdentitySupported = true;
    } else {
        text = "DEV ";
        for (int k = 4; k <= 6 && k <= n; ++k) text += std::to_string(byte(k));
    }
    lblFWVersion.setCaption(text);
    stepDone(1);
}

void Identity::ParseMsgGetCheckSum(std::int16_t n) {
    receive_.WriteDump(n);
    lblCheckSum.setCaption(hex2(byte(4)) + " " + hex2(byte(5)) + " ");
    std::string when = platform::formatLogTime(clock_.now());
    if (txtAssetID.text().empty() && AppendLogRow)
        AppendLogRow({when, lblCheckSum.caption(), lblCounter.caption(), lblFWVersion.caption()});
    stepDone(2);
}

void Identity::ParseMsgGetConfig(std::int16_t n) {
    receive_.WriteDump(n);
    std::string value;
    bool found = false;
    int counter = 0;
    for (int k = 11; k <= link::ReceivePath::LastPosition(n); ++k) {
        if (byte(k) == 0 && !found) {
            found = true;
            counter = 1;
        }
        if (found) {
            // The value travels low byte first; it is shown high byte first.
            if (counter == 13) value = hex2(byte(k)) + " " + hex2(byte(k - 1));
            ++counter;
        }
    }
    lblCheckSum.setCaption(value);
    stepDone(2);
}

void Identity::ParseMsgMACAddress(std::int16_t n) {
    receive_.WriteDump(n);
    std::string mac = " ";
    for (int k = 4; k <= 15 && k <= n; ++k) mac += static_cast<char>(byte(k));
    lblMacAddress.setCaption(mac);
    Label1.setCaption("MAC");
    stepDone(4);
}

void Identity::ParseMsgGetClient(std::int16_t n) {
    receive_.WriteDump(n);
    std::string client = " ";
    for (int k = 4; k <= 6; ++k) client += static_cast<char>(byte(k));
    lblClient.setCaption(client);
    if (flow_.iAutoStep == 2) flow_.bAutoReplied = true;
    stepDone(5);
}

void Identity::ParseMsgGetAseetID(std::int16_t n) {
    receive_.WriteDump(n);
    // The asset is the payload less its last two bytes.
    std::string asset = " ";
    int length = byte(3);
    for (int k = 4; k <= length + 1 && k <= link::ReceivePath::LastPosition(n); ++k) asset += static_cast<char>(byte(k));
    txtAssetID.setText(asset);
    if (flow_.iAutoStep == 1) flow_.bAutoReplied = true;
    stepDone(6);
}

}  // namespace kv::controller
