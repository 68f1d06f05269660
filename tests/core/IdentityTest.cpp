// The identity and status buttons' frames and the handlers of their replies.
#include <gtest/gtest.h>


#include "tests/support/Rig.h"
#include "ui/Text.h"

using kv::sim::Bytes;
using kv::test::Rig;

namespace {

struct Handlers : ::testing::Test {
    Handlers() {
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);  // the tests ask by themselves
        rig.main->sequence.abort();
        rig.takeWritten();
    }
    // A reply delivered as one chunk after a request reset the buffer.
    void reply(const Bytes& bytes) {
        rig.main->receive.ResetReceive();
        rig.port.deliver(bytes);
    }
    std::string logText() { return kv::test::readFile(rig.main->log.path()); }
    Rig rig;
};

TEST_F(Handlers, ButtonsSendTheirFramesAndSwitchThePollOff) {
    auto& m = *rig.main;
    const struct {
        kv::ui::Button* button;
        Bytes frame;
        bool pollOff;
    } cases[] = {
        {&m.identity.cdmGETV, {0x01, 0x01, 0x01, 0x00}, true},
        {&m.identity.cmdGetCheckSum, {0x0A, 0x01, 0x01, 0x00}, true},
        {&m.identity.cmdGetConfiguration, {0x05, 0x01, 0x00, 0x00}, true},
        {&m.identity.cmdGetMACAddress, {0x18, 0x01, 0x01, 0x00}, false},
        {&m.identity.cmdGetClientID, {0x15, 0x01, 0x01, 0x00}, true},
        {&m.identity.cmdGetAssetID, {0x16, 0x01, 0x01, 0x00}, true},
        {&m.status.cmdGetStatus, {0x02, 0x01, 0x01, 0x00}, false},
        {&m.paramRead.cmdGetParams, kv::link::frameReadParams(), false},
    };
    for (bool open : {true, false}) {
        rig.port.setPortOpen(open);
        for (const auto& c : cases) {
            m.sequence.tmrStatusGET.setEnabled(true);
            m.receive.iRxIdx = 7;
            c.button->press();  // hidden buttons run the same routine
            EXPECT_EQ(m.receive.iRxIdx, 1) << c.button->name();
            EXPECT_EQ(m.sequence.tmrStatusGET.enabled(), !c.pollOff) << c.button->name();
            auto written = rig.takeWritten();
            if (open) {
                ASSERT_EQ(written.size(), 1u) << c.button->name();
                EXPECT_EQ(written[0], c.frame) << c.button->name();
            } else {
                EXPECT_TRUE(written.empty()) << c.button->name();
            }
        }
    }
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Handlers, FirmwareLongAndShortForms) {
    auto& id = rig.main->identity;
    auto& sequence = rig.main->sequence;
    const struct {
        const char* name;
        Bytes reply;
        const char* shown;
        bool supported;
    } cases[] = {
        {"long, numbers run together", {0x01, 0x01, 0x07, 'K', '5', 'x', 0x0A, 0x00, 0xFF, 0}, "K5x 100255", false},
        {"nine bytes: short form", {0x01, 0x01, 0x06, 1, 2, 3, 'b', 'b', 'b'}, "DEV 123", false},
        {"short form", {0x01, 0x01, 0x03, 1, 6, 2}, "DEV 162", false},
        {"long, supported", {0x01, 0x01, 0x07, 'A', 'B', 'b', 1, 2, 3, 0}, "ABb 123", true},
        // A later reply without the letter b leaves the support as it was.
        {"long, after a supported one", {0x01, 0x01, 0x07, 'K', '5', 'x', 1, 2, 3, 0}, "K5x 123", true},
    };
    for (const auto& c : cases) {
        reply(c.reply);
        EXPECT_EQ(id.lblFWVersion.caption(), c.shown) << c.name;
        EXPECT_EQ(sequence.supported(), c.supported) << c.name;
    }
}

// Each reply, as the controller sends it, answers one step of the
// identification.
TEST_F(Handlers, EachReplyAnswersOnlyItsOwnStep) {
    using Step = kv::link::ConnectionSequence::Step;
    kv::sim::VirtualController c;
    auto answer = [&](Bytes request) { return *c.answer(request, 0); };
    const struct {
        Bytes reply;
        Step step;
    } cases[] = {
        {answer({0x01, 0x01, 0x01, 0x00}), Step::Firmware}, {answer({0x0A, 0x01, 0x01, 0x00}), Step::Checksum},
        {answer({0x05, 0x01, 0x00, 0x00}), Step::Checksum}, {c.statusReply(), Step::Checksum},
        {answer(kv::link::frameReadParams()), Step::Params}, {answer({0x18, 0x01, 0x01, 0x00}), Step::Mac},
        {answer({0x15, 0x01, 0x01, 0x00}), Step::Client}, {answer({0x16, 0x01, 0x01, 0x00}), Step::Asset},
    };
    std::vector<kv::link::Reply> replies;
    rig.main->receive.listenReplies([&](kv::link::Reply r) { replies.push_back(r); });
    for (const auto& k : cases) {
        replies.clear();
        reply(k.reply);
        ASSERT_FALSE(replies.empty()) << int(k.reply[0]);
        EXPECT_EQ(kv::link::ConnectionSequence::answeredBy(replies.back()), k.step) << int(k.reply[0]);
    }
}

TEST_F(Handlers, ChecksumWritesTheLogRowOnlyWithoutAnAsset) {
    auto& id = rig.main->identity;
    id.lblFWVersion.setCaption("K5b 162");
    rig.main->counter.lblCounter.setCaption("3");
    const std::string header = std::string(kv::app::ProvisioningLog::kHeader) + "\r\n";
    id.txtAssetID.setText(" ABC");
    reply({0x0A, 0x01, 0x02, 0x05, 0xC0});
    EXPECT_EQ(id.lblCheckSum.caption(), "05 C0 ");
    EXPECT_EQ(logText(), header);
    id.txtAssetID.setText("");
    reply({0x0A, 0x01, 0x02, 0x05, 0xC0});
    EXPECT_EQ(logText(), header + "14:05:09 05/12/2026, 05 C0 , 3, K5b 162\r\n");
    // Control characters from a reply never break the row.
    reply({0x01, 0x01, 0x07, 'K', '\r', '\n', 1, 2, 3, 0});
    reply({0x0A, 0x01, 0x02, 0x05, 0xC0});
    EXPECT_EQ(logText(), header + "14:05:09 05/12/2026, 05 C0 , 3, K5b 162\r\n" +
                             "14:05:09 05/12/2026, 05 C0 , 3, K?? 123\r\n");
}

// A reply shorter than its fields shows and logs only what arrived: the
// buffer still holds an earlier, longer reply behind it.
TEST_F(Handlers, ShortRepliesNeverShowBytesOfAnEarlierReply) {
    auto& m = *rig.main;
    const Bytes mac{0x18, 0x01, 0x0C, '0', '0', '0', '4', 'A', '3', 'B', '1', 'C', '2', 'D', '3'};
    const Bytes status{0x02, 0x01, 0x0E, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0x02, 0x2B, 0x01, 0xA4, 0x01, 0x90};
    const struct {
        const char* name;
        Bytes before;
        Bytes reply;
        kv::ui::Label* label;
        const char* shown;
    } cases[] = {
        {"firmware, one number", mac, {0x01, 0x01, 0x01, 0x07}, &m.identity.lblFWVersion, "DEV 7"},
        {"client, one character", mac, {0x15, 0x01, 0x01, 'X'}, &m.identity.lblClient, " 005"},
        {"checksum, one byte", mac, {0x0A, 0x01, 0x01, 0x05}, &m.identity.lblCheckSum, "1A 2B "},
        {"MAC, five characters", status, {0x18, 0x01, 0x05, '0', '0', '0', '4', 'A'}, &m.identity.lblMacAddress,
         " 0004A"},
        {"status, door beyond the reply", status, {0x02, 0x01, 0x07, 0, 0, 0, 0, 0, 0, 0},
         &m.status.lblGetStatus(7), "OPEN"},
        {"status, output 2 beyond the reply", mac, {0x02, 0x01, 0x01, 0}, &m.status.lblGetStatus(4), "---"},
    };
    for (const auto& c : cases) {
        m.identity.lblClient.setCaption(" 005");
        m.identity.lblCheckSum.setCaption("1A 2B ");
        m.status.lblGetStatus(7).setCaption("OPEN");
        m.status.lblGetStatus(4).setCaption("---");
        reply(c.before);
        reply(c.reply);
        EXPECT_EQ(c.label->caption(), c.shown) << c.name;
    }
    // The checksum's log row has an empty checksum rather than a stale byte.
    m.identity.txtAssetID.setText("");
    m.identity.lblFWVersion.setCaption("K5b 162");
    reply(mac);
    reply({0x0A, 0x01, 0x01, 0x05});
    std::string log = logText();
    EXPECT_NE(log.find("14:05:09 05/12/2026, , , K5b 162\r\n"), std::string::npos) << log;
}

TEST_F(Handlers, ConfigurationShowsTheValueAfterTheFirstZero) {
    auto& sum = rig.main->identity.lblCheckSum;
    Bytes config{0x05, 0x01, 0x1D};
    for (int i = 4; i <= 32; ++i) config.push_back(static_cast<std::uint8_t>(i));
    auto at = [&](int position) -> std::uint8_t& { return config[static_cast<std::size_t>(position - 1)]; };
    at(5) = 0;                   // a zero before index 11 does not count
    at(20) = 0;                  // the first zero from index 11: z = 20
    at(31) = 0xA1, at(32) = 0xB2;  // z+11 and z+12
    reply(config);
    EXPECT_EQ(sum.caption(), "B2 A1");
    Bytes noZero{0x05, 0x01, 0x10};
    for (int i = 4; i <= 19; ++i) noZero.push_back(0x11);
    reply(noZero);
    EXPECT_EQ(sum.caption(), "");
}

TEST_F(Handlers, ClientAndAssetShowWhatCame) {
    auto& m = *rig.main;
    reply({0x15, 0x01, 0x03, 'A', 'B', 'C'});
    EXPECT_EQ(m.identity.lblClient.caption(), " ABC");
    reply({0x16, 0x01, 0x02, 0, 0});  // an empty asset
    EXPECT_EQ(m.identity.txtAssetID.text(), " ");
}

TEST_F(Handlers, EveryDumpHasOneGroupPerByteAndTheByteAfter) {
    kv::sim::VirtualController c;
    for (Bytes request : {Bytes{0x01, 0x01, 0x01, 0x00}, Bytes{0x0A, 0x01, 0x01, 0x00}, Bytes{0x05, 0x01, 0x00, 0x00},
                          Bytes{0x18, 0x01, 0x01, 0x00}, Bytes{0x15, 0x01, 0x01, 0x00}, Bytes{0x16, 0x01, 0x01, 0x00},
                          Bytes{0x08, 0x01, 0x01, 0x01}, Bytes{0x02, 0x01, 0x01, 0x00}}) {
        Bytes r = *c.answer(request, 0);
        reply(r);
        EXPECT_EQ(rig.main->receive.Text1.text().size(), 3 * (r.size() + 1)) << int(request[0]);
        EXPECT_EQ(rig.main->receive.Text1.text().substr(0, 3), " " + kv::ui::hex2(request[0]));
    }
}

TEST_F(Handlers, StatusDecodesOutputsDoorAndTemperatures) {
    auto& st = rig.main->status;
    Bytes r{0x02, 0x01, 0x0E, 0xFF, 0x00, 0x01, 9, 9, 9, 0x00, 0x01, 0x02, 0x2B, 0x01, 0x00, 0x64, 0x01};
    reply(r);
    EXPECT_EQ(st.lblGetStatus(3).caption(), "ON");
    EXPECT_EQ(st.lblGetStatus(4).caption(), "OFF");
    EXPECT_EQ(st.lblGetStatus(5).caption(), "ON");
    EXPECT_EQ(st.lblGetStatus(8).caption(), "OFF");
    EXPECT_EQ(st.lblGetStatus(7).caption(), "OPEN");
    EXPECT_EQ(st.lblGetStatus(0).caption(), "25.5");
    EXPECT_EQ(st.lblGetStatus(1).caption(), "---");  // low byte 0
    EXPECT_EQ(st.lblGetStatus(2).caption(), "---");  // high byte 100
    EXPECT_EQ(st.lblSettingValue.caption(), "25.5");
    EXPECT_EQ(st.lblSettingParam.caption(), "--");

    // An invalid first reading leaves the front panel as it was.
    st.lblSettingValue.setCaption("7.7");
    r[11] = 0x64;
    r[10] = 0x00;
    reply(r);
    EXPECT_EQ(st.lblGetStatus(0).caption(), "---");
    EXPECT_EQ(st.lblGetStatus(7).caption(), "CLOSED");
    EXPECT_EQ(st.lblSettingValue.caption(), "7.7");
}

TEST(Status, ReadingRule) {
    const struct {
        int high, low;
        const char* shown;
    } cases[] = {{0x02, 0x2B, "25.5"}, {0x01, 0x2C, "0.0"}, {0x00, 0xFA, "-5.0"}, {0x01, 0x2B, "-0.1"},
                 {0x02, 0x00, "---"},  {0x64, 0x01, "---"}, {0x63, 0xFF, "2529.9"}, {0x00, 0x01, "-29.9"}};
    for (const auto& c : cases)
        EXPECT_EQ(kv::controller::formatReading(static_cast<std::uint8_t>(c.high), static_cast<std::uint8_t>(c.low)),
                  c.shown)
            << c.high << "," << c.low;
}

// The screen follows the system's locale; the log keeps its fixed form.
TEST(Status, TemperaturesAndTheClockFollowTheLocale) {
    const struct {
        const char* decimal;
        const char* shown;
    } cases[] = {{".", "25.5"}, {",", "25,5"}, {"\xB7", "25\xB7" "5"}};
    for (const auto& c : cases) {
        Rig rig;
        rig.locale.decimal = c.decimal;
        rig.identify();
        EXPECT_EQ(rig.main->status.lblGetStatus(0).caption(), "---");
        rig.main->status.cmdGetStatus.press();
        rig.clock.advance(100);
        EXPECT_EQ(rig.main->status.lblGetStatus(0).caption(), c.shown) << c.decimal;
        EXPECT_EQ(rig.main->status.lblSettingValue.caption(), c.shown) << c.decimal;
    }
    struct DayFirstWords : kv::platform::Locale {
        std::string decimalPoint() const override { return ","; }
        std::string generalDate(const kv::platform::DateTime& t) const override {
            return std::to_string(t.day) + "." + std::to_string(t.month) + "." + std::to_string(t.year) + " " +
                   std::to_string(t.hour) + " h " + std::to_string(t.minute);
        }
    };
    Rig rig;
    DayFirstWords german;
    kv::platform::Platform platform = rig.platform;
    kv::platform::Platform withLocale{platform.port, platform.probe, platform.settings, platform.folders,
                                      platform.fileDialog, platform.messageBox, platform.beep, platform.events,
                                      platform.pointer, platform.screen, platform.clock, platform.timers, german};
    rig.main.reset();
    kv::app::frmMain m(withLocale);
    m.Form_Load();
    rig.clock.advance(1000);
    EXPECT_EQ(m.sequence.lblTime.caption(), "5.12.2026 14 h 5");
    // The log's file name and rows keep their fixed forms.
    EXPECT_EQ(m.log.path().filename().string(), "LOG_14_05_09_05_12_2026.csv");
}

TEST_F(Handlers, AShortStatusReplyDecodesWhatFits) {
    auto& st = rig.main->status;
    reply({0x02, 0x01, 0x02, 0x01, 0x00});  // n = 6: byte 6 is stale
    EXPECT_EQ(st.lblGetStatus(3).caption(), "ON");
    EXPECT_EQ(st.lblGetStatus(4).caption(), "OFF");
    EXPECT_EQ(st.lblGetStatus(0).caption(), "---");  // not reached: keeps its design text
}

}  // namespace
