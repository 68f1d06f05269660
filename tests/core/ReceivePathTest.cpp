// The receive path: chunks into the buffer, completion, dispatch, the
// terminal view and its cap, typing, Clear Screen, STOP/START, line errors,
// and the information bar's lamps.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::link::Reply;
using kv::sim::Bytes;
using kv::test::Rig;
using kv::test::play;

namespace {

Bytes join(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// A started window; the replies its handlers finish are counted.
struct Loaded : ::testing::Test {
    Loaded() {
        rig.load();
        rx().listenReplies([this](Reply r) { replies.push_back(r); });
    }
    kv::link::ReceivePath& rx() { return rig.main->receive; }
    // Feeds the chunks as separate receive events.
    void feed(const std::vector<Bytes>& chunks) {
        for (const auto& c : chunks) rig.port.deliver(c);
    }
    Rig rig;
    std::vector<Reply> replies;
};

// An asset reply: " A7".
const Bytes kReply{0x16, 0x01, 0x04, 'A', '7', 0x00, 0x00};

TEST_F(Loaded, CompletesOnceWhateverTheChunking) {
    Bytes two = join(kReply, kReply);
    const struct {
        const char* name;
        std::vector<Bytes> chunks;
        std::size_t dispatched;
    } cases[] = {
        {"whole", {kReply}, 1},
        {"byte by byte", {{0x16}, {0x01}, {0x04}, {'A'}, {'7'}, {0x00}, {0x00}}, 1},
        {"split in the header", {{0x16, 0x01}, {0x04, 'A', '7', 0x00, 0x00}}, 1},
        {"split after the length", {{0x16, 0x01, 0x04}, {'A', '7', 0x00, 0x00}}, 1},
        {"three events", {{0x16, 0x01}, {0x04, 'A', '7'}, {0x00, 0x00}}, 1},
        {"two replies in one chunk", {two}, 2},
        {"a reply and the head of the next", {join(kReply, {0x16, 0x01}), {0x04, 'A', '7', 0x00, 0x00}}, 2},
        {"length 0 never completes", {{0x16, 0x01, 0x00}, kReply}, 0},
    };
    for (const auto& c : cases) {
        replies.clear();
        rx().ResetReceive();
        rig.main->identity.txtAssetID.setText("");
        feed(c.chunks);
        EXPECT_EQ(replies, std::vector<Reply>(c.dispatched, Reply::Asset)) << c.name;
        EXPECT_EQ(rig.main->identity.txtAssetID.text(), c.dispatched ? " A7" : "") << c.name;
    }
}

// What the terminal, the dump and the labels show of replies as they come:
// a MAC reply in two chunks, a code no handler knows (dumped with the byte
// after it), a flood past position 500, line errors for a second each.
TEST_F(Loaded, RepliesAsTheyComeInPiecesAndTheLinesErrors) {
    std::string flood = "reply 16 01 00";  // length 0: never completes
    for (int i = 0; i < 617; ++i) flood += " 55";
    std::vector<kv::test::Step> steps{
        {"receive 18 01 08", "", {{"txtTerminal", "{24}{1}{8}"}, {"Label1", "Serial No."}}},
        {"receive 31 32 33 34 35 36 37 38", "", {{"Label1", "MAC"}, {"Text1", " 18 01 08 31 32 33 34 35 36 37 38 00"}}, "",
         [](Rig& r) {
             EXPECT_EQ(r.main->receive.iRxIdx, 1);
             EXPECT_EQ(r.main->receive.rxBuf[3], 0);
             EXPECT_EQ(r.main->receive.rxBuf[5], '2');  // the rest of the buffer keeps its bytes
         }},
        {"receive 34 01 05 01 02 03 04 05"},
        {"receive 35 01 01 07", "", {{"Text1", " 35 01 01 07 02"}}},
        {"reply FF 01 01 02", "", {{"Text1", " FF 01 01 02 02"}}},
        {"", "*", {}, "*", [this](Rig&) { replies.clear(); }},
        {flood, "", {{"lblError", "Overflow"}}, "",
         [this](Rig& r) {
             EXPECT_EQ(r.main->receive.iRxIdx, 501);
             EXPECT_TRUE(replies.empty());
         }},
        {"advance 1000", "*", {{"lblError", ""}}},
        // The next request starts clean.
        {"click cmdGetAssetID"},
        {"advance 100", "*", {{"txtAssetID", " A1234"}}},
    };
    const std::pair<int, const char*> errors[] = {{1001, "Break"},  {1004, "Framing"}, {1006, "Overrun"},
                                                   {1008, "Overflow"}, {1009, "Parity"}, {1010, "Tx Full"},
                                                   {1011, "DCB Error"}, {6, ""}, {7, ""}, {1002, ""}};
    for (auto [code, text] : errors) {
        steps.push_back({"event " + std::to_string(code), "*", {{"lblError", text}}});
        steps.push_back({"advance 999", "*", {{"lblError", text}}});
        steps.push_back({"advance 1", "*", {{"lblError", ""}}, "*",
                         [](Rig& r) { EXPECT_FALSE(r.main->indicators.tmrClearError.enabled()); }});
    }
    EXPECT_TRUE(play(rig, steps));
}



TEST_F(Loaded, TerminalCutsTheOldestHundredLinesAboveItsCap) {
    auto& term = rx().txtTerminal;
    term.setColumns(10);
    term.append(std::string(5500, 'x'));  // 550 lines: no cut yet
    rig.port.deliver(Bytes({7}));
    EXPECT_EQ(term.text().size(), 5503u);
    term.clear();
    term.append(std::string(5000, 'a') + std::string(510, 'b'));  // 551 lines
    rig.port.deliver(Bytes({7}));
    EXPECT_EQ(term.text().size(), 5510u - 1000u + 3u);
    EXPECT_EQ(term.text().substr(0, 4), "aaaa");
    EXPECT_EQ(term.text().substr(term.text().size() - 3), "{7}");
    EXPECT_EQ(term.lineCount(), 452);
}

TEST_F(Loaded, TerminalStaysBoundedWhateverTheChunkSizes) {
    auto& term = rx().txtTerminal;
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
        // Within the cap and one chunk, and what is kept is the end of what came.
        EXPECT_LE(most, cap + display.size()) << size;
        const std::string& text = term.text();
        if (display.size() <= cap) {
            ASSERT_GE(text.size(), display.size()) << size;
            EXPECT_EQ(text.substr(text.size() - display.size()), display) << size;
        } else {
            EXPECT_LE(text.size(), cap) << size;
            EXPECT_EQ(display.substr(display.size() - text.size()), text) << size;
            EXPECT_EQ(text.size() % 80, 0u) << size;  // whole lines
        }
    }
}

TEST_F(Loaded, TypingSendsRawBytesAndShowsNothing) {
    rig.clock.advance(8000);  // identified: no flow runs
    rx().txtTerminal.clear();
    rig.takeWritten();
    rx().iRxIdx = 3;
    EXPECT_EQ(rx().txtTerminal.keyPress('A'), 0);
    EXPECT_EQ(rx().txtTerminal.keyPress(13), 0);
    EXPECT_EQ(rig.takeWritten(), (std::vector<Bytes>{{0x41}, {0x0D, 0x0A}}));
    EXPECT_EQ(rx().txtTerminal.text(), "");
    EXPECT_EQ(rx().iRxIdx, 3);  // typing is not a request
    rig.port.setPortOpen(false);
    rx().txtTerminal.keyPress('B');
    EXPECT_TRUE(rig.takeWritten().empty());
}

TEST_F(Loaded, ClearScreenEmptiesTheViewsAndAsksTheController) {
    rig.port.deliver(Bytes({0x33, 0x01}));
    rig.main->sequence.lblTime.setCaption("12:00");
    play(rig, {{"press cmdRESET", "FF 01 01 02", {{"txtTerminal", ""}, {"lblTime", ""}}}});
    EXPECT_EQ(rx().iRxIdx, 1);
    rig.port.setPortOpen(false);
    rx().iRxIdx = 9;
    play(rig, {{"press cmdRESET", ""}});
    EXPECT_EQ(rx().iRxIdx, 1);
}

TEST_F(Loaded, StopAndStartCloseAndReopenWithTheSameSettings) {
    play(rig, {{"press cmdSTOPComms", "", {{"cmdSTOPComms", "START"}, {"enabled cdmGETV", "0"}, {"lblOpen", "Closed"}}},
               {"press cmdSTOPComms", "", {{"cmdSTOPComms", "STOP"}, {"enabled cdmGETV", "1"}, {"lblOpen", "Open"}}}});
    EXPECT_EQ(rig.port.Settings(), "38400,N,8,1");
    EXPECT_EQ(rig.port.CommPort(), 10);
}

TEST_F(Loaded, StartOnAPortThatCannotBeOpenedSaysWhy) {
    using kv::platform::OpenError;
    const struct {
        const char* name;
        std::function<void(Rig&)> setup;
        const char* error;
    } cases[] = {
        {"absent", [](Rig& r) { r.port.freePorts.clear(); }, "No such port"},
        {"busy", [](Rig& r) { r.port.refusals[10] = OpenError::Busy; }, "Port busy"},
        {"denied", [](Rig& r) { r.port.refusals[10] = OpenError::PermissionDenied; }, "Permission denied"},
    };
    for (const auto& c : cases) {
        Rig r;
        r.load();
        r.main->indicators.cmdSTOPComms.press();
        c.setup(r);
        r.main->indicators.cmdSTOPComms.press();
        EXPECT_FALSE(r.port.PortOpen()) << c.name;
        EXPECT_EQ(r.main->indicators.cmdSTOPComms.caption(), "START") << c.name;
        EXPECT_EQ(r.main->receive.lblError.caption(), c.error) << c.name;
        EXPECT_TRUE(r.messages.shown.empty()) << c.name;
    }
}


TEST_F(Loaded, LineErrorKeepsTheBytesAlreadyReceived) {
    rig.port.deliver({0x16, 0x01, 0x04, 'A'});
    rig.port.inject(1004);
    rig.port.deliver({'7', 0x00, 0x00});
    EXPECT_EQ(replies, std::vector<Reply>{Reply::Asset});
}

TEST_F(Loaded, ReadParamsIsDisabledWhileAChunkIsHandled) {
    bool enabledInside = true;
    rx().listenReplies([&](Reply) { enabledInside = rig.main->paramRead.cmdGetParams.enabled(); });
    rig.port.deliver(kReply);
    EXPECT_FALSE(enabledInside);
    EXPECT_TRUE(rig.main->paramRead.cmdGetParams.enabled());
}

// A message shown while a reply is handled lets events run, and a reply may
// arrive meanwhile: it is handled after the first, in order.
TEST_F(Loaded, BytesArrivingWhileAReplyIsHandledFollowIt) {
    bool once = true;
    rx().listenReplies([&](Reply r) {
        if (r != Reply::Asset || !once) return;
        once = false;
        rig.clock.doEvents();  // the MAC reply arrives meanwhile
    });
    rig.clock.at(rig.clock.nowMs(), [&] { rig.port.deliver({0x18, 0x01, 0x02, '1', '2'}); });
    rig.port.deliver(kReply);
    EXPECT_EQ(replies, (std::vector<Reply>{Reply::Asset, Reply::Mac}));
    EXPECT_EQ(rx().txtTerminal.text(), "{22}{1}{4}{65}{55}{0}{0}{24}{1}{2}{49}{50}");
}

TEST_F(Loaded, ADeviceThatVanishesIsShownClosed) {
    play(rig, {{"unplug", "", {{"lblOpen", "Closed"}, {"cmdSTOPComms", "START"}}},
               {"click cmdGetAssetID", "", {}, ""}});  // sends nothing, no crash
}

// ----------------------------------------------------------------
// The information bar: port labels, modem-line lamps and their clicks, and the
// activity blink.

TEST(Indicators, ShowInfoShowsThePortEvenWhenClosed) {
    Rig rig;
    rig.port.freePorts.clear();  // port 10 is not there
    rig.main->Form_Load();
    play(rig, {{"click frmStartup.cmdAction(0)", "",
                {{"lblPort", "Port 10"}, {"lblSettings", "38400,N,8,1"}, {"lblOpen", "Closed"}, {"lblMode", "Event"}},
                ""}});
}

TEST(Indicators, LampsFollowTheModemLines) {
    Rig rig;
    rig.port.cd = false;
    rig.port.cts = true;
    rig.port.dsr = false;
    rig.load();
    play(rig, {{"", "", {{"picture imgCD", "line_off"}, {"picture imgCTS", "line_on"}, {"picture imgDSR", "line_off"}}},
               {"", "", {{"picture imgDSR", "line_on"}, {"picture imgRx", "activity_idle"},
                         {"picture imgTx", "activity_idle"}}, "*",
                [](Rig& r) {
                    r.port.dsr = true;
                    r.port.inject(kv::platform::comEvDSR);
                }}});
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
    EXPECT_TRUE(play(rig, {{"receive 33", "", {{"picture imgRx", "activity"}}},
                           {"advance 99", "", {{"picture imgRx", "activity"}}},
                           {"advance 1", "", {{"picture imgRx", "activity_idle"}}},
                           {"click cmdGetAssetID"},  // the transmit event follows the write
                           {"advance 2", "*", {{"picture imgTx", "activity"}}},
                           {"advance 100", "*", {{"picture imgTx", "activity_idle"}}}}));
}

}  // namespace
