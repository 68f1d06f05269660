#include "controller/Identity.h"


#include "link/Requests.h"
#include "link/Profile.h"
#include "ui/Text.h"

namespace kv::controller {

using ui::hex2;

Identity::Identity(ui::Window& form, link::ReceivePath& receive, link::PortSession& session,
                   link::Indicators& indicators, ui::Timer& tmrStatusGET, const link::Profile& profile,
                   const BatchCounter& counter,
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
      tmrStatusGET(tmrStatusGET),
      receive_(receive),
      profile_(profile),
      counter_(counter),
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
    // Asking for the firmware needs the port open.
    session.listen([this](link::PortSession::Event e) {
        using Event = link::PortSession::Event;
        if (e == Event::Opened || e == Event::Reopened) cdmGETV.setEnabled(true);
        else if (e == Event::Lost) cdmGETV.setEnabled(false);
    });
    indicators.listenStopped([this] { cdmGETV.setEnabled(false); });

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
    for (const auto& entry : handlers) {
        auto handler = entry.second;
        receive_.setHandler(entry.first, [this, handler](std::int16_t n) { (this->*handler)(n); });
    }
}

std::uint8_t Identity::byte(int k) const { return receive_.Byte(k); }

// ---- requests ----

void Identity::cdmGETV_Click() {
    receive_.SendRequest(link::query<link::cmdFwVersion>(profile_));
    tmrStatusGET.setEnabled(false);
}

void Identity::cmdGetCheckSum_Click() {
    receive_.ResetReceive();
    tmrStatusGET.setEnabled(false);
    receive_.Send(link::query<link::cmdChecksum>(profile_));
    tmrStatusGET.setEnabled(false);
}

void Identity::cmdGetConfiguration_Click() {
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::query<link::cmdConfig>(profile_));
}

void Identity::cmdGetMACAddress_Click() { receive_.SendRequest(link::query<link::cmdMac>(profile_)); }

void Identity::cmdGetClientID_Click() {
    events_.doEvents();
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::query<link::cmdClient>(profile_));
}

void Identity::cmdGetAssetID_Click() {
    events_.doEvents();
    tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::query<link::cmdAsset>(profile_));
}

// ---- replies ----

void Identity::ParseMsgFWVersion(std::int16_t n) {
    receive_.WriteDump(n);
    std::string text;
    bool supported = false;
    if (n >= 11) {
        for (int k = 4; k <= 6; ++k) text += static_cast<char>(byte(k));
        text += ' ';
        for (int k = 7; k <= 9; ++k) text += std::to_string(byte(k));
        supported = profile_.supports(byte(6));
    } else {
        text = "DEV ";
        for (int k = 4; k <= 6 && k <= link::ReceivePath::ReplyEnd(n); ++k) text += std::to_string(byte(k));
    }
    lblFWVersion.setCaption(text);
    readings_.firmware = text;
    receive_.Replied(supported ? link::Reply::FwVersionSupported : link::Reply::FwVersion);
}

void Identity::ParseMsgGetCheckSum(std::int16_t n) {
    receive_.WriteDump(n);
    // A reply too short for the checksum leaves the label as it was, and its
    // log row has no checksum: nothing shown or logged is left over from an
    // earlier reply.
    std::string checksum;
    if (link::ReceivePath::ReplyEnd(n) >= 5) {
        checksum = hex2(byte(4)) + " " + hex2(byte(5)) + " ";
        lblCheckSum.setCaption(checksum);
        readings_.checksum = checksum;
    }
    std::string when = platform::formatLogTime(clock_.now());
    if (txtAssetID.text().empty() && AppendLogRow)
        AppendLogRow({when, checksum, counter_.lblCounter.caption(), lblFWVersion.caption()});
    receive_.Replied(link::Reply::Checksum);
}

void Identity::ParseMsgGetConfig(std::int16_t n) {
    receive_.WriteDump(n);
    std::string value;
    bool found = false;
    int counter = 0;
    for (int k = 11; k <= link::ReceivePath::ReplyEnd(n); ++k) {
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
    readings_.checksum = value;
    receive_.Replied(link::Reply::Config);
}

void Identity::ParseMsgMACAddress(std::int16_t n) {
    receive_.WriteDump(n);
    std::string mac = " ";
    for (int k = 4; k <= 15 && k <= link::ReceivePath::ReplyEnd(n); ++k) mac += static_cast<char>(byte(k));
    lblMacAddress.setCaption(mac);
    Label1.setCaption("MAC");
    readings_.mac = mac.substr(1);
    receive_.Replied(link::Reply::Mac);
}

void Identity::ParseMsgGetClient(std::int16_t n) {
    receive_.WriteDump(n);
    // A reply too short for the three characters leaves the label as it was.
    if (link::ReceivePath::ReplyEnd(n) >= 6) {
        std::string client = " ";
        for (int k = 4; k <= 6; ++k) client += static_cast<char>(byte(k));
        lblClient.setCaption(client);
        readings_.client = client.substr(1);
    }
    receive_.Replied(link::Reply::Client);
}

void Identity::ParseMsgGetAseetID(std::int16_t n) {
    receive_.WriteDump(n);
    // The asset is the payload less its last two bytes.
    std::string asset = " ";
    int length = byte(3);
    for (int k = 4; k <= length + 1 && k <= link::ReceivePath::ReplyEnd(n); ++k) asset += static_cast<char>(byte(k));
    txtAssetID.setText(asset);
    readings_.asset = asset.substr(1);
    receive_.Replied(link::Reply::Asset);
}

}  // namespace kv::controller
