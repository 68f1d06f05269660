// The information bar: port labels, modem-line lamps and their clicks, and the
// activity blink.
#include <gtest/gtest.h>

#include "tests/support/Rig.h"

using kv::test::Rig;

namespace {

TEST(Indicators, ShowInfoShowsThePortEvenWhenClosed) {
    Rig rig;
    rig.port.freePorts.clear();  // port 10 is not there
    rig.load();
    auto& ind = rig.main->indicators;
    EXPECT_EQ(ind.lblPort.caption(), "Port 10");
    EXPECT_EQ(ind.lblSettings.caption(), "38400,N,8,1");
    EXPECT_EQ(ind.lblOpen.caption(), "Closed");
    EXPECT_EQ(ind.lblMode.caption(), "Event");
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(Indicators, LampsFollowTheModemLines) {
    Rig rig;
    rig.port.cd = false;
    rig.port.cts = true;
    rig.port.dsr = false;
    rig.load();
    auto& ind = rig.main->indicators;
    EXPECT_EQ(ind.imgCD.picture(), "line_off");
    EXPECT_EQ(ind.imgCTS.picture(), "line_on");
    EXPECT_EQ(ind.imgDSR.picture(), "line_off");
    rig.port.dsr = true;
    rig.port.inject(kv::platform::comEvDSR);
    EXPECT_EQ(ind.imgDSR.picture(), "line_on");
    EXPECT_EQ(ind.imgRx.picture(), "activity_idle");
    EXPECT_EQ(ind.imgTx.picture(), "activity_idle");
}

TEST(Indicators, DtrAndRtsClicksToggleTheirLine) {
    Rig rig;
    rig.load();
    auto& ind = rig.main->indicators;
    const struct {
        kv::ui::Image* lamp;
        std::function<bool()> line;
    } cases[] = {{&ind.imgDTR, [&] { return rig.port.DTREnable(); }},
                 {&ind.imgRTS, [&] { return rig.port.RTSEnable(); }}};
    for (const auto& c : cases) {
        bool before = c.line();
        std::string picture = c.lamp->picture();
        c.lamp->click();
        EXPECT_NE(c.line(), before) << c.lamp->name();
        EXPECT_NE(c.lamp->picture(), picture) << c.lamp->name();
        c.lamp->click();
        EXPECT_EQ(c.line(), before) << c.lamp->name();
        EXPECT_EQ(c.lamp->picture(), picture) << c.lamp->name();
    }
    ind.imgCD.click();  // the other lamps do nothing
    EXPECT_EQ(ind.imgCD.picture(), "line_off");
}

TEST(Indicators, ActivityLampsBlinkForAboutATenthOfASecond) {
    Rig rig;
    rig.load();
    auto& ind = rig.main->indicators;
    rig.port.deliver({0x33});
    EXPECT_EQ(ind.imgRx.picture(), "activity");
    rig.clock.advance(99);
    EXPECT_EQ(ind.imgRx.picture(), "activity");
    rig.clock.advance(1);
    EXPECT_EQ(ind.imgRx.picture(), "activity_idle");

    rig.main->identity.cmdGetAssetID.click();  // the transmit event follows the write
    rig.clock.advance(2);
    EXPECT_EQ(ind.imgTx.picture(), "activity");
    rig.clock.advance(100);
    EXPECT_EQ(ind.imgTx.picture(), "activity_idle");
}

}  // namespace
