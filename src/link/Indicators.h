#pragma once
// The port as the main window shows it: START/STOP, and the information bar
// with port, settings, open state, receive mode, last line error, and seven
// lamps for the modem lines and activity. It is the one writer of the
// button's caption, the open state and the port's failure texts, following
// the port session's announcements.
#include <functional>
#include <string>

#include "link/PortSession.h"
#include "platform/Listeners.h"
#include "ui/Window.h"

namespace kv::link {

class Indicators {
public:
    Indicators(ui::Window& form, PortSession& session);
    Indicators(const Indicators&) = delete;
    Indicators& operator=(const Indicators&) = delete;

    // Lamp pictures, kept in the image array imgLed.
    static constexpr int kLineOff = 0, kLineOn = 1, kActivityIdle = 2, kActivity = 3;

    // Refreshes the five line lamps from the port.
    void ShowModemLines();
    // Port, settings, open state; clears the error; refreshes the lamps.
    void ShowInfo();

    void imgDTR_Click();
    void imgRTS_Click();

    // STOP closes the port, START opens it.
    void cmdSTOPComms_Click();
    // The technician pressed STOP.
    int listenStopped(std::function<void()> l) { return stopped_.add(std::move(l)); }
    // A port dialog ended: the button is offered, START while the port is
    // closed (it opens the port last chosen).
    void offerStart();

    // Why a port could not be opened, as the error label says it.
    static std::string OpenFailureText(platform::OpenError error);
    // Shows a line error for about a second.
    void ShowError(const std::string& text);
    void tmrClearError_Timer();

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
    ui::Timer& tmrClearError;
    ui::Button& cmdSTOPComms;

private:
    void portChanged(PortSession::Event e);
    // Lit: the activity picture until the timer's first tick; else idle.
    void blink(ui::Image& lamp, ui::Timer& timer, bool lit);

    ui::Window& form_;
    PortSession& session_;
    platform::Listeners<> stopped_;
};

}  // namespace kv::link
