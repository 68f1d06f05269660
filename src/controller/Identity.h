#pragma once
// The identity queries (firmware version, checksum, configuration, MAC,
// client, asset) and the handlers that show their replies. The checksum reply
// also writes the provisioning log row.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controller/BatchCounter.h"
#include "link/Indicators.h"
#include "link/ReceivePath.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::controller {

class Identity {
public:
    Identity(ui::Window& form, link::ReceivePath& receive, link::PortSession& session, link::Indicators& indicators,
             ui::Timer& tmrStatusGET, const link::Profile& profile, const BatchCounter& counter,
             platform::EventLoop& events, platform::Clock& clock);

    // What the controller said in its latest replies, as shown (the MAC,
    // client and asset without the leading space the displays add).
    struct Readings {
        std::string firmware, checksum, mac, client, asset;
    };
    const Readings& readings() const { return readings_; }

    // Writes one row of the provisioning log (time, checksum, counter, firmware).
    std::function<void(const std::vector<std::string>& fields)> AppendLogRow;

    void cdmGETV_Click();
    void cmdGetCheckSum_Click();
    void cmdGetConfiguration_Click();
    void cmdGetMACAddress_Click();
    void cmdGetClientID_Click();
    void cmdGetAssetID_Click();

    void ParseMsgFWVersion(std::int16_t sNumberOfBytes);
    void ParseMsgGetCheckSum(std::int16_t sNumberOfBytes);
    void ParseMsgGetConfig(std::int16_t sNumberOfBytes);
    void ParseMsgMACAddress(std::int16_t sNumberOfBytes);
    void ParseMsgGetClient(std::int16_t sNumberOfBytes);
    void ParseMsgGetAseetID(std::int16_t sNumberOfBytes);

    ui::Button& cdmGETV;
    ui::Button& cmdGetCheckSum;
    ui::Button& cmdGetConfiguration;
    ui::Button& cmdGetMACAddress;
    ui::Button& cmdGetClientID;
    ui::Button& cmdGetAssetID;
    ui::Label& lblFWVersion;
    ui::Label& lblMacAddress;
    ui::Label& Label1;
    ui::Label& lblClient;  // lblGetStatus(3)
    ui::TextBox& txtAssetID;
    ui::Label& lblCheckSum;
    ui::Timer& tmrStatusGET;

private:
    std::uint8_t byte(int k) const;

    Readings readings_;
    link::ReceivePath& receive_;
    const link::Profile& profile_;
    const BatchCounter& counter_;
    platform::EventLoop& events_;
    platform::Clock& clock_;
};

}  // namespace kv::controller
