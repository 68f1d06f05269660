// The port dialog with a fake probe (entries, preselection, OK, Cancel,
// Refresh and the settings it stores), and the communications settings
// dialog.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::platform::PortState;
using kv::test::Rig;
using kv::test::play;

namespace {

struct PortDialog : ::testing::Test {
    PortDialog() {
        rig.probe.states = {{1, PortState::Free},   {5, PortState::Free}, {7, PortState::Held},
                            {10, PortState::Free},  {12, PortState::Held}, {14, PortState::PermissionDenied},
                            {33, PortState::Free}};
        rig.main->Form_Load();
    }
    kv::dialogs::frmStartup& dlg() { return rig.main->startup; }
    void choose(const std::string& entry) {
        const auto& items = dlg().cboPort.items();
        auto it = std::find(items.begin(), items.end(), entry);
        ASSERT_NE(it, items.end()) << entry;
        dlg().cboPort.choose(static_cast<int>(it - items.begin()));
    }
    std::string stored(const std::string& key) {
        auto it = rig.settings.values.find(std::string("KV53_Varkel_Comms/MSComm1/") + key);
        return it == rig.settings.values.end() ? "(none)" : it->second;
    }
    Rig rig;
};

TEST_F(PortDialog, ListsFreeAndHeldPortsAndPreselectsThePortInUse) {
    EXPECT_EQ(dlg().cboPort.items(),
              (std::vector<std::string>{"<none>", " COM  1", " COM  5", " 7 - Not Available", " COM  10",
                                        " 12 - Not Available", " 14 - Not Available"}));
    EXPECT_EQ(dlg().cboPort.text(), " COM  10");
    EXPECT_EQ(dlg().window.caption(), "Communications Port Settings");
    EXPECT_TRUE(dlg().window.visible());
    EXPECT_TRUE(dlg().window.topMost());
    EXPECT_TRUE(dlg().cmdOK.enabled());
    EXPECT_EQ(rig.pointer.history, (std::vector<bool>{true, false}));
    EXPECT_GE(dlg().window.refreshRequests(), 1);
    // Centred on the screen.
    const auto& g = *dlg().window.geometry();
    EXPECT_EQ(g.left * 2 + g.width, 19200);
    EXPECT_EQ(g.top * 2 + g.height, 10800);
    EXPECT_FALSE(rig.port.PortOpen());  // the scan closed it
    EXPECT_EQ(rig.main->indicators.lblOpen.caption(), "Closed");
}

TEST_F(PortDialog, TheLastPortIsListedAndOpened) {
    rig.probe.states[32] = kv::platform::PortState::Free;
    rig.port.freePorts.insert(32);
    dlg().cmdRefresh.click();
    EXPECT_EQ(dlg().cboPort.items().back(), " COM  32");
    EXPECT_EQ(dlg().entries().back().number, 32);
    choose(" COM  32");
    dlg().cmdOK.click();
    EXPECT_TRUE(rig.port.PortOpen());
    EXPECT_EQ(rig.port.CommPort(), 32);
}

TEST_F(PortDialog, OkOpensTheChosenPortAtFixedSettingsAndStoresThem) {
    rig.port.freePorts.insert(5);
    ASSERT_TRUE(rig.port.setSettings("9600,e,7,2"));
    ASSERT_TRUE(rig.port.setHandshaking(2));
    play(rig, {{"click cmdRefresh"},  // rescans with these settings
               {"choose cboPort 2"},
               {"click frmStartup.cmdAction(0)", "",
                {{"visible frmStartup", "0"}, {"cmdSTOPComms", "STOP"}, {"enabled cmdSTOPComms", "1"},
                 {"lblPort", "Port 5"}}, ""}});
    EXPECT_EQ(rig.port.CommPort(), 5);
    EXPECT_EQ(rig.port.Settings(), "38400,N,8,1");
    EXPECT_EQ(rig.port.Handshaking(), 2);  // as read at the scan
    EXPECT_EQ(rig.settings.order, (std::vector<std::string>{"Settings", "Port", "Handshaking"}));
    EXPECT_EQ(stored("Settings") + " " + stored("Port") + " " + stored("Handshaking"), "38400,N,8,1 5 2");
    EXPECT_TRUE(rig.main->sequence.stepDue());  // the connection sequence starts
}

// <none>: only the port number 0 is stored, and START is offered; a port
// not available is said and the dialog stays; Cancel leaves all closed.
TEST_F(PortDialog, NoneAPortNotAvailableAndCancel) {
    const char* held = "Port 12 is already open by another process. Please select a different Comm port.";
    const char* denied = "Port 14 cannot be opened: permission denied. Add your user to the dialout group "
                         "(sudo usermod -aG dialout $USER), log in again, and press Refresh.";
    play(rig, {{"choose cboPort 3"},
               {"click frmStartup.cmdAction(0)", "", {{"visible frmStartup", "1"}},
                "Port 7 is already open by another process. Please select a different Comm port."},
               {"choose cboPort 5"}, {"click frmStartup.cmdAction(0)", "", {{"visible frmStartup", "1"}}, held},
               {"choose cboPort 6"}, {"click frmStartup.cmdAction(0)", "", {{"visible frmStartup", "1"}}, denied}});
    EXPECT_EQ(rig.messages.shown.back().title, "Communications Port Settings");
    EXPECT_TRUE(rig.settings.order.empty());
    EXPECT_FALSE(rig.port.PortOpen());
    play(rig, {{"choose cboPort 0"},
               {"click frmStartup.cmdAction(0)", "",
                {{"visible frmStartup", "0"}, {"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"}}}});
    EXPECT_EQ(rig.settings.order, (std::vector<std::string>{"Port"}));
    EXPECT_EQ(stored("Port"), "0");
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_TRUE(dlg().bNoPort);
}

TEST(PortDialogCancel, LeavesThePortClosed) {
    Rig rig;
    rig.main->Form_Load();
    play(rig, {{"click frmStartup.cmdAction(1)", "", {{"visible frmStartup", "0"}}}});
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_FALSE(rig.main->sequence.stepDue());
    EXPECT_TRUE(rig.settings.order.empty());
}

TEST_F(PortDialog, RefreshAfterTheFirstScanPreselectsNone) {
    rig.pointer.history.clear();
    dlg().cmdRefresh.click();
    EXPECT_EQ(dlg().cboPort.text(), "<none>");
    EXPECT_EQ(dlg().cboPort.items().size(), 7u);  // listed once, not twice
    EXPECT_EQ(rig.pointer.history, (std::vector<bool>{true, false}));
}

TEST(PortDialogAlone, AMachineWithoutPortsOffersOnlyNone) {
    Rig rig;
    rig.probe.states.clear();
    rig.main->Form_Load();
    EXPECT_EQ(rig.main->startup.cboPort.items(), (std::vector<std::string>{"<none>"}));
    EXPECT_EQ(rig.main->startup.cboPort.text(), "<none>");
    rig.main->startup.cmdOK.click();
    EXPECT_EQ(rig.settings.values["KV53_Varkel_Comms/MSComm1/Port"], "0");
}

TEST(PortDialogAlone, WithoutAPortObjectItSaysSoAndCloses) {
    Rig rig;
    rig.main->startup.CommStartup(nullptr, "Communications Port Settings");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "No serial communications control specified.");
    EXPECT_EQ(rig.messages.shown[0].title, "frmStartup");
    EXPECT_EQ(rig.messages.shown[0].icon, kv::platform::MsgIcon::Critical);
    EXPECT_FALSE(rig.main->startup.window.visible());
}

// ----------------------------------------------------------------
// The communications settings dialog: preselection from the port, the
// data-bits rule, OK, Cancel and <none>.

struct Settings : ::testing::Test {
    void SetUp() override {
        rig.identify();
        rig.settings.order.clear();  // what the start-up dialog stored
    }
    // Opens the dialog on a port with these settings and handshaking.
    kv::dialogs::frmSettings& open(const std::string& settings, std::int16_t handshaking = 0) {
        EXPECT_TRUE(rig.port.setSettings(settings)) << settings;
        EXPECT_TRUE(rig.port.setHandshaking(handshaking));
        if (!rig.port.PortOpen()) rig.main->indicators.cmdSTOPComms.click();  // START
        rig.main->settings.CommSettings(&rig.main->session, "Communications Port Settings");
        return rig.main->settings;
    }
    std::string stored(const std::string& key) {
        auto it = rig.settings.values.find("KV53_Varkel_Comms/MSComm1/" + key);
        return it == rig.settings.values.end() ? "(none)" : it->second;
    }
    Rig rig;
};

// Which option of a group is selected: its index, or -1.
template <class F>
int selected(F option, int n) {
    int found = -1;
    for (int i = 0; i < n; ++i)
        if (option(i).value()) found = found < 0 ? i : 99;
    return found;
}

TEST_F(Settings, ShowsThePortsSettings) {
    const struct {
        const char* settings;
        std::int16_t handshaking;
        const char* baud;
        int parity, dataBits, stopBits;
        bool twoStopEnabled;
    } cases[] = {
        {"9600,n,8,1", 0, "9600", 2, 1, 0, false},
        {"300,N,8,1", 1, "115200", 2, 1, 0, false},  // not in the list: the last stays
        {"19200,m,7,1", 2, "19200", -1, 0, 0, true},  // mark: no parity button
        {"57600,e,7,2", 3, "57600", 0, 0, 1, true},
        {"600,O,8,2", 0, "600", 1, 1, 1, false},  // shown as it is, "2  Bit" disabled
        {"4800,s,6,1.5", 0, "4800", -1, -1, -1, true},
    };
    for (const auto& c : cases) {
        auto& d = open(c.settings, c.handshaking);
        EXPECT_EQ(d.window.caption(), "Communications Port Settings") << c.settings;
        EXPECT_TRUE(d.window.visible());
        EXPECT_TRUE(d.window.topMost());
        EXPECT_FALSE(rig.port.PortOpen());  // opening the dialog closes the port
        EXPECT_EQ(d.cboBaud.items().size(), 9u) << c.settings;
        EXPECT_EQ(d.cboBaud.text(), c.baud) << c.settings;
        EXPECT_EQ(selected([&](int i) -> auto& { return d.optParity(i); }, 3), c.parity) << c.settings;
        EXPECT_EQ(selected([&](int i) -> auto& { return d.optDataBits(i); }, 2), c.dataBits) << c.settings;
        EXPECT_EQ(selected([&](int i) -> auto& { return d.optStopBits(i); }, 2), c.stopBits) << c.settings;
        EXPECT_EQ(selected([&](int i) -> auto& { return d.optHandshake(i); }, 4), c.handshaking) << c.settings;
        EXPECT_EQ(d.optStopBits(1).enabled(), c.twoStopEnabled) << c.settings;
        EXPECT_EQ(d.cboPort.text(), " COM  10") << c.settings;
        d.cmdCancel.click();
        EXPECT_FALSE(d.window.visible());
        EXPECT_TRUE(d.cboBaud.items().empty());  // made anew at the next opening
    }
    EXPECT_TRUE(rig.settings.order.empty());  // Cancel stores nothing
}

TEST_F(Settings, OkAppliesAndStoresWhatIsChosenAndLeavesThePortToStart) {
    const struct {
        const char* name;
        const char* settings;
        std::function<void(kv::dialogs::frmSettings&)> choose;
        const char* applied;
        const char* handshaking;
    } cases[] = {
        {"unchanged", "9600,n,8,1", [](auto&) {}, "9600,N,8,1", "0"},
        {"a baud rate not listed", "300,n,8,1", [](auto&) {}, "115200,N,8,1", "0"},
        {"mark parity", "9600,m,8,1", [](auto&) {}, "9600,N,8,1", "0"},
        {"7 bits, even, 2 stop bits, Xon",
         "9600,n,8,1",
         [](auto& d) {
             d.optDataBits(0).click();
             d.optStopBits(1).click();
             d.optParity(0).click();
             d.optHandshake(1).click();
         },
         "9600,E,7,2", "1"},
        {"8 bits after 2 stop bits falls back to 1",
         "9600,n,7,2",
         [](auto& d) {
             d.optDataBits(1).click();
             d.optStopBits(1).click();  // disabled: ignored
         },
         "9600,N,8,1", "0"},
        {"8 bits and 2 stop bits as the port reported them", "2400,o,8,2", [](auto&) {}, "2400,O,8,2", "0"},
        // Settings the dialog has no button for: 6 data bits, 1.5 stop bits.
        {"6 bits and 1.5 stop bits", "4800,s,6,1.5", [](auto&) {}, "4800,N,8,2", "0"},
        {"another baud rate", "9600,n,8,1", [](auto& d) { d.cboBaud.choose(8); }, "115200,N,8,1", "0"},
    };
    for (const auto& c : cases) {
        rig.settings.values.clear();
        rig.settings.order.clear();
        auto& d = open(c.settings);
        c.choose(d);
        d.cmdOK.click();
        EXPECT_EQ(rig.port.Settings(), c.applied) << c.name;
        EXPECT_EQ(rig.settings.order, (std::vector<std::string>{"Settings", "Port", "Handshaking"})) << c.name;
        EXPECT_EQ(stored("Settings"), rig.port.Settings()) << c.name;
        EXPECT_EQ(stored("Port"), "10") << c.name;
        EXPECT_EQ(stored("Handshaking"), c.handshaking) << c.name;
        EXPECT_FALSE(rig.port.PortOpen()) << c.name;
        EXPECT_FALSE(d.window.visible()) << c.name;
        EXPECT_TRUE(rig.main->indicators.cmdSTOPComms.enabled());
        EXPECT_EQ(rig.main->indicators.cmdSTOPComms.caption(), "START");
        EXPECT_EQ(rig.main->indicators.lblSettings.caption().empty(), false);
    }
    // START opens it with what was applied, and REFRESH identifies.
    rig.main->indicators.cmdSTOPComms.click();
    EXPECT_TRUE(rig.port.PortOpen());
    EXPECT_EQ(rig.port.Settings(), "115200,N,8,1");
    rig.main->serviceMode.cmdRefreshNextController.click();
    rig.clock.advance(8000);
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK");
}

TEST_F(Settings, NoneStoresPortZeroOnly) {
    auto& d = open("9600,n,8,1");
    d.cboPort.setListIndex(0);
    d.cmdOK.click();
    EXPECT_EQ(rig.settings.order, (std::vector<std::string>{"Port"}));
    EXPECT_EQ(stored("Port"), "0");
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_FALSE(d.window.visible());
}

TEST(SettingsTexts, TheDialogSaysWhatEachGroupIs) {
    Rig rig;
    rig.identify();
    rig.main->settings.CommSettings(&rig.main->session, "Communications Port Settings");
    auto& d = rig.main->settings;
    ASSERT_TRUE(d.window.visible());
    const struct {
        const char* control;
        const char* caption;
    } cases[] = {
        {"fraPort", "Comm Port"},        {"fraBaud", "Baud Rate"},        {"fraParity", "Parity"},
        {"fraDataBits", "Data Bits"},    {"fraStopBits", "Stop Bits"},    {"fraHandshake", "Handshaking"},
        {"optParity(0)", "Even"},        {"optParity(1)", "Odd"},         {"optParity(2)", "None"},
        {"optDataBits(0)", "7 Bit"},     {"optDataBits(1)", "8 Bit"},     {"optStopBits(0)", "1 Bit"},
        {"optHandshake(0)", "None"},     {"optHandshake(1)", "Xon"},      {"optHandshake(2)", "RTS"},
        {"optHandshake(3)", "Both"},     {"cmdAction(0)", "OK"},          {"cmdAction(1)", "Cancel"},
    };
    for (const auto& c : cases) {
        auto* control = dynamic_cast<kv::ui::Captioned*>(d.window.find(c.control));
        ASSERT_NE(control, nullptr) << c.control;
        EXPECT_EQ(control->caption(), c.caption) << c.control;
    }
    d.cmdCancel.click();
}

}  // namespace
