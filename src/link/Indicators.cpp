#include "link/Indicators.h"

#include <algorithm>
#include <cctype>

namespace kv::link {

namespace {
const char* const kLampPictures[] = {"line_off", "line_on", "activity_idle", "activity"};
}

Indicators::Indicators(ui::Window& form, platform::SerialPort& port)
    : lblPort(form.label("lblPort")),
      lblOpen(form.label("lblOpen")),
      lblMode(form.label("lblMode")),
      lblError(form.label("lblError")),
      lblSettings(form.label("lblSettings")),
      picInfo(form.frame("picInfo")),
      picLED(form.frame("picLED")),
      imgCD(form.image("imgCD")),
      imgCTS(form.image("imgCTS")),
      imgDSR(form.image("imgDSR")),
      imgRTS(form.image("imgRTS")),
      imgDTR(form.image("imgDTR")),
      imgRx(form.image("imgRx")),
      imgTx(form.image("imgTx")),
      tmrRxLED(form.timer("tmrRxLED")),
      tmrTxLED(form.timer("tmrTxLED")),
      form_(form),
      port_(port) {
    lblPort.setCaption("lblPort");
    lblOpen.setCaption("lblOpen");
    lblMode.setCaption("lblMode");
    lblError.setCaption("lblError");
    lblSettings.setCaption("lblSettings");
    const std::pair<ui::Image*, const char*> lamps[] = {{&imgCD, "CD"},   {&imgCTS, "CTS"}, {&imgDSR, "DSR"},
                                                        {&imgRTS, "RTS"}, {&imgDTR, "DTR"}, {&imgRx, "Rx"},
                                                        {&imgTx, "Tx"}};
    for (auto [lamp, text] : lamps) {
        lamp->setCaption(text);
        lamp->setPicture(kLampPictures[kLineOff]);
    }
    for (int i = 0; i < 4; ++i) {
        ui::Image& source = form.image(ui::item("imgLed", i));
        source.setPicture(kLampPictures[i]);
        source.setVisible(false);
    }
    tmrRxLED.setInterval(100);
    tmrTxLED.setInterval(100);
    imgDTR.onClick = [this] { imgDTR_Click(); };
    imgRTS.onClick = [this] { imgRTS_Click(); };
    tmrRxLED.onTick = [this] { tmrRxLED_Timer(); };
    tmrTxLED.onTick = [this] { tmrTxLED_Timer(); };
}

void Indicators::showLamp(ui::Image& lamp, int index) {
    lamp.setPicture(form_.image(ui::item("imgLed", index)).picture());
}

void Indicators::ShowModemLines() {
    auto line = [](bool on) { return on ? kLineOn : kLineOff; };
    showLamp(imgCD, line(port_.CDHolding()));
    showLamp(imgCTS, line(port_.CTSHolding()));
    showLamp(imgDSR, line(port_.DSRHolding()));
    showLamp(imgRTS, line(port_.RTSEnable()));
    showLamp(imgDTR, line(port_.DTREnable()));
}

void Indicators::ShowInfo() {
    std::string settings = port_.Settings();
    std::transform(settings.begin(), settings.end(), settings.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    lblSettings.setCaption(settings);
    lblPort.setCaption("Port " + std::to_string(port_.CommPort()));
    lblOpen.setCaption(port_.PortOpen() ? "Open" : "Closed");
    lblError.setCaption("");
    ShowModemLines();
}

void Indicators::imgDTR_Click() {
    port_.setDTREnable(!port_.DTREnable());
    ShowModemLines();
}

void Indicators::imgRTS_Click() {
    port_.setRTSEnable(!port_.RTSEnable());
    ShowModemLines();
}

void Indicators::blink(ui::Image& lamp, ui::Timer& timer, bool lit) {
    showLamp(lamp, lit ? kActivity : kActivityIdle);
    timer.setEnabled(lit);
}

void Indicators::BlinkRx() { blink(imgRx, tmrRxLED, true); }
void Indicators::BlinkTx() { blink(imgTx, tmrTxLED, true); }
void Indicators::tmrRxLED_Timer() { blink(imgRx, tmrRxLED, false); }
void Indicators::tmrTxLED_Timer() { blink(imgTx, tmrTxLED, false); }

}  // namespace kv::link
