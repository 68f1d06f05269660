// Every way back to an identified controller after a port failure, a cancel,
// an unplug or a replug, without restarting the program; line settings as the
// serial port takes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tests/support/Scenario.h"

using namespace kv::test;

namespace {

const std::pair<std::string, std::string> kConnected{"lblCurrentINFO", " CONNECTED..OK"};
void another(Rig& r) { r.controller.state.mac = "00AABBCCDDEE"; }
void closed(Rig& r) { EXPECT_FALSE(r.port.PortOpen()); }
void settingsDialog(Rig& r) { r.main->settings.CommSettings(&r.main->session, "Communications Port Settings"); }

// The ways back to an identified controller, each as the technician meets it.
TEST(Ways, BackToAnIdentifiedControllerWithoutRestartingTheProgram) {
    std::vector<Scenario> cases{
        {"OK on a busy port, then START",
         [](Rig& r) {
             r.port.refusals[10] = kv::platform::OpenError::Busy;
             r.main->Form_Load();
             auto& items = r.main->startup.cboPort.items();
             r.main->startup.cboPort.setListIndex(int(std::find(items.begin(), items.end(), " COM  10") - items.begin()));
         },
         {{"click frmStartup.cmdAction(0)", "", {{"lblError", "Port busy"}, {"cmdSTOPComms", "START"}, {"lblOpen", "Closed"}}},
          {"advance 10000", "", {{"visible frmProgressInfo", "0"}}, "*", [](Rig& r) { r.port.refusals.clear(); }},
          // The error does not outlive its cause.
          {"click cmdSTOPComms", "", {{"cmdSTOPComms", "STOP"}, {"lblError", ""}}},
          {"advance 8000", "*", {kConnected}}}},
        {"unplugged, another controller on the same device", [](Rig& r) { r.identify(); },
         {{"unplug", "", {{"lblError", "Port lost"}, {"lblOpen", "Closed"}, {"cmdSTOPComms", "START"}}},
          {"advance 3000", "", {{"lblOpen", "Closed"}}, "*", closed},  // still away: looked for, not found
          {"replug", "", {}, "*", another},
          {"advance " + std::to_string(kv::link::PortSession::kWatchMs), "*",
           {{"lblOpen", "Open"}, {"lblError", "Port back"}, {"cmdSTOPComms", "STOP"}}, "*",
           [](Rig& r) { EXPECT_EQ(r.port.Settings(), "38400,N,8,1"); }},
          {"advance 8000", "*", {kConnected, {"lblMacAddress", " 00AABBCCDDEE"}}}}},
        {"START before the watch finds the device", [](Rig& r) { r.identify(); },
         {{"unplug"}, {"replug", "", {}, "*", another}, {"click cmdSTOPComms", "", {{"lblError", "Port back"}}},
          {"advance 8000", "*", {{"lblMacAddress", " 00AABBCCDDEE"}}}}},
        {"STOP means stopped", [](Rig& r) { r.identify(); },
         {{"click cmdSTOPComms", "", {{"lblOpen", "Closed"}}, "*",
           [](Rig& r) { EXPECT_FALSE(r.main->session.watching()); }},
          {"advance 5000", "", {{"lblOpen", "Closed"}, {"cmdSTOPComms", "START"}}, "*", closed},
          // A dialog's scan closes the port the same way: not reopened by itself.
          {"click cmdSTOPComms", "*", {}, "*", [](Rig& r) { r.main->startup.CommStartup(&r.main->session, "x"); }},
          {"advance 5000", "", {{"lblOpen", "Closed"}}, "*", closed}}},
        {"the settings wait until a bulk write is done", [](Rig& r) { r.identify(); },
         {{"click cdmSetParams", "*", {}, "",
           // Were the write refused, the dialog would open and the menu wait for it.
           [](Rig& r) { ASSERT_TRUE(r.main->bulkWrite.tmrSetMultipleParams.enabled()); }},
          {"click mnuSettings", "*", {{"visible frmSettings", "0"}, {"lblOpen", "Open"}},
           "The parameters are being written to the controller. Open the settings when it has restarted."}}},
    };
    // No port taken at start-up (<none> chosen, or Cancel): START opens, REFRESH identifies.
    for (auto [name, first] : {std::pair{"<none>, then START and REFRESH", "choose frmStartup.cboPort 0"},
                               {"Cancel, then START and REFRESH", "click frmStartup.cmdAction(1)"}})
        cases.push_back({name, [](Rig& r) { r.main->Form_Load(); },
                         {{first, ""},
                          {name[0] == '<' ? "click frmStartup.cmdAction(0)" : "", "",
                           {{"enabled cmdSTOPComms", "1"}, {"cmdSTOPComms", "START"}}},
                          {"click cmdSTOPComms", "", {{"lblOpen", "Open"}, {"lblPort", "Port 10"}}},
                          {"advance 3000", ""}, {"click cmdRefreshNextController"},  // START alone only opens
                          {"advance 8000", "*", {kConnected}}}});
    // Unplugged just after the request of step 0 (firmware) ... 5 (asset): the
    // returned device is identified from its first request.
    for (int step = 0; step <= 5; ++step)
        cases.push_back({"unplugged during the identification", [](Rig& r) { r.load(); },
                         {{"advance " + std::to_string(1000 * (step + 1))}, {"unplug"},
                          {"replug", "", {}, "*", another}, {"advance 1000", "01 01 01 00"},
                          {"advance 8000", "*", {kConnected, {"lblMacAddress", " 00AABBCCDDEE"}}}}});
    // A port dialog opened while the device is away ends the watch, whatever
    // it ends with: the port stays closed until START.
    for (auto [name, end] : {std::pair{"Cancel", "click frmSettings.cmdAction(1)"},
                             {"<none>", "choose frmSettings.cboPort 0"}, {"OK", "choose frmSettings.cboPort 1"}})
        cases.push_back({name, [](Rig& r) { r.identify(); },
                         {{"unplug", "*", {}, "*", settingsDialog}, {"replug"}, {"advance 2000", "*", {}, "*", closed},
                          {end},
                          {name[0] == 'C' ? "" : "click frmSettings.cmdAction(0)"},
                          {"advance 5000", "*", {{"cmdSTOPComms", "START"}}, "*", closed}}});
    playAll(cases);
}

// The port's own rules: settings strings, handshaking, and the modem lines
// kept while closed.
TEST(SerialPort, TakesTheUsualSettingsRefusesTheRestAndKeepsItsLinesWhileClosed) {
    // What is taken: baud, parity, data bits, stop bits in tenths; "" refused.
    const std::pair<const char*, const char*> cases[] = {
        {"38400,n,8,1", "38400 N 8 10"}, {"9600,E,7,2", "9600 E 7 20"}, {" 115200 , o , 8 , 1.5 ", "115200 O 8 15"},
        {"300,m,5,1", "300 M 5 10"},     {"38400,n,8", ""},             {"38400,n,8,1,1", ""},
        {"fast,n,8,1", ""},              {"38400,x,8,1", ""},           {"38400,n,9,1", ""},
        {"38400,n,8,3", ""},             {"", ""},                      {"38400,,8,1", ""},
        {"-5,n,8,1", ""}};
    auto n = [](int v) { return std::to_string(v); };
    for (const auto& [text, taken] : cases) {
        auto s = kv::platform::parseLineSettings(text);
        EXPECT_EQ(s ? n(s->baud) + " " + s->parity + " " + n(s->dataBits) + " " + n(s->stopBits) : "", taken) << text;
    }
    // Refused settings leave the old ones; DTR is kept while closed, the modem lines read only while open, and
    // nothing is written while closed.
    Rig rig;
    auto& p = rig.port;
    EXPECT_TRUE(p.setSettings("38400,n,8,1") && !p.setSettings("38400;n;8;1"));
    EXPECT_TRUE(!p.setHandshaking(4) && p.setHandshaking(3));
    EXPECT_EQ(p.Settings() + " " + std::to_string(p.Handshaking()), "38400,n,8,1 3");
    p.setCommPort(10);
    p.setDTREnable(true);
    EXPECT_TRUE(p.DTREnable() && !p.CTSHolding());
    ASSERT_TRUE(p.setPortOpen(true));
    EXPECT_TRUE(p.DTREnable() && p.CTSHolding());
    p.Output({0x01});
    p.setPortOpen(false);
    p.Output({0x02});
    EXPECT_EQ(p.written, (std::vector<kv::sim::Bytes>{{0x01}}));
}

// Listeners that stop listening, or stop another, while they are called:
// the one removed is not called, the rest are, each once.
TEST(Listeners, OneRemovedDuringACallIsNeitherCalledNorLeftDangling) {
    // Listener `caller` (1 to 3) removes `removes`; those called, in order.
    for (auto [caller, removes, expected] : {std::tuple{1, 2, "13"}, {1, 3, "12"}, {2, 3, "12"}, {2, 2, "123"},
                                            {3, 1, "123"}, {1, 1, "123"}}) {
        kv::platform::Listeners<> listeners;
        std::string called;
        int ids[4] = {};
        for (int n = 1; n <= 3; ++n)
            ids[n] = listeners.add([&, n] {
                called += char('0' + n);
                if (n == caller) listeners.remove(ids[removes]);
            });
        listeners.call();
        EXPECT_EQ(called, expected) << caller << " removes " << removes;
    }
}

}  // namespace
