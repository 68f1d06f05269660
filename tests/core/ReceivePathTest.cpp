// The receive path: chunks into the buffer, completion, dispatch, the
// terminal view and its cap, typing, Clear Screen, STOP/START, line errors,
// and the information bar's lamps.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::link::Reply;
using kv::sim::Bytes;
using namespace kv::test;

namespace {

// A started window; the replies its handlers finish are counted.
struct Loaded : ::testing::Test {
    Loaded() {
        rig.load();
        rx().listenReplies([this](Reply r) { replies.push_back(r); });
    }
    kv::link::ReceivePath& rx() { return rig.main->receive; }
    Rig rig;
    std::vector<Reply> replies;
};

TEST_F(Loaded, CompletesOnceWhateverTheChunking) {
    const std::string reply = "16 01 04 41 37 00 00";  // an asset reply: " A7"
    const std::tuple<const char*, std::vector<std::string>, std::size_t> cases[] = {
        {"whole", {reply}, 1}, {"byte by byte", {"16", "01", "04", "41", "37", "00", "00"}, 1},
        {"split in the header", {"16 01", "04 41 37 00 00"}, 1}, {"after the length", {"16 01 04", "41 37 00 00"}, 1},
        {"three events", {"16 01", "04 41 37", "00 00"}, 1}, {"two replies in one chunk", {reply + " " + reply}, 2},
        {"a reply and the head of the next", {reply + " 16 01", "04 41 37 00 00"}, 2},
        {"length 0 never completes", {"16 01 00", reply}, 0},
        {"a line error keeps the bytes already received", {"16 01 04 41", "event 1004", "37 00 00"}, 1}};
    for (const auto& [name, acts, dispatched] : cases) {
        SCOPED_TRACE(name);
        replies.clear();
        rx().ResetReceive();
        std::vector<Step> steps{{"type txtAssetID "}};
        for (const auto& a : acts) steps.push_back({a.rfind("event", 0) == 0 ? a : "receive " + a});
        steps.push_back({"", "", {{"txtAssetID", dispatched ? " A7" : ""}}});
        EXPECT_TRUE(play(rig, steps));
        EXPECT_EQ(replies, std::vector<Reply>(dispatched, Reply::Asset));
    }
}

// What the terminal, the dump and the labels show of replies as they come:
// a MAC reply in two chunks, a code no handler knows (dumped with the byte
// after it), a flood past position 500, line errors for a second each.
TEST_F(Loaded, RepliesAsTheyComeInPiecesAndTheLinesErrors) {
    std::string flood = "reply 16 01 00";  // length 0: never completes
    for (int i = 0; i < 617; ++i) flood += " 55";
    std::vector<Step> steps{
        {"receive 18 01 08", "", {{"txtTerminal", "{24}{1}{8}"}, {"Label1", "Serial No."}}},
        {"receive 31 32 33 34 35 36 37 38", "", {{"Label1", "MAC"}, {"Text1", " 18 01 08 31 32 33 34 35 36 37 38 00"}}, "",
         // The index back at 1 and the length byte cleared; the rest of the buffer keeps its bytes.
         [](Rig& r) {
             auto& in = r.main->receive;
             EXPECT_EQ(std::to_string(in.iRxIdx) + std::to_string(in.rxBuf[3]) + char(in.rxBuf[5]), "102");
         }},
        {"receive 34 01 05 01 02 03 04 05"},
        {"receive 35 01 01 07", "", {{"Text1", " 35 01 01 07 02"}}},
        {"reply FF 01 01 02", "", {{"Text1", " FF 01 01 02 02"}}},
        {"", "*", {}, "*", [this](Rig&) { replies.clear(); }},
        {flood, "", {{"lblError", "Overflow"}}, "", [this](Rig& r) {
             EXPECT_EQ(std::to_string(r.main->receive.iRxIdx) + " " + std::to_string(replies.size()), "501 0");
         }},
        {"advance 1000", "*", {{"lblError", ""}}},
        // The next request starts clean.
        {"click cmdGetAssetID"},
        {"advance 100", "*", {{"txtAssetID", " A1234"}}},
    };
    for (auto [code, text] : {std::pair{1001, "Break"}, {1004, "Framing"}, {1006, "Overrun"}, {1008, "Overflow"},
                              {1009, "Parity"}, {1010, "Tx Full"}, {1011, "DCB Error"}, {6, ""}, {7, ""}, {1002, ""}})
        steps.insert(steps.end(), {{"event " + std::to_string(code), "*", {{"lblError", text}}},
                                   {"advance 999", "*", {{"lblError", text}}},
                                   {"advance 1", "*", {{"lblError", ""}}, "*", [](Rig& r) {
                                        EXPECT_FALSE(r.main->indicators.tmrClearError.enabled());
                                    }}});
    EXPECT_TRUE(play(rig, steps));
}

// Above its cap the terminal cuts its oldest hundred lines; whatever the
// chunk sizes it stays within the cap and one chunk, and keeps the end of
// what came, in whole lines when cut to the cap.
TEST_F(Loaded, TerminalCutsItsOldestLinesAndStaysBounded) {
    auto& term = rx().txtTerminal;
    term.setColumns(10);
    term.append(std::string(5500, 'x'));  // 550 lines: no cut yet
    rig.port.deliver(Bytes({7}));
    EXPECT_EQ(term.text().size(), 5503u);
    term.clear();
    term.append(std::string(5000, 'a') + std::string(510, 'b'));  // 551 lines
    const std::string kept = std::string(4000, 'a') + std::string(510, 'b') + "{7}";
    EXPECT_TRUE(play(rig, {{"receive 07", "", {{"txtTerminal", kept}}}}));
    EXPECT_EQ(term.lineCount(), 452);
    term.setColumns(80);
    const std::size_t cap = kv::link::ReceivePath::TerminalCap(80);
    EXPECT_EQ(cap, 550u * 80u);
    for (std::size_t size : {300u, 1700u, 4096u, 200000u}) {
        term.clear();
        Bytes chunk(size);
        std::string display;  // the chunk as the terminal shows it: "{48}" ... "{57}"
        for (std::size_t i = 0; i < size; ++i) {
            chunk[i] = static_cast<std::uint8_t>(0x30 + i % 10);
            display += "{" + std::to_string(chunk[i]) + "}";
        }
        std::size_t most = 0;
        for (int i = 0; i < 500 && i * size < 4000000; ++i) {
            rig.port.deliver(chunk);
            most = std::max(most, term.text().size());
        }
        const std::string& text = term.text();
        const std::size_t kept = std::min(text.size(), display.size());
        EXPECT_LE(most, cap + display.size()) << size;
        EXPECT_EQ(text.substr(text.size() - kept), display.substr(display.size() - kept)) << size;
        EXPECT_TRUE(display.size() <= cap ? kept == display.size() : text.size() <= cap && text.size() % 80 == 0)
            << size;
    }
}

// A handler runs with Read Params off; a message shown meanwhile lets events
// run, and a reply arriving then is handled after the first, in order.
// Identified, typing goes out raw and shows nothing; Clear Screen empties the
// views and asks the controller; with the port closed neither sends, and
// Clear Screen starts the receive again.
TEST_F(Loaded, RepliesArrivingWhileOneIsHandledFollowItAndTypingAndClearScreen) {
    std::string enabled;  // Read Params during each handler
    rx().listenReplies([&](Reply r) {
        enabled += rig.main->paramRead.cmdGetParams.enabled() ? "1" : "0";
        if (r == Reply::Asset && enabled.size() == 1) rig.clock.doEvents();  // the MAC reply arrives meanwhile
    });
    rig.clock.at(rig.clock.nowMs(), [&] { rig.port.deliver({0x18, 0x01, 0x02, '1', '2'}); });
    rig.port.deliver({0x16, 0x01, 0x04, 'A', '7', 0x00, 0x00});
    EXPECT_EQ(replies, (std::vector<Reply>{Reply::Asset, Reply::Mac}));
    EXPECT_EQ(enabled + (rig.main->paramRead.cmdGetParams.enabled() ? "1" : "0"), "001");
    EXPECT_EQ(rx().txtTerminal.text(), "{22}{1}{4}{65}{55}{0}{0}{24}{1}{2}{49}{50}");
    auto type = [](std::int16_t key, int rxIdx) {
        return [=](Rig& r) {
            EXPECT_EQ(r.main->receive.txtTerminal.keyPress(key), 0);
            EXPECT_EQ(r.main->receive.iRxIdx, rxIdx);  // typing is not a request
        };
    };
    EXPECT_TRUE(play(rig, {{"advance 8000", "*", {}, "*", [](Rig& r) {
                                r.main->receive.txtTerminal.clear();
                                r.main->receive.iRxIdx = 3;
                            }},
                           {"", "41", {}, "*", type('A', 3)},
                           {"", "0D 0A", {{"txtTerminal", ""}}, "*", type(13, 3)},
                           {"receive 33 01"},
                           {"caption lblTime 12:00"},
                           {"press cmdRESET", "FF 01 01 02", {{"txtTerminal", ""}, {"lblTime", ""}}, "*",
                            [](Rig& r) { EXPECT_EQ(r.main->receive.iRxIdx, 1); }},
                           {"", "", {}, "*", [](Rig& r) {
                                r.port.setPortOpen(false);
                                r.main->receive.iRxIdx = 9;
                            }},
                           {"press cmdRESET", "", {}, "*", type('B', 1)}}));
}

// STOP and START close and reopen the port with the same settings; a port
// that cannot be opened says why on the bar. The information bar shows the
// port even when it is closed, the
// modem lines' lamps, DTR and RTS clicks, and the activity blink.
TEST(Indicators, ThePortsStateLinesAndActivity) {
    using kv::platform::OpenError;
    const std::string ok = "click frmStartup.cmdAction(0)";
    auto refused = [&](std::function<void(Rig&)> spoil, const char* error) {
        const std::vector<std::pair<std::string, std::string>> holds{
            {"cmdSTOPComms", "START"}, {"lblOpen", "Closed"}, {"lblError", error}};
        return std::vector<Step>{
            {ok, "*", {}, "*", spoil}, {"press cmdSTOPComms"}, {"press cmdSTOPComms", "", holds, ""}};
    };
    auto lines = [](const char* dtrRts) {
        return [=](Rig& r) { EXPECT_EQ(std::to_string(r.port.DTREnable()) + char('0' + r.port.RTSEnable()), dtrRts); };
    };
    const std::string dtr = "picture imgDTR", rts = "picture imgRTS";
    playAll({
        {"stop and start", {},
         {{ok},
          {"press cmdSTOPComms", "", {{"cmdSTOPComms", "START"}, {"enabled cdmGETV", "0"}, {"lblOpen", "Closed"}}},
          {"press cmdSTOPComms", "", {{"cmdSTOPComms", "STOP"}, {"enabled cdmGETV", "1"}, {"lblOpen", "Open"}}, "*",
           [](Rig& r) { EXPECT_EQ(r.port.Settings() + " " + std::to_string(r.port.CommPort()), "38400,N,8,1 10"); }}}},
        {"absent", {}, refused([](Rig& r) { r.port.freePorts.clear(); }, "No such port")},
        {"denied", {}, refused([](Rig& r) { r.port.refusals[10] = OpenError::PermissionDenied; }, "Permission denied")},
        // Port 10 not there at start-up: shown all the same.
        {"absent at start-up", [](Rig& r) { r.port.freePorts.clear(); },
         {{ok, "",
           {{"lblPort", "Port 10"}, {"lblSettings", "38400,N,8,1"}, {"lblOpen", "Closed"}, {"lblMode", "Event"}},
           ""}}},
        {"the modem lines", {},
         {{ok, "", {{"picture imgCD", "line_off"}, {"picture imgCTS", "line_on"}, {"picture imgDSR", "line_off"}}},
          {"", "",
           {{"picture imgDSR", "line_on"}, {"picture imgRx", "activity_idle"}, {"picture imgTx", "activity_idle"}},
           "*", [](Rig& r) {
               r.port.dsr = true;
               r.port.inject(kv::platform::comEvDSR);
           }},
          {"click imgCD", "", {{"picture imgCD", "line_off"}}}}},  // the other lamps do nothing
        {"DTR and RTS clicks toggle their line", {},
         {{ok, "", {{dtr, "line_off"}, {rts, "line_off"}}, "*", lines("00")},
          {"click imgDTR", "", {{dtr, "line_on"}, {rts, "line_off"}}, "*", lines("10")},
          {"click imgDTR", "", {{dtr, "line_off"}}, "*", lines("00")},
          {"click imgRTS", "", {{dtr, "line_off"}, {rts, "line_on"}}, "*", lines("01")},
          {"click imgRTS", "", {{rts, "line_off"}}, "*", lines("00")}}},
        {"the activity blink", {},
         {{ok}, {"receive 33", "", {{"picture imgRx", "activity"}}},
          {"advance 99", "", {{"picture imgRx", "activity"}}}, {"advance 1", "", {{"picture imgRx", "activity_idle"}}},
          {"click cmdGetAssetID"}, {"advance 2", "*", {{"picture imgTx", "activity"}}},  // Tx follows the write
          {"advance 100", "*", {{"picture imgTx", "activity_idle"}}}}},
    }, [](Rig& r) {
        r.port.cd = false;
        r.port.cts = true;
        r.port.dsr = false;
        r.main->Form_Load();
    });
}

}  // namespace
