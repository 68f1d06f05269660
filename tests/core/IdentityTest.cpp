// The identity and status buttons' frames and the handlers of their replies.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"
#include "ui/Text.h"

using kv::sim::Bytes;
using namespace kv::test;

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

// Each reply as the dashboard shows and logs it: the firmware's long and
// short forms, the checksum's log row (only without an asset), replies
// shorter than their fields (the buffer still holding an earlier, longer
// one), the configuration's checksum, client, asset and status.
TEST_F(Handlers, RepliesAreShownAndLoggedFromWhatArrivedOnly) {
    auto supported = [](bool yes) { return [yes](Rig& r) { EXPECT_EQ(r.main->sequence.supported(), yes); }; };
    const std::string mac = "reply 18 01 0C 30 30 30 34 41 33 42 31 43 32 44 33";
    const std::string status = "reply 02 01 0E 01 01 01 00 00 00 01 01 00 02 2B 01 A4 01 90";
    EXPECT_TRUE(play(rig, {
        {"reply 01 01 07 4B 35 78 0A 00 FF 00", "", {{"lblFWVersion", "K5x 100255"}}, "", supported(false)},
        {"reply 01 01 06 01 02 03 62 62 62", "", {{"lblFWVersion", "DEV 123"}}, "", supported(false)},
        {"reply 01 01 03 01 06 02", "", {{"lblFWVersion", "DEV 162"}}, "", supported(false)},
        {"reply 01 01 07 41 42 62 01 02 03 00", "", {{"lblFWVersion", "ABb 123"}}, "", supported(true)},
        // A later reply without the letter b leaves the support as it was.
        {"reply 01 01 07 4B 35 78 01 02 03 00", "", {{"lblFWVersion", "K5x 123"}}, "", supported(true)},
        // The checksum writes the log row only while the asset box is empty.
        {"caption lblFWVersion K5b 162"}, {"caption lblCounter 3"}, {"type txtAssetID  ABC"},
        {"reply 0A 01 02 05 C0", "", {{"lblCheckSum", "05 C0 "}, {"@log", kv::app::ProvisioningLog::kHeader}}},
        {"type txtAssetID "},
        {"reply 0A 01 02 05 C0", "", {{"@log", "14:05:09 05/12/2026, 05 C0 , 3, K5b 162"}}},
        // Control characters from a reply never break the row.
        {"reply 01 01 07 4B 0D 0A 01 02 03 00"},
        {"reply 0A 01 02 05 C0", "", {{"@log", "14:05:09 05/12/2026, 05 C0 , 3, K?? 123"}}},
        // Short replies behind longer ones.
        {mac}, {"reply 01 01 01 07", "", {{"lblFWVersion", "DEV 7"}}},
        {"caption lblGetStatus(3)  005"}, {mac}, {"reply 15 01 01 58", "", {{"lblGetStatus(3)", " 005"}}},
        {"caption lblCheckSum 1A 2B "}, {mac}, {"reply 0A 01 01 05", "", {{"lblCheckSum", "1A 2B "}}},
        {status}, {"reply 18 01 05 30 30 30 34 41", "", {{"lblMacAddress", " 0004A"}}},
        {"caption lblGetStatus(7) OPEN"}, {status}, {"reply 02 01 07 00 00 00 00 00 00 00", "", {{"lblGetStatus(7)", "OPEN"}}},
        {"caption lblGetStatus(4) ---"}, {mac}, {"reply 02 01 01 00", "", {{"lblGetStatus(4)", "---"}}},
        // The checksum's log row has an empty checksum rather than a stale byte.
        {"caption lblFWVersion K5b 162"}, {"type txtAssetID "}, {mac},
        {"reply 0A 01 01 05", "", {{"@log", "14:05:09 05/12/2026, , 3, K5b 162"}}},
        // The configuration's checksum: z+12 and z+11 after the first zero from index 11.
        {"reply 05 01 1D 04 00 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 00 15 16 17 18 19 1A 1B 1C 1D 1E A1 B2", "",
         {{"lblCheckSum", "B2 A1"}}},
        {"reply 05 01 10 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11", "", {{"lblCheckSum", ""}}},
        {"reply 15 01 03 41 42 43", "", {{"lblGetStatus(3)", " ABC"}}},
        {"reply 16 01 02 00 00", "", {{"txtAssetID", " "}}},  // an empty asset
        // Status: outputs, door and temperatures; the first reading to the front panel.
        {"reply 02 01 0E FF 00 01 09 09 09 00 01 02 2B 01 00 64 01", "",
         {{"lblGetStatus(3)", "ON"}, {"lblGetStatus(4)", "OFF"}, {"lblGetStatus(5)", "ON"}, {"lblGetStatus(8)", "OFF"},
          {"lblGetStatus(7)", "OPEN"}, {"lblGetStatus(0)", "25.5"}, {"lblGetStatus(1)", "---"},
          {"lblGetStatus(2)", "---"}, {"lblSettingValue", "25.5"}, {"lblSettingParam", "--"}}},
        // An invalid first reading leaves the front panel as it was.
        {"caption lblSettingValue 7.7"},
        {"reply 02 01 0E FF 00 01 09 09 09 00 00 64 2B 01 00 64 01", "",
         {{"lblGetStatus(0)", "---"}, {"lblGetStatus(7)", "CLOSED"}, {"lblSettingValue", "7.7"}}},
        // A short status reply decodes what fits and leaves the rest.
        {"caption lblGetStatus(3) x"}, {"caption lblGetStatus(4) x"}, {"caption lblGetStatus(0) 1.0"},
        {"reply 02 01 02 01 00", "", {{"lblGetStatus(3)", "ON"}, {"lblGetStatus(4)", "OFF"}, {"lblGetStatus(0)", "1.0"}}},
    }));
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

}  // namespace
