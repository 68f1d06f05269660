// The port dialog with a fake probe (entries, preselection, OK, Cancel,
// Refresh and the settings it stores), and the communications settings
// dialog.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::platform::PortState;
using namespace kv::test;

namespace {

const std::string kOk = "click frmStartup.cmdAction(0)";
const std::string kSevenPorts =
    "<none>| COM  1| COM  5| 7 - Not Available| COM  10| 12 - Not Available| 14 - Not Available";

// Free, held and refused ports, then start-up: the dialog is up.
void withPorts(Rig& rig) {
    rig.probe.states = {{1, PortState::Free},  {5, PortState::Free},  {7, PortState::Held},
                        {10, PortState::Free}, {12, PortState::Held}, {14, PortState::PermissionDenied},
                        {33, PortState::Free}};
    rig.main->Form_Load();
}

std::string items(const kv::ui::ComboBox& box) {
    std::string out;
    for (const auto& i : box.items()) out += (out.empty() ? "" : "|") + i;
    return out;
}

// The port's settings stored, in the order stored: "Settings=38400,N,8,1 Port=5".
std::string stored(Rig& rig) {
    std::string out;
    for (const auto& key : rig.settings.order)
        out += (out.empty() ? "" : " ") + key + "=" + rig.settings.values["KV53_Varkel_Comms/MSComm1/" + key];
    return out;
}

// The dialog says it is scanning while it looks for ports, on screen before
// the look starts.
TEST(PortDialog, ListsFreeAndHeldPortsAndPreselectsThePortInUse) {
    Rig rig;
    auto& d = rig.main->startup;
    std::vector<std::string> painted;  // the caption at each repaint
    d.window.listen([&, seen = 0]() mutable {
        if (d.window.refreshRequests() != seen) painted.push_back(d.window.caption());
        seen = d.window.refreshRequests();
    });
    withPorts(rig);
    EXPECT_EQ(painted.empty() ? "" : painted.front(), "Scanning available comm hardware...");
    EXPECT_EQ(items(d.cboPort), kSevenPorts);
    EXPECT_TRUE(d.window.topMost());
    EXPECT_EQ(rig.pointer.history, (std::vector<bool>{true, false}));
    const auto& g = *d.window.geometry();
    EXPECT_EQ(std::pair(g.left * 2 + g.width, g.top * 2 + g.height), std::pair(19200, 10800));  // centred
    rig.pointer.history.clear();
    EXPECT_TRUE(play(rig, {{"", "",
                            {{"cboPort", " COM  10"}, {"frmStartup", "Communications Port Settings"},
                             {"visible frmStartup", "1"}, {"enabled frmStartup.cmdAction(0)", "1"},
                             {"lblOpen", "Closed"}}},
                           {"click cmdRefresh", "", {{"cboPort", "<none>"}}}}));  // after the first scan: none
    EXPECT_EQ(items(d.cboPort), kSevenPorts);  // listed once, not twice
    EXPECT_EQ(rig.pointer.history, (std::vector<bool>{true, false}));
}

TEST(PortDialog, TheLastPortIsListedAndOpened) {
    Rig rig;
    rig.probe.states[32] = PortState::Free;
    rig.port.freePorts.insert(32);
    rig.main->Form_Load();
    EXPECT_TRUE(play(rig, {{"choose cboPort 2", "", {{"cboPort", " COM  32"}}},
                           {kOk, "", {{"lblPort", "Port 32"}, {"lblOpen", "Open"}}, ""}}));
    EXPECT_EQ(rig.port.CommPort(), 32);
}

TEST(PortDialog, OkOpensTheChosenPortAtFixedSettingsAndStoresThem) {
    Rig rig;
    withPorts(rig);
    rig.port.freePorts.insert(5);
    ASSERT_TRUE(rig.port.setSettings("9600,e,7,2"));
    ASSERT_TRUE(rig.port.setHandshaking(2));
    EXPECT_TRUE(play(rig, {{"click cmdRefresh"},  // rescans with these settings
                           {"choose cboPort 2"},
                           {kOk, "",
                            {{"visible frmStartup", "0"}, {"cmdSTOPComms", "STOP"}, {"enabled cmdSTOPComms", "1"},
                             {"lblPort", "Port 5"}, {"lblOpen", "Open"}}, ""}}));
    EXPECT_EQ(rig.port.Settings() + " " + std::to_string(rig.port.Handshaking()), "38400,N,8,1 2");  // as scanned
    EXPECT_EQ(stored(rig), "Settings=38400,N,8,1 Port=5 Handshaking=2");
    EXPECT_TRUE(rig.main->sequence.stepDue());  // the connection sequence starts
}

// A port not available is said and the dialog stays; <none> stores only the
// port number 0 and offers START; Cancel leaves all closed.
TEST(PortDialog, NoneAPortNotAvailableCancelAndNoPorts) {
    Rig rig;
    withPorts(rig);
    const std::string taken = " is already open by another process. Please select a different Comm port.";
    const std::vector<std::pair<std::string, std::string>> stays{{"visible frmStartup", "1"}, {"lblOpen", "Closed"}};
    EXPECT_TRUE(play(rig, {{"choose cboPort 3"}, {kOk, "", stays, "Port 7" + taken},
                           {"choose cboPort 5"}, {kOk, "", stays, "Port 12" + taken},
                           {"choose cboPort 6"},
                           {kOk, "", stays,
                            "Port 14 cannot be opened: permission denied. Add your user to the dialout group "
                            "(sudo usermod -aG dialout $USER), log in again, and press Refresh."},
                           {"choose cboPort 0"},
                           {kOk, "",
                            {{"visible frmStartup", "0"}, {"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"}}}}));
    EXPECT_EQ(rig.messages.shown.back().title, "Communications Port Settings");
    EXPECT_EQ(stored(rig), "Port=0");
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_TRUE(rig.main->startup.bNoPort);

    Rig cancel;
    cancel.main->Form_Load();
    EXPECT_TRUE(play(cancel, {{"click frmStartup.cmdAction(1)", "", {{"visible frmStartup", "0"}}}}));
    EXPECT_FALSE(cancel.port.PortOpen() || cancel.main->sequence.stepDue());
    EXPECT_EQ(stored(cancel), "");

    // A machine without ports offers only <none>; without a port object the dialog says so.
    Rig bare;
    bare.probe.states.clear();
    bare.main->Form_Load();
    EXPECT_EQ(items(bare.main->startup.cboPort), "<none>");
    EXPECT_TRUE(play(bare, {{"", "", {{"cboPort", "<none>"}}}, {kOk}}));
    EXPECT_EQ(stored(bare), "Port=0");

    Rig none;
    none.main->startup.CommStartup(nullptr, "Communications Port Settings");
    ASSERT_EQ(none.messages.shown.size(), 1u);
    const auto& said = none.messages.shown[0];
    EXPECT_EQ(said.text + " | " + said.title, "No serial communications control specified. | frmStartup");
    EXPECT_EQ(said.icon, kv::platform::MsgIcon::Critical);
    EXPECT_FALSE(none.main->startup.window.visible());
}

// ----------------------------------------------------------------
// The communications settings dialog: preselection from the port, the
// data-bits rule, OK, Cancel and <none>.

// The dialog opened on a port with these settings (START first when the
// port is closed).
kv::dialogs::frmSettings& open(Rig& rig, const std::string& settings, std::int16_t handshaking = 0) {
    EXPECT_TRUE(rig.port.setSettings(settings)) << settings;
    EXPECT_TRUE(rig.port.setHandshaking(handshaking));
    if (!rig.port.PortOpen()) rig.main->indicators.cmdSTOPComms.click();
    rig.main->settings.CommSettings(&rig.main->session, "Communications Port Settings");
    return rig.main->settings;
}

// What the dialog shows: how many baud rates, the baud rate, each group's
// options ("001": the third chosen), "+" when "2  Bit" can be chosen.
std::string shown(kv::dialogs::frmSettings& d) {
    using F = kv::dialogs::frmSettings;
    std::string s = std::to_string(d.cboBaud.items().size()) + " " + d.cboBaud.text();
    for (auto [group, n] :
         {std::pair{&F::optParity, 3}, {&F::optDataBits, 2}, {&F::optStopBits, 2}, {&F::optHandshake, 4}})
        for (int i = 0; i < n; ++i) s += (i ? "" : " ") + std::string((d.*group)(i).value() ? "1" : "0");
    return s + (d.optStopBits(1).enabled() ? " +" : " -");
}

TEST(Settings, ShowsThePortsSettingsAndSaysWhatEachGroupIs) {
    const struct {
        const char* settings;
        std::int16_t handshaking;
        const char* shown;
    } cases[] = {
        {"9600,n,8,1", 0, "9 9600 001 01 10 1000 -"},
        {"300,N,8,1", 1, "9 115200 001 01 10 0100 -"},  // not in the list: the last stays
        {"19200,m,7,1", 2, "9 19200 000 10 10 0010 +"},  // mark: no parity button
        {"57600,e,7,2", 3, "9 57600 100 10 01 0001 +"},
        {"600,O,8,2", 0, "9 600 010 01 01 1000 -"},  // shown as it is, "2  Bit" disabled
        {"4800,s,6,1.5", 0, "9 4800 000 00 00 1000 +"},
    };
    Rig rig;
    rig.identify();
    rig.settings.order.clear();  // what the start-up dialog stored
    std::vector<std::pair<std::string, std::string>> texts;
    for (auto [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"fraPort", "Comm Port"},     {"fraBaud", "Baud Rate"},     {"fraParity", "Parity"},
             {"fraDataBits", "Data Bits"}, {"fraStopBits", "Stop Bits"}, {"fraHandshake", "Handshaking"},
             {"optParity(0)", "Even"},     {"optParity(1)", "Odd"},      {"optParity(2)", "None"},
             {"optDataBits(0)", "7 Bit"},  {"optDataBits(1)", "8 Bit"},  {"optStopBits(0)", "1 Bit"},
             {"optHandshake(0)", "None"},  {"optHandshake(1)", "Xon"},   {"optHandshake(2)", "RTS"},
             {"optHandshake(3)", "Both"},  {"cmdAction(0)", "OK"},       {"cmdAction(1)", "Cancel"}})
        texts.push_back({std::string("caption frmSettings.") + name, text});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        auto& d = open(rig, c.settings, c.handshaking);
        EXPECT_EQ(shown(d), c.shown);
        EXPECT_TRUE(d.window.topMost());
        EXPECT_FALSE(rig.port.PortOpen());  // opening the dialog closes the port
        EXPECT_TRUE(play(rig, {{"", "",
                                {{"frmSettings", "Communications Port Settings"}, {"visible frmSettings", "1"},
                                 {"frmSettings.cboPort", " COM  10"}}},
                               {"", "", texts},
                               {"click frmSettings.cmdAction(1)", "", {{"visible frmSettings", "0"}}}}));
        EXPECT_TRUE(d.cboBaud.items().empty());  // made anew at the next opening
    }
    EXPECT_TRUE(rig.settings.order.empty());  // Cancel stores nothing
}

TEST(Settings, OkAppliesAndStoresWhatIsChosenAndLeavesThePortToStart) {
    const struct {
        const char* name;
        const char* settings;
        std::vector<std::string> choose;
        const char* applied;
        const char* handshaking;
    } cases[] = {
        {"unchanged", "9600,n,8,1", {}, "9600,N,8,1", "0"},
        {"a baud rate not listed", "300,n,8,1", {}, "115200,N,8,1", "0"},
        {"mark parity", "9600,m,8,1", {}, "9600,N,8,1", "0"},
        {"7 bits, even, 2 stop bits, Xon", "9600,n,8,1",
         {"click optDataBits(0)", "click optStopBits(1)", "click optParity(0)", "click optHandshake(1)"}, "9600,E,7,2",
         "1"},
        // "2  Bit" is disabled with 8 bits: its click is ignored.
        {"8 bits after 2 stop bits", "9600,n,7,2", {"click optDataBits(1)", "click optStopBits(1)"}, "9600,N,8,1", "0"},
        {"8 bits and 2 stop bits as the port reported them", "2400,o,8,2", {}, "2400,O,8,2", "0"},
        // Settings the dialog has no button for: 6 data bits, 1.5 stop bits.
        {"6 bits and 1.5 stop bits", "4800,s,6,1.5", {}, "4800,N,8,2", "0"},
        {"another baud rate", "9600,n,8,1", {"choose cboBaud 8"}, "115200,N,8,1", "0"},
    };
    Rig rig;
    rig.identify();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rig.settings.values.clear();
        rig.settings.order.clear();
        open(rig, c.settings);
        std::vector<Step> steps;
        for (const auto& act : c.choose) steps.push_back({act});
        steps.push_back({"click frmSettings.cmdAction(0)", "",
                         {{"visible frmSettings", "0"}, {"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"},
                          {"lblSettings", c.applied}}});
        EXPECT_TRUE(play(rig, steps));
        EXPECT_EQ(rig.port.Settings(), c.applied);
        EXPECT_EQ(stored(rig), std::string("Settings=") + c.applied + " Port=10 Handshaking=" + c.handshaking);
        EXPECT_FALSE(rig.port.PortOpen());
    }
    // START opens it with what was applied, and REFRESH identifies.
    EXPECT_TRUE(play(rig, {{"click cmdSTOPComms", "*", {{"lblOpen", "Open"}}},
                           {"click cmdRefreshNextController"},
                           {"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}}}}));
    EXPECT_EQ(rig.port.Settings(), "115200,N,8,1");
    // <none> stores the port number 0 only.
    rig.settings.order.clear();
    open(rig, "9600,n,8,1");
    EXPECT_TRUE(play(rig, {{"choose frmSettings.cboPort 0"},
                           {"click frmSettings.cmdAction(0)", "", {{"visible frmSettings", "0"}}}}));
    EXPECT_EQ(stored(rig), "Port=0");
    EXPECT_FALSE(rig.port.PortOpen());
}

}  // namespace
