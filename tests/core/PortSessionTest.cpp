// Every way back to an identified controller after a port failure, a cancel,
// an unplug or a replug, without restarting the program; line settings as the
// serial port takes them.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/Rig.h"

using kv::test::Rig;
using kv::platform::parseLineSettings;

namespace {

struct Ways : ::testing::Test {
    kv::app::frmMain& m() { return *rig.main; }
    bool connected() { return m().progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }
    void start() { m().indicators.cmdSTOPComms.click(); }
    Rig rig;
};

TEST_F(Ways, AFailedOkIdentifiesOnceStartOpensThePort) {
    rig.port.refusals[10] = kv::platform::OpenError::Busy;
    m().Form_Load();
    auto& ports = m().startup.cboPort;
    auto it = std::find(ports.items().begin(), ports.items().end(), " COM  10");
    ASSERT_NE(it, ports.items().end());
    ports.setListIndex(static_cast<int>(it - ports.items().begin()));
    m().startup.cmdOK.click();
    EXPECT_EQ(m().receive.lblError.caption(), "Port busy");
    EXPECT_EQ(m().indicators.cmdSTOPComms.caption(), "START");
    EXPECT_EQ(m().indicators.lblOpen.caption(), "Closed");
    rig.clock.advance(10000);
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_FALSE(m().progress.window.visible());
    rig.port.refusals.clear();
    start();
    EXPECT_EQ(m().indicators.cmdSTOPComms.caption(), "STOP");
    EXPECT_EQ(m().receive.lblError.caption(), "");  // the error does not outlive its cause
    rig.clock.advance(8000);
    EXPECT_TRUE(connected());
}

TEST_F(Ways, NoneOrCancelLeaveStartForTheLastPortAndRefreshIdentifies) {
    for (bool cancel : {false, true}) {
        Rig r;
        r.main->Form_Load();
        auto& dlg = r.main->startup;
        if (cancel) {
            dlg.cmdCancel.click();
        } else {
            dlg.cboPort.setListIndex(0);  // <none>
            dlg.cmdOK.click();
        }
        auto& startStop = r.main->indicators.cmdSTOPComms;
        ASSERT_TRUE(startStop.enabled()) << cancel;
        EXPECT_EQ(startStop.caption(), "START");
        startStop.click();
        EXPECT_TRUE(r.port.PortOpen()) << cancel;
        EXPECT_EQ(r.port.CommPort(), 10);
        r.clock.advance(3000);
        EXPECT_TRUE(r.port.written.empty());  // START alone only opens
        r.main->serviceMode.cmdRefreshNextController.click();
        r.clock.advance(8000);
        EXPECT_EQ(r.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK") << cancel;
    }
}

TEST_F(Ways, AReturningDeviceIsReopenedAndIdentifiedWithinASecond) {
    rig.identify();
    ASSERT_TRUE(connected());
    std::string settings = rig.port.Settings();
    rig.port.unplug();
    EXPECT_EQ(m().receive.lblError.caption(), "Port lost");
    EXPECT_EQ(m().indicators.lblOpen.caption(), "Closed");
    rig.clock.advance(3000);  // still away: looked for, not found
    EXPECT_FALSE(rig.port.PortOpen());

    // Another controller on the same device.
    rig.controller.state.mac = "00AABBCCDDEE";
    rig.port.freePorts.insert(10);
    rig.clock.advance(kv::link::PortSession::kWatchMs);
    EXPECT_TRUE(rig.port.PortOpen());
    EXPECT_EQ(rig.port.Settings(), settings);
    EXPECT_EQ(m().receive.lblError.caption(), "Port back");
    EXPECT_EQ(m().indicators.cmdSTOPComms.caption(), "STOP");
    EXPECT_EQ(m().indicators.lblOpen.caption(), "Open");
    rig.clock.advance(8000);
    EXPECT_TRUE(connected());
    EXPECT_EQ(m().identity.lblMacAddress.caption(), " 00AABBCCDDEE");
}

TEST(Replug, TheReturnedDeviceIsIdentifiedFromItsFirstRequestWhateverTheStepItWentAt) {
    // Unplugged just after the request of step 0 (firmware) ... 5 (asset).
    for (int step = 0; step <= 5; ++step) {
        Rig rig;
        rig.load();
        rig.clock.advance(1000 * (step + 1));  // the request of `step` has just gone
        rig.port.unplug();
        rig.controller.state.mac = "00AABBCCDDEE";  // another controller comes back
        rig.port.freePorts.insert(10);
        rig.port.written.clear();
        rig.clock.advance(9000);
        ASSERT_FALSE(rig.port.written.empty()) << step;
        EXPECT_EQ(rig.port.written.front(), (kv::sim::Bytes{0x01, 0x01, 0x01, 0x00})) << step;
        EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK") << step;
        EXPECT_EQ(rig.main->identity.lblMacAddress.caption(), " 00AABBCCDDEE") << step;
    }
}

TEST_F(Ways, StartBeforeTheWatchFindsTheDeviceIdentifiesItToo) {
    rig.identify();
    rig.port.unplug();
    rig.controller.state.mac = "00AABBCCDDEE";
    rig.port.freePorts.insert(10);
    start();  // before the watch's next look
    EXPECT_EQ(m().receive.lblError.caption(), "Port back");
    rig.clock.advance(8000);
    EXPECT_EQ(m().identity.lblMacAddress.caption(), " 00AABBCCDDEE");
}

TEST_F(Ways, APortDialogEndsTheWatchWhateverItEndsWith) {
    for (int ending = 0; ending < 3; ++ending) {  // Cancel, <none>, OK
        Rig r;
        r.identify();
        r.port.unplug();
        auto& dlg = r.main->settings;
        dlg.CommSettings(&r.main->session, "Communications Port Settings");
        r.port.freePorts.insert(10);  // back while the dialog is open
        r.clock.advance(2000);
        EXPECT_FALSE(r.port.PortOpen()) << ending;
        if (ending == 0) dlg.cmdCancel.click();
        else {
            dlg.cboPort.setListIndex(ending == 1 ? 0 : 1);
            dlg.cmdOK.click();
        }
        r.clock.advance(5000);
        EXPECT_FALSE(r.port.PortOpen()) << ending;  // START opens it
        EXPECT_EQ(r.main->indicators.cmdSTOPComms.caption(), "START") << ending;
    }
}

TEST_F(Ways, TheSettingsWaitUntilABulkWriteIsDone) {
    rig.identify();
    rig.main->bulkWrite.cdmSetParams.click();
    // Were the write refused, the dialog would open and the menu wait for it.
    ASSERT_TRUE(rig.main->bulkWrite.tmrSetMultipleParams.enabled());
    rig.main->window.menu("mnuSettings").click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("being written"), std::string::npos);
    EXPECT_FALSE(rig.main->settings.window.visible());
    EXPECT_TRUE(rig.port.PortOpen());
}

TEST_F(Ways, StopMeansStopped) {
    rig.identify();
    start();  // STOP
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_FALSE(m().session.watching());
    rig.clock.advance(5000);
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_EQ(m().indicators.cmdSTOPComms.caption(), "START");
    // A dialog's scan closes the port the same way: not reopened by itself.
    start();
    m().startup.CommStartup(&rig.main->session, "Communications Port Settings");
    rig.clock.advance(5000);
    EXPECT_FALSE(rig.port.PortOpen());
}

// ----------------------------------------------------------------
// The port's own rules: settings strings, handshaking, and the modem lines
// kept while closed.

TEST(LineSettings, AcceptsTheUsualFormsAndRefusesTheRest) {
    const struct {
        const char* text;
        bool ok;
        int baud;
        char parity;
        int data, stop;
    } cases[] = {
        {"38400,n,8,1", true, 38400, 'N', 8, 10}, {"9600,E,7,2", true, 9600, 'E', 7, 20},
        {" 115200 , o , 8 , 1.5 ", true, 115200, 'O', 8, 15}, {"300,m,5,1", true, 300, 'M', 5, 10},
        {"38400,n,8", false, 0, 0, 0, 0}, {"38400,n,8,1,1", false, 0, 0, 0, 0}, {"fast,n,8,1", false, 0, 0, 0, 0}, {"38400,x,8,1", false, 0, 0, 0, 0},
        {"38400,n,9,1", false, 0, 0, 0, 0}, {"38400,n,8,3", false, 0, 0, 0, 0}, {"", false, 0, 0, 0, 0}, {"38400,,8,1", false, 0, 0, 0, 0}, {"-5,n,8,1", false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        auto s = parseLineSettings(c.text);
        ASSERT_EQ(s.has_value(), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(s->baud, c.baud) << c.text;
        EXPECT_EQ(s->parity, c.parity) << c.text;
        EXPECT_EQ(s->dataBits, c.data) << c.text;
        EXPECT_EQ(s->stopBits, c.stop) << c.text;
    }
}

TEST(SerialPort, RefusedSettingsLeaveTheOldOnes) {
    kv::test::Rig rig;
    EXPECT_TRUE(rig.port.setSettings("38400,n,8,1"));
    EXPECT_FALSE(rig.port.setSettings("38400;n;8;1"));
    EXPECT_EQ(rig.port.Settings(), "38400,n,8,1");
    EXPECT_FALSE(rig.port.setHandshaking(4));
    EXPECT_TRUE(rig.port.setHandshaking(3));
    EXPECT_EQ(rig.port.Handshaking(), 3);
}

TEST(SerialPort, ModemLinesKeepTheirValueWhileClosed) {
    kv::test::Rig rig;
    rig.port.setCommPort(10);
    rig.port.setDTREnable(true);
    EXPECT_TRUE(rig.port.DTREnable());
    EXPECT_FALSE(rig.port.CTSHolding());  // nothing to read while closed
    ASSERT_TRUE(rig.port.setPortOpen(true));
    EXPECT_TRUE(rig.port.DTREnable());
    EXPECT_TRUE(rig.port.CTSHolding());
    rig.port.Output({0x01});
    rig.port.setPortOpen(false);
    rig.port.Output({0x02});  // ignored while closed
    EXPECT_EQ(rig.port.written, (std::vector<kv::sim::Bytes>{{0x01}}));
}

}  // namespace

namespace {

// Listeners that stop listening, or stop another, while they are called:
// the one removed is not called, the rest are, each once.
TEST(Listeners, OneRemovedDuringACallIsNeitherCalledNorLeftDangling) {
    const struct {
        int caller, removes;  // listener `caller` (1 to 3) removes `removes`
        const char* called;
    } cases[] = {{1, 2, "13"}, {1, 3, "12"}, {2, 3, "12"}, {2, 2, "123"}, {3, 1, "123"}, {1, 1, "123"}};
    for (const auto& c : cases) {
        kv::platform::Listeners<> listeners;
        std::string called;
        int ids[4] = {};
        for (int n = 1; n <= 3; ++n)
            ids[n] = listeners.add([&, n] {
                called += char('0' + n);
                if (n == c.caller) listeners.remove(ids[c.removes]);
            });
        listeners.call();
        EXPECT_EQ(called, c.called) << c.caller << " removes " << c.removes;
    }
}

}  // namespace
