// The port dialog with a fake probe (entries, preselection, OK, Cancel,
// Refresh and the settings it stores), and the communications settings
// dialog.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::platform::PortState;
using namespace kv::test;

namespace {

const std::string kOk = "click frmStartup.cmdAction(0)";
const std::string kPorts =
    "<none>| COM  1| COM  5| 7 - Not Available| COM  10| 12 - Not Available| 14 - Not Available| COM  32";
const std::string kTaken = " is already open by another process. Please select a different Comm port.";

std::string items(const kv::ui::ComboBox& box) {
    std::string out;
    for (const auto& i : box.items()) out += (out.empty() ? "" : "|") + i;
    return out;
}

// The port as the dialogs leave it, then the settings stored in the order
// stored: "open 5 38400,N,8,1 2 due; Settings=38400,N,8,1 Port=5" ("due":
// the connection sequence is about to start).
std::string port(Rig& r) {
    std::string out = (r.port.PortOpen() ? "open " : "closed ") + std::to_string(r.port.CommPort()) + " " +
                      r.port.Settings() + " " + std::to_string(r.port.Handshaking()) +
                      (r.main->sequence.stepDue() ? " due;" : ";");
    for (const auto& key : r.settings.order)
        out += " " + key + "=" + r.settings.values["KV53_Varkel_Comms/MSComm1/" + key];
    return out;
}
std::function<void(Rig&)> portIs(const std::string& want) {
    return [want](Rig& r) { EXPECT_EQ(port(r), want); };
}

// Free, held and refused ports (33 is past the last one scanned); the dialog
// says it is scanning, on screen before the look starts, and lists each port
// once; OK opens the chosen port at fixed settings and stores them; a port
// not available is said and the dialog stays; <none> stores only the port
// number 0 and offers START; Cancel leaves all closed.
TEST(PortDialog, ListsThePortsOpensTheChosenOneAndStoresWhatWasTaken) {
    std::vector<std::string> painted;  // the caption at each repaint
    auto load = [&painted](Rig& r) {
        auto& w = r.main->startup.window;
        w.listen([&painted, &w, seen = 0]() mutable {
            if (w.refreshRequests() != seen) painted.push_back(w.caption());
            seen = w.refreshRequests();
        });
        r.port.freePorts.insert(32);
        r.main->Form_Load();
    };
    const std::vector<std::pair<std::string, std::string>> stays{{"visible frmStartup", "1"}, {"lblOpen", "Closed"}};
    playAll({
        {"listed, the port in use preselected", load,
         {{"", "",
           {{"cboPort", " COM  10"}, {"frmStartup", "Communications Port Settings"}, {"visible frmStartup", "1"},
            {"enabled frmStartup.cmdAction(0)", "1"}, {"lblOpen", "Closed"}},
           "*",
           [&painted](Rig& r) {
               const auto& d = r.main->startup;
               EXPECT_EQ(painted.empty() ? "" : painted.front(), "Scanning available comm hardware...");
               EXPECT_EQ(items(d.cboPort), kPorts);
               EXPECT_TRUE(d.window.topMost());
               EXPECT_EQ(r.pointer.history, (std::vector<bool>{true, false}));
               const auto& g = *d.window.geometry();
               EXPECT_EQ(std::pair(g.left * 2 + g.width, g.top * 2 + g.height), std::pair(19200, 10800));  // centred
           }},
          // After the first scan none is preselected; listed once, not twice.
          {"click cmdRefresh", "", {{"cboPort", "<none>"}}, "*", [](Rig& r) {
               EXPECT_EQ(items(r.main->startup.cboPort), kPorts);
               EXPECT_EQ(r.pointer.history, (std::vector<bool>{true, false, true, false}));
           }}}},
        // The rescan takes the port's handshaking; the settings are fixed.
        {"OK on the last port", load,
         {{"", "", {}, "*", [](Rig& r) { ASSERT_TRUE(r.port.setSettings("9600,e,7,2") && r.port.setHandshaking(2)); }},
          {"click cmdRefresh"},
          {"choose cboPort 7", "", {{"cboPort", " COM  32"}}},
          {kOk, "",
           {{"visible frmStartup", "0"}, {"cmdSTOPComms", "STOP"}, {"enabled cmdSTOPComms", "1"},
            {"lblPort", "Port 32"}, {"lblOpen", "Open"}},
           "", portIs("open 32 38400,N,8,1 2 due; Settings=38400,N,8,1 Port=32 Handshaking=2")}}},
        {"ports not available, then <none>", load,
         {{"choose cboPort 3"}, {kOk, "", stays, "Port 7" + kTaken},
          {"choose cboPort 5"}, {kOk, "", stays, "Port 12" + kTaken},
          {"choose cboPort 6"},
          {kOk, "", stays,
           "Port 14 cannot be opened: permission denied. Add your user to the dialout group "
           "(sudo usermod -aG dialout $USER), log in again, and press Refresh.",
           [](Rig& r) { EXPECT_EQ(r.messages.shown.back().title, "Communications Port Settings"); }},
          {"choose cboPort 0"},
          {kOk, "", {{"visible frmStartup", "0"}, {"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"}}, "",
           [](Rig& r) {
               EXPECT_TRUE(r.main->startup.bNoPort);
               EXPECT_EQ(port(r), "closed 10 38400,N,8,1 0; Port=0");
           }}}},
        {"Cancel", load,
         {{"click frmStartup.cmdAction(1)", "", {{"visible frmStartup", "0"}}, "",
           portIs("closed 10 38400,N,8,1 0;")}}},
        // A machine without ports offers only <none>.
        {"no ports", [](Rig& r) { r.probe.states.clear(); r.main->Form_Load(); },
         {{"", "", {{"cboPort", "<none>"}}, "*", [](Rig& r) { EXPECT_EQ(items(r.main->startup.cboPort), "<none>"); }},
          {kOk, "*", {}, "*", portIs("closed 10 38400,N,8,1 0; Port=0")}}},
        // Without a port object the dialog says so.
        {"no port object", {},
         {{"", "", {{"visible frmStartup", "0"}}, "No serial communications control specified.", [](Rig& r) {
               r.main->startup.CommStartup(nullptr, "Communications Port Settings");
               EXPECT_EQ(r.messages.shown.at(0).title, "frmStartup");
               EXPECT_EQ(r.messages.shown.at(0).icon, kv::platform::MsgIcon::Critical);
           }}}},
    }, [](Rig& r) {
        r.probe.states = {{1, PortState::Free},  {5, PortState::Free},  {7, PortState::Held},
                          {10, PortState::Free}, {12, PortState::Held}, {14, PortState::PermissionDenied},
                          {32, PortState::Free}, {33, PortState::Free}};
    });
}

// What the settings dialog shows: how many baud rates, the baud rate, each
// group's options ("001": the third chosen), "+" when "2  Bit" can be chosen.
std::string shown(kv::dialogs::frmSettings& d) {
    using F = kv::dialogs::frmSettings;
    std::string s = std::to_string(d.cboBaud.items().size()) + " " + d.cboBaud.text();
    for (auto [group, n] :
         {std::pair{&F::optParity, 3}, {&F::optDataBits, 2}, {&F::optStopBits, 2}, {&F::optHandshake, 4}})
        for (int i = 0; i < n; ++i) s += (i ? "" : " ") + std::string((d.*group)(i).value() ? "1" : "0");
    return s + (d.optStopBits(1).enabled() ? " +" : " -");
}

// The settings dialog opened on a port with these settings (it closes the
// port) shows them; OK applies and stores what is chosen and leaves the port
// to START; Cancel stores nothing; <none> stores the port number 0 only.
TEST(Settings, ShowThePortsSettingsAndOkAppliesAndStoresWhatIsChosen) {
    // The port's settings and handshaking; what the dialog shows ("": not looked at); the technician's acts;
    // the settings applied and the handshaking stored ("": Cancel).
    const std::tuple<const char*, int, const char*, std::vector<std::string>, std::string> cases[] = {
        {"9600,n,8,1", 0, "9 9600 001 01 10 1000 -", {}, "9600,N,8,1 0"},
        {"300,N,8,1", 1, "9 115200 001 01 10 0100 -", {}, "115200,N,8,1 1"},  // not listed: the last stays
        {"19200,m,7,1", 2, "9 19200 000 10 10 0010 +", {}, "19200,N,7,1 2"},  // mark: no parity button
        {"57600,e,7,2", 3, "9 57600 100 10 01 0001 +", {}, ""},
        {"600,O,8,2", 0, "9 600 010 01 01 1000 -", {}, "600,O,8,2 0"},  // shown as it is, "2  Bit" disabled
        {"4800,s,6,1.5", 0, "9 4800 000 00 00 1000 +", {}, "4800,N,8,2 0"},  // no buttons for 6 bits, 1.5 stop
        {"9600,n,8,1", 0, "",
         {"click optDataBits(0)", "click optStopBits(1)", "click optParity(0)", "click optHandshake(1)"},
         "9600,E,7,2 1"},
        // "2  Bit" is disabled with 8 bits: its click is ignored.
        {"9600,n,7,2", 0, "", {"click optDataBits(1)", "click optStopBits(1)"}, "9600,N,8,1 0"},
        {"9600,n,8,1", 0, "", {"choose cboBaud 8"}, "115200,N,8,1 0"},
    };
    std::vector<std::pair<std::string, std::string>> texts{
        {"frmSettings", "Communications Port Settings"}, {"visible frmSettings", "1"},
        {"frmSettings.cboPort", " COM  10"}};
    for (auto [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"fraPort", "Comm Port"},     {"fraBaud", "Baud Rate"},     {"fraParity", "Parity"},
             {"fraDataBits", "Data Bits"}, {"fraStopBits", "Stop Bits"}, {"fraHandshake", "Handshaking"},
             {"optParity(0)", "Even"},     {"optParity(1)", "Odd"},      {"optParity(2)", "None"},
             {"optDataBits(0)", "7 Bit"},  {"optDataBits(1)", "8 Bit"},  {"optStopBits(0)", "1 Bit"},
             {"optHandshake(0)", "None"},  {"optHandshake(1)", "Xon"},   {"optHandshake(2)", "RTS"},
             {"optHandshake(3)", "Both"},  {"cmdAction(0)", "OK"},       {"cmdAction(1)", "Cancel"}})
        texts.push_back({std::string("caption frmSettings.") + name, text});
    std::vector<Step> steps;
    for (const auto& [settings, handshaking, look, acts, applied] : cases) {
        steps.push_back({"", "", texts, "*", [settings, handshaking, look](Rig& r) {
                             r.settings.values.clear();
                             r.settings.order.clear();
                             EXPECT_TRUE(r.port.setSettings(settings) && r.port.setHandshaking(handshaking));
                             if (!r.port.PortOpen()) r.main->indicators.cmdSTOPComms.click();
                             r.main->settings.CommSettings(&r.main->session, "Communications Port Settings");
                             EXPECT_TRUE(r.main->settings.window.topMost());
                             EXPECT_FALSE(r.port.PortOpen());
                             EXPECT_EQ(*look ? shown(r.main->settings) : "", look) << settings;
                         }});
        for (const auto& act : acts) steps.push_back({act});
        const std::string taken = applied.substr(0, applied.find(' '));
        if (applied.empty())
            steps.push_back({"click frmSettings.cmdAction(1)", "", {{"visible frmSettings", "0"}}, "*", [](Rig& r) {
                                 EXPECT_TRUE(r.main->settings.cboBaud.items().empty());  // made anew when opened
                                 EXPECT_EQ(port(r), "closed 10 57600,e,7,2 3;");
                             }});
        else
            steps.push_back({"click frmSettings.cmdAction(0)", "",
                             {{"visible frmSettings", "0"}, {"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"},
                              {"lblSettings", taken}},
                             "*", portIs("closed 10 " + applied + "; Settings=" + taken + " Port=10 Handshaking=" +
                                         applied.substr(applied.find(' ') + 1))});
    }
    // START opens the port with what was applied.
    steps.push_back({"click cmdSTOPComms", "*", {{"lblOpen", "Open"}}, "*",
                     [](Rig& r) { EXPECT_EQ(r.port.Settings(), "115200,N,8,1"); }});
    steps.push_back(steps[0]);
    steps.push_back({"choose frmSettings.cboPort 0"});
    steps.push_back({"click frmSettings.cmdAction(0)", "", {{"visible frmSettings", "0"}}, "*",
                     portIs("closed 10 9600,n,8,1 0; Port=0")});
    Rig rig;
    rig.identify();
    EXPECT_TRUE(play(rig, steps));
}

}  // namespace
