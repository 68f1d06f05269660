#include "link/Indicators.h"

#include <algorithm>
#include <cctype>

namespace kv::link {

namespace {
const char* const kLampPictures[] = {"line_off", "line_on", "activity_idle", "activity"};
}

Indicators::Indicators(ui::Window& form, PortSession& session)
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
      tmrClearError(form.timer("tmrClearError")),
      cmdSTOPComms(form.button("cmdSTOPComms")),
      form_(form),
      session_(session) {
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
    tmrClearError.setInterval(1000);
    tmrClearError.onTick = [this] { tmrClearError_Timer(); };
    cmdSTOPComms.setCaption("STOP");
    cmdSTOPComms.setEnabled(false);
    cmdSTOPComms.onClick = [this] { cmdSTOPComms_Click(); };
    session_.listen([this](PortSession::Event e) { portChanged(e); });
}

void Indicators::cmdSTOPComms_Click() {
    if (session_.isOpen()) {
        session_.close();
        stopped_.call();
        return;
    }
    (void)session_.open();  // the outcome reaches portChanged
}

void Indicators::offerStart() {
    if (!session_.isOpen()) cmdSTOPComms.setCaption("START");
    cmdSTOPComms.setEnabled(true);
}

void Indicators::portChanged(PortSession::Event e) {
    using Event = PortSession::Event;
    switch (e) {
        case Event::Opened:
        case Event::Reopened:
            cmdSTOPComms.setCaption("STOP");
            lblOpen.setCaption("Open");
            ShowModemLines();
            // An error of the port's past does not outlive it.
            tmrClearError.setEnabled(false);
            lblError.setCaption(e == Event::Reopened ? "Port back" : "");
            break;
        case Event::OpenFailed:
            cmdSTOPComms.setCaption("START");
            lblError.setCaption(OpenFailureText(session_.lastError()));
            break;
        case Event::Closed:
            cmdSTOPComms.setCaption("START");
            lblOpen.setCaption("Closed");
            break;
        case Event::Lost:
            cmdSTOPComms.setCaption("START");
            lblOpen.setCaption("Closed");
            ShowModemLines();
            lblError.setCaption("Port lost");
            break;
    }
}

std::string Indicators::OpenFailureText(platform::OpenError error) {
    switch (error) {
        case platform::OpenError::Busy: return "Port busy";
        case platform::OpenError::Absent: return "No such port";
        case platform::OpenError::PermissionDenied: return "Permission denied";
        default: return "Cannot open port";
    }
}

void Indicators::tmrClearError_Timer() {
    lblError.setCaption("");
    tmrClearError.setEnabled(false);
}

void Indicators::ShowError(const std::string& text) {
    lblError.setCaption(text);
    tmrClearError.setEnabled(true);
}

void Indicators::showLamp(ui::Image& lamp, int index) {
    lamp.setPicture(form_.image(ui::item("imgLed", index)).picture());
}

void Indicators::ShowModemLines() {
    auto line = [](bool on) { return on ? kLineOn : kLineOff; };
    const PortSession::ModemLines lines = session_.modemLines();
    showLamp(imgCD, line(lines.cd));
    showLamp(imgCTS, line(lines.cts));
    showLamp(imgDSR, line(lines.dsr));
    showLamp(imgRTS, line(lines.rts));
    showLamp(imgDTR, line(lines.dtr));
}

void Indicators::ShowInfo() {
    const platform::PortConfig config = session_.config();
    std::string settings = config.line.text();
    std::transform(settings.begin(), settings.end(), settings.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    lblSettings.setCaption(settings);
    lblPort.setCaption("Port " + std::to_string(config.number));
    lblOpen.setCaption(session_.isOpen() ? "Open" : "Closed");
    lblError.setCaption("");
    ShowModemLines();
}

void Indicators::imgDTR_Click() {
    session_.setDtr(!session_.modemLines().dtr);
    ShowModemLines();
}

void Indicators::imgRTS_Click() {
    session_.setRts(!session_.modemLines().rts);
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
