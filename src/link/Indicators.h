#pragma once
// The information bar of the main window: port, settings, open state, receive
// mode, last line error, and seven lamps for the modem lines and activity.
#include "platform/SerialPort.h"
#include "ui/Window.h"

namespace kv::link {

class Indicators {
public:
    Indicators(ui::Window& form, platform::SerialPort& port);

    // Lamp pictures, kept in the image array imgLed.
    static constexpr int kLineOff = 0, kLineOn = 1, kActivityIdle = 2, kActivity = 3;

    // Refreshes the five line lamps from the port.
    void ShowModemLines();
    // Port, settings, open state; clears the error; refreshes the lamps.
    void ShowInfo();

    void imgDTR_Click();
    void imgRTS_Click();

    // Activity blink: lit now, idle again at the next tick of its timer.
    void BlinkRx();
    void BlinkTx();
    void tmrRxLED_Timer();
    void tmrTxLED_Timer();

    // Copies picture `index` of imgLed into a lamp.
    void showLamp(ui::Image& lamp, int index);

    ui::Label& lblPort;
    ui::Label& lblOpen;
    ui::Label& lblMode;
    ui::Label& lblError;
    ui::Label& lblSettings;
    ui::Frame& picInfo;
    ui::Frame& picLED;
    ui::Image& imgCD;
    ui::Image& imgCTS;
    ui::Image& imgDSR;
    ui::Image& imgRTS;
    ui::Image& imgDTR;
    ui::Image& imgRx;
    ui::Image& imgTx;
    ui::Timer& tmrRxLED;
    ui::Timer& tmrTxLED;

private:
    // Lit: the activity picture until the timer's first tick; else idle.
    void blink(ui::Image& lamp, ui::Timer& timer, bool lit);

    ui::Window& form_;
    platform::SerialPort& port_;
};

}  // namespace kv::link
