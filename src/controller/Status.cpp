#include "controller/Status.h"

#include <cstdlib>

#include "link/Requests.h"
#include "ui/Text.h"

namespace kv::controller {

std::string formatReading(std::uint8_t high, std::uint8_t low, const std::string& decimalPoint) {
    if (high >= 100 || low == 0) return "---";
    int tenths = high * 256 + low - 300;
    std::string sign = tenths < 0 ? "-" : "";
    int magnitude = std::abs(tenths);
    return sign + std::to_string(magnitude / 10) + decimalPoint + std::to_string(magnitude % 10);
}

Status::Status(ui::Window& form, link::ReceivePath& receive, params::ParamEdit& panel, const platform::Locale& locale)
    : cmdGetStatus(form.button("cmdGetStatus")),
      lblSettingValue(panel.lblSettingValue),
      lblSettingParam(panel.lblSettingParam),
      receive_(receive),
      locale_(locale) {
    cmdGetStatus.setCaption("GET STATUS");
    cmdGetStatus.setVisible(false);
    cmdGetStatus.onClick = [this] { cmdGetStatus_Click(); };

    for (int i = 0; i < 9; ++i) {
        lblGetStatus_[i] = &form.label(ui::item("lblGetStatus", i));
        lblGetStatus_[i]->setCaption(i == 6 ? "None" : "---");
        lblGetStatus_[i]->setVisible(i == 3 || i == 4);
    }
    const std::pair<int, const char*> headers[] = {{2, "HT Temp"}, {4, "Asset ID"},
                                                   {5, "Fan"},       {6, "Light"},   {7, "Alarms"},
                                                   {8, "Door"},      {9, "Heater"}};
    for (auto [i, caption] : headers) {
        ui::Label& header = form.label(ui::item("lblHeader", i));
        header.setCaption(caption);
        header.setVisible(i == 4);
    }
    lblSettingValue.setCaption("8.8.8");
    lblSettingParam.setCaption("--");

    receive_.setHandler(link::cmdStatus, [this](std::int16_t n) { ParseMsgSensorData(n); });
}

void Status::cmdGetStatus_Click() { receive_.SendRequest(link::query<link::cmdStatus>(receive_.profile())); }

void Status::ParseMsgSensorData(std::int16_t n) {
    auto at = [this](int k) { return receive_.Byte(k); };
    std::string dump;
    for (int k = 1; k <= link::ReceivePath::LastPosition(n); ++k) {
        // Fields beyond the reply keep their text; the dump shows the
        // position after it as well.
        switch (k > link::ReceivePath::ReplyEnd(n) ? 0 : k) {
            case 4: lblGetStatus(3).setCaption(at(k) ? "ON" : "OFF"); break;
            case 5: lblGetStatus(4).setCaption(at(k) ? "ON" : "OFF"); break;
            case 6: lblGetStatus(5).setCaption(at(k) ? "ON" : "OFF"); break;
            case 10: lblGetStatus(8).setCaption(at(k) ? "ON" : "OFF"); break;
            case 11: lblGetStatus(7).setCaption(at(k) ? "OPEN" : "CLOSED"); break;
            case 13:
            case 15:
            case 17: {
                std::string reading = formatReading(at(k - 1), at(k), locale_.decimalPoint());
                lblGetStatus((k - 13) / 2).setCaption(reading);
                if (k == 13 && reading != "---") {
                    lblSettingValue.setCaption(reading);
                    lblSettingParam.setCaption("--");
                }
                break;
            }
            default: break;
        }
        dump += " " + ui::hex2(at(k));
    }
    receive_.Text1.setText(dump);
    receive_.Replied(link::Reply::Status);
}

}  // namespace kv::controller
