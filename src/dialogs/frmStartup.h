#pragma once
// The start-up port dialog: it closes the main window's port, lists COM1 to
// COM32 as free or held by another program, preselects the port in use, and
// on OK opens the chosen port at 38400,N,8,1 and starts identifying the
// controller.
#include <cstdint>
#include <string>

#include "link/ConnectionSequence.h"
#include "link/Indicators.h"
#include "platform/Platform.h"
#include "ui/Window.h"

namespace kv::dialogs {

class frmStartup {
public:
    static constexpr int kLastPort = 32;
    // Section of the settings store for the main window's port.
    static constexpr const char* kSettingsSection = "MSComm1";

    frmStartup(platform::Platform& platform, link::PortSession& session, ui::Button& cmdSTOPComms,
               link::ConnectionSequence& sequence, link::Indicators& indicators);

    void CommStartup(platform::SerialPort* cntrl, const std::string& msg);
    void cmdAction_Click(int Index);
    void cmdRefresh_Click();
    void Form_Load();
    void Form_Unload();
    void SetTopMost(ui::Window& frm, bool bTopMost) { frm.setTopMost(bTopMost); }

    static std::string availableEntry(int port);
    static std::string heldEntry(int port);

    ui::Window window;
    ui::Frame& fraPort;
    ui::ComboBox& cboPort;
    ui::Button& cmdOK;      // cmdAction(0)
    ui::Button& cmdCancel;  // cmdAction(1)
    ui::Button& cmdRefresh;

    platform::SerialPort* objComm = nullptr;
    int vCommPort = 0;
    std::string vBaud, vParity, vDataBits, vStopBits;
    std::int16_t vHandshaking = 0;
    bool bNoPort = false;

private:
    void close();
    void ok();
    // Without a port chosen, START still opens the port last chosen.
    void leaveStartEnabled();
    void save(const std::string& key, const std::string& value);

    platform::Platform& platform_;
    link::PortSession& session_;
    ui::Button& cmdSTOPComms_;
    link::ConnectionSequence& sequence_;
    link::Indicators& indicators_;
    bool loaded_ = false;
    std::vector<int> deniedPorts_;  // listed as not available: this user may not open them
};

}  // namespace kv::dialogs
