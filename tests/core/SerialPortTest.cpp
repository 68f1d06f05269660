// The port's own rules: settings strings, handshaking, and the modem lines
// kept while closed.
#include <gtest/gtest.h>

#include "tests/support/Rig.h"

using kv::platform::parseLineSettings;

namespace {

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
