// The identity and status buttons' frames, the handlers of their replies, and the
// parameter write frames.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/Scenario.h"
#include "ui/Text.h"

using namespace kv::test;
using Stage = kv::link::ConnectionSequence::Step;

namespace {

const char* const kRead = "06 01 29 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B "
                          "1C 1D 1E 1F 20 21 22 23 24 25 26 27 99 99";

// Each reply as the dashboard shows and logs it: the firmware's long and
// short forms, the checksum's log row (only without an asset), replies
// shorter than their fields (the buffer still holding an earlier, longer
// one), the configuration's checksum, client, asset and status.
// Each button sends its frame while the port is open, nothing while it is
// closed, and resets the receive buffer; most switch the status poll off.
// The controller's answer is dumped one group per byte and the byte after,
// and answers one step of the identification (a service-mode reply none).
TEST(Handlers, RepliesAreShownAndLoggedFromWhatArrivedOnlyAndButtonsSendTheirFrames) {
    Rig rig;
    rig.load();
    rig.main->sequence.abort();
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
        {"type txtAssetID "}, {"reply 0A 01 02 05 C0", "", {{"@log", "14:05:09 05/12/2026, 05 C0 , 3, K5b 162"}}},
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
        {"caption lblSettingValue 7.7"}, {"reply 02 01 0E FF 00 01 09 09 09 00 00 64 2B 01 00 64 01", "",
         {{"lblGetStatus(0)", "---"}, {"lblGetStatus(7)", "CLOSED"}, {"lblSettingValue", "7.7"}}},
        // A short status reply decodes what fits and leaves the rest.
        {"caption lblGetStatus(3) x"}, {"caption lblGetStatus(4) x"}, {"caption lblGetStatus(0) 1.0"},
        {"reply 02 01 02 01 00", "", {{"lblGetStatus(3)", "ON"}, {"lblGetStatus(4)", "OFF"}, {"lblGetStatus(0)", "1.0"}}},
    }));
    using enum Stage;
    const std::tuple<const char*, const char*, bool, Stage> cases[] = {
        {"cdmGETV", "01 01 01 00", true, Firmware},          {"cmdGetCheckSum", "0A 01 01 00", true, Checksum},
        {"cmdGetConfiguration", "05 01 00 00", true, Checksum}, {"cmdGetMACAddress", "18 01 01 00", false, Mac},
        {"cmdGetClientID", "15 01 01 00", true, Client},     {"cmdGetAssetID", "16 01 01 00", true, Asset},
        {"cmdGetStatus", "02 01 01 00", false, Checksum},    {"cmdGetParams", kRead, false, Params},
        {"cmdEnterServiceMode", "08 01 01 01", true, Finished}, {"cmdExitServiceMode", "08 01 01 00", true, Finished}};
    kv::sim::VirtualController c;
    std::vector<kv::link::Reply> replies;
    rig.main->receive.listenReplies([&](kv::link::Reply r) { replies.push_back(r); });
    for (bool open : {true, false}) {
        rig.port.setPortOpen(open);
        for (auto [name, frame, pollOff, step] : cases) {
            rig.main->sequence.tmrStatusGET.setEnabled(true);
            rig.main->receive.iRxIdx = 7;
            static_cast<kv::ui::Button*>(control(rig, name))->press();  // hidden buttons run the same routine
            const auto sent = rig.takeWritten();
            EXPECT_EQ(hex(sent), open ? frame : "") << name;
            EXPECT_EQ(rig.main->receive.iRxIdx, 1) << name;
            EXPECT_EQ(rig.main->sequence.tmrStatusGET.enabled(), !pollOff) << name;
            if (sent.empty()) continue;
            const auto answer = *c.answer(sent[0], 0);
            replies.clear();
            rig.port.deliver(answer);
            EXPECT_EQ(replies.empty() ? Finished : kv::link::ConnectionSequence::answeredBy(replies.back()), step) << name;
            if (step == Params) continue;  // the parameters' reply has a dump of its own
            EXPECT_EQ(rig.main->receive.Text1.text().size(), 3 * (answer.size() + 1)) << name;
            EXPECT_EQ(rig.main->receive.Text1.text().substr(0, 3), " " + kv::ui::hex2(sent[0][0])) << name;
        }
    }
    EXPECT_TRUE(rig.messages.shown.empty());
}

// The screen follows the system's locale; the log keeps its fixed form.
TEST(Status, TemperaturesAndTheClockFollowTheLocale) {
    std::vector<Scenario> cases;
    for (auto [decimal, shown] : {std::pair{".", "25.5"}, {",", "25,5"}, {"\xB7", "25\xB7" "5"}})
        cases.push_back({decimal, [decimal](Rig& r) { r.locale.decimal = decimal; },
                         {{"advance 8000", "*", {{"lblGetStatus(0)", "---"}}},
                          {"press cmdGetStatus"},
                          {"advance 100", "*", {{"lblGetStatus(0)", shown}, {"lblSettingValue", shown}}}}});
    playAll(cases, [](Rig& r) { r.load(); });
    struct DayFirstWords : kv::platform::FixedLocale {
        std::string generalDate(const kv::platform::DateTime& t) const override {
            return std::to_string(t.day) + "." + std::to_string(t.month) + "." + std::to_string(t.year) + " " +
                   std::to_string(t.hour) + " h " + std::to_string(t.minute);
        }
    } german;
    Rig rig;
    rig.main.reset();
    kv::platform::Platform withLocale{rig.port,  rig.probe,   rig.settings, rig.folders, rig.fileDialog, rig.messages,
                                      rig.beep,  rig.clock,   rig.pointer,  rig.screen,  rig.clock,      rig.clock,
                                      german};
    kv::app::frmMain m(withLocale);
    m.Form_Load();
    rig.clock.advance(1000);
    EXPECT_EQ(m.sequence.lblTime.caption(), "5.12.2026 14 h 5");
    // The log's file name keeps its fixed form.
    EXPECT_EQ(m.log.path().filename().string(), "LOG_14_05_09_05_12_2026.csv");
}

// Parameter writes byte for byte: the value split into its high and low byte,
// ten to a bulk frame (the requests are checked through their buttons); a
// status reading's two bytes as shown.
TEST(Frames, ParameterWritesAndReadingsAreByteExact) {
    using namespace kv::link;
    for (auto [high, low, shown] : {std::tuple{0x02, 0x2B, "25.5"}, {0x01, 0x2C, "0.0"}, {0x00, 0xFA, "-5.0"},
                                    {0x01, 0x2B, "-0.1"}, {0x02, 0x00, "---"}, {0x64, 0x01, "---"},
                                    {0x63, 0xFF, "2529.9"}, {0x00, 0x01, "-29.9"}})
        EXPECT_EQ(kv::controller::formatReading(std::uint8_t(high), std::uint8_t(low)), shown) << high << "," << low;
    for (auto [value, hl] : {std::pair{300, "01 2C"}, {650, "02 8A"}, {0, "00 00"}, {32767, "7F FF"}, {255, "00 FF"}})
        EXPECT_EQ(hex({frameWriteParams({splitParam(12, value)})}), std::string("07 01 05 0C ") + hl + " 99 99");
    std::vector<ParamWrite> ten;
    for (std::uint8_t n = 1; n <= 10; ++n) ten.push_back(splitParam(n, 0x200 + n));
    EXPECT_EQ(hex({frameWriteParams(ten)}),
              "07 01 20 01 02 01 02 02 02 03 02 03 04 02 04 05 02 05 06 02 06 07 02 07 08 02 08 09 02 09 0A 02 0A "
              "99 99");
    // The shift the split uses is a logical one.
    for (auto [value, shift, expected] : {std::tuple{0x1234, 8, 0x12}, {-256, 8, 0x00FFFFFF}, {-1, 1, 0x7FFFFFFF},
                                          {-1, 31, 1}, {0x7FFF, 8, 0x7F}, {300, 8, 1}, {0, 8, 0}})
        EXPECT_EQ(RShiftLong(value, std::int16_t(shift)), expected) << value << " >> " << shift;
}

}  // namespace
