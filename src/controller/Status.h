#pragma once
// The live status reply: four on/off outputs, the door and three temperatures,
// shown in the status labels and, for the first temperature, on the front
// panel's display.
#include <cstdint>
#include <string>

#include "link/ReceivePath.h"
#include "params/ParamEdit.h"
#include "platform/Clock.h"
#include "ui/Window.h"

namespace kv::controller {

class Status {
public:
    // The front panel's display is the parameter panel's.
    Status(ui::Window& form, link::ReceivePath& receive, params::ParamEdit& panel, const platform::Locale& locale);

    void cmdGetStatus_Click();
    void ParseMsgSensorData(std::int16_t sNumberOfBytes);

    ui::Button& cmdGetStatus;
    ui::Label& lblSettingValue;
    ui::Label& lblSettingParam;
    ui::Label& lblGetStatus(int i) { return *lblGetStatus_[static_cast<std::size_t>(i)]; }

private:
    link::ReceivePath& receive_;
    const platform::Locale& locale_;
    ui::Label* lblGetStatus_[9];
};

// A temperature from its high and low byte: "---" when h >= 100 or l = 0,
// else (h*256 + l - 300) / 10 with one decimal after `decimalPoint`.
std::string formatReading(std::uint8_t high, std::uint8_t low, const std::string& decimalPoint = ".");

}  // namespace kv::controller
