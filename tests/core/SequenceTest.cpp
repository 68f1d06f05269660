// The connection sequence on the virtual clock: progress texts, retries,
// unsupported controllers, the finishing actions and the status poll.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using kv::sim::Bytes;
using kv::test::Rig;
using kv::test::Step;
using kv::test::play;
using Stage = kv::link::ConnectionSequence::Step;

namespace {

int countWritten(Rig& rig, std::uint8_t code) {
    int n = 0;
    for (const auto& f : rig.port.written)
        if (!f.empty() && f[0] == code) ++n;
    return n;
}

const char* const kTexts[] = {" CONNECTING.... Please Wait",          " Getting Checksum.... Please Wait",
                              " Retrieving Params.... Please Wait",   " Acquiring Serial Number.... Please Wait",
                              " Acquiring Client ID.... Please Wait", " Acquiring Asset ID.... Please Wait",
                              " CONNECTED..OK"};

const char* const kFw = "01 01 01 00";
const std::string kRead = kv::test::hex({kv::link::frameReadParams()});
const std::string kFirstThree = std::string(kFw) + " | 0A 01 01 00 | " + kRead;
const std::string kSixRequests = kFirstThree + " | 18 01 01 00 | 15 01 01 00 | 16 01 01 00";

// Each request at the tick after the previous reply, each text with it; the
// progress window goes one tick after " CONNECTED..OK".
TEST(Sequence, APromptControllerIsIdentifiedInSevenSeconds) {
    Rig rig;
    rig.load();
    const std::string frames[] = {kFw, "0A 01 01 00", kRead, "18 01 01 00", "15 01 01 00", "16 01 01 00", ""};
    std::vector<Step> steps;
    for (int i = 0; i < 7; ++i) {
        if (i) steps.push_back({"advance 999", "", {{"lblCurrentINFO", kTexts[i - 1]}}});
        steps.push_back({i ? "advance 1" : "advance 1000", frames[i], {{"lblCurrentINFO", kTexts[i]}}});
    }
    steps.push_back({"advance 999", "", {{"visible frmProgressInfo", "1"}}});
    steps.push_back({"advance 1", "",
                     {{"visible frmProgressInfo", "0"}, {"lblCurrentINFO", " CONNECTED..OK"},
                      {"lblFWVersion", "K5b 162"}, {"lblCheckSum", "1A 2B "}, {"lblMacAddress", " 0004A3B1C2D3"},
                      {"lblGetStatus(3)", " 005"}, {"txtAssetID", " A1234"}, {"enabled cdmSetParams", "1"},
                      {"enabled cboCLientList", "1"}},
                     ""});
    play(rig, steps);
    EXPECT_EQ(rig.main->sequence.step(), Stage::Finished);
}

TEST(Sequence, HowTheRepliesAreCutDoesNotMatter) {
    using kv::sim::Chunking;
    const struct {
        const char* name;
        Chunking chunking;
        bool doubleReply;
    } cases[] = {{"whole", {Chunking::Whole, 0}, false},
                 {"byte by byte", {Chunking::ByteByByte, 0}, false},
                 {"split in the header", {Chunking::SplitAt, 2}, false},
                 {"split in the payload", {Chunking::SplitAt, 5}, false},
                 {"a status reply behind every reply", {Chunking::Whole, 0}, true},
                 {"both, byte by byte", {Chunking::ByteByByte, 0}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.controller.modes.chunking = c.chunking;
        rig.controller.modes.doubleReply = c.doubleReply;
        rig.load();
        play(rig, {{"advance 7000", kSixRequests,
                    {{"lblCurrentINFO", " CONNECTED..OK"}, {"lblMacAddress", " 0004A3B1C2D3"}, {"txtAssetID", " A1234"}}}});
    }
}

// Unanswered, the firmware request goes again at every seventh tick and the
// sequence stays at its first text.
TEST(Sequence, ASilentControllerIsAskedAgainEverySeventhTick) {
    Rig rig;
    rig.controller.modes.silent = true;
    rig.load();
    std::vector<Step> steps{{"advance 1000", kFw}};
    for (int i = 0; i < 4; ++i) {
        steps.push_back({"advance 6999", ""});
        steps.push_back({"advance 1", kFw, {{"lblCurrentINFO", kTexts[0]}, {"visible frmProgressInfo", "1"}}});
    }
    play(rig, steps);
}

// A reply to an earlier step (a late or repeated one) does not move the
// sequence on: only the reply its step waits for does.
TEST(Sequence, AReplyToAnEarlierStepIsNotTakenForTheOneAwaited) {
    Rig rig;
    rig.load();
    play(rig, {{"advance 1000", kFw}, {"advance 500", "", {}, "*", [](Rig& r) { r.controller.modes.silent = true; }},
               {"advance 500", "0A 01 01 00"}, {"receive 01 01 03 01 06 02", ""}, {"advance 1000", ""},
               {"advance 4000", "", {{"lblCurrentINFO", kTexts[1]}}}});
}

// Firmware without the support mark: serial, client and asset are not asked.
TEST(Sequence, AnUnsupportedControllerSkipsSerialClientAndAsset) {
    Rig rig;
    rig.controller.state.fwText = "K5x";
    rig.load();
    play(rig, {{"advance 3000", kFirstThree, {{"lblCurrentINFO", kTexts[2]}}},
               {"advance 3999", "", {{"lblCurrentINFO", kTexts[2]}}},
               {"advance 1", "", {{"lblCurrentINFO", kTexts[6]}}}});
    EXPECT_FALSE(rig.main->sequence.supported());
}

// The next controller on the line is judged by its own firmware: after a
// supported one, an unsupported one is not asked for serial, client, asset.
TEST(Sequence, TheNextControllerIsJudgedByItsOwnFirmware) {
    Rig rig;
    rig.identify();
    rig.controller.state.fwText = "K5x";
    play(rig, {{"click cmdRefreshNextController", ""}, {"advance 8000", kFirstThree, {{"lblCurrentINFO", kTexts[6]}}}});
}

// REFRESH, or RESTART, in the middle of an identification starts it over
// from its first request (after the restart), never from where it was.
TEST(Sequence, RefreshOrRestartDuringAnIdentificationStartsItOver) {
    const std::vector<std::uint8_t> identifying{0x01, 0x0A, 0x06, 0x18, 0x15, 0x16};
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "RESTART" : "REFRESH");
        Rig rig;
        rig.controller.modes.restartMs = 300;
        rig.load();
        play(rig, {{"advance 2500", std::string(kFw) + " | 0A 01 01 00"}});
        if (restart) {
            play(rig, {{"click cmdRestartController", "08 01 01 01"}, {"advance 6000", "", {}, "*", {}, identifying}});
        } else {
            play(rig, {{"click cmdRefreshNextController", ""}});
        }
        play(rig, {{"advance 1000", kFw, {{"lblCurrentINFO", kTexts[0]}}, "*", {}, identifying}});
    }
}

TEST(Sequence, TickCountersStopAtTheirLimitAndASecondOkStartsOver) {
    Rig rig;
    rig.identify();
    ASSERT_EQ(rig.main->sequence.step(), Stage::Finished);
    rig.clock.advance(40000LL * 1000);  // about eleven hours of ticks
    EXPECT_EQ(rig.main->sequence.ticks(), 32767);
    EXPECT_EQ(rig.main->sequence.step(), Stage::Finished);
    EXPECT_FALSE(rig.main->progress.window.visible());

    // OK in the port dialog again identifies the controller again.
    rig.port.written.clear();
    rig.main->sequence.portConfirmed(true);
    EXPECT_TRUE(rig.main->progress.window.visible());
    rig.clock.advance(7000);
    EXPECT_EQ(rig.main->sequence.step(), Stage::Finished);
    EXPECT_EQ(countWritten(rig, 0x01), 1);
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK");
}

TEST(Sequence, FinishingOpensTheAssetDialogWhileTheCounterIsAboveZero) {
    const struct {
        const char* counter;
        bool opens;
    } cases[] = {{"5", true}, {"1", true}, {"0", false}, {"", false}, {"-2", false}, {".", false}, {"%", false},
                 {"abc", false}, {" 3 ", true}};
    for (const auto& c : cases) {
        Rig rig;
        auto& dialog = rig.main->assetDialog;
        dialog.txtScannedAsset.setText("old scan");
        rig.main->counter.lblCounter.setCaption(c.counter);
        rig.load();
        rig.clock.advance(6999);
        EXPECT_FALSE(dialog.window.visible());
        rig.clock.advance(1);
        EXPECT_EQ(dialog.window.visible(), c.opens) << "'" << c.counter << "'";
        EXPECT_EQ(dialog.txtScannedAsset.text(), c.opens ? "" : "old scan") << "'" << c.counter << "'";
        EXPECT_EQ(dialog.txtScannedAsset.focusRequests(), c.opens ? 1 : 0) << "'" << c.counter << "'";
    }
}

TEST(Sequence, StatusPollAsksOnlyWhenNothingIsPending) {
    Rig rig;
    rig.identify();
    rig.port.written.clear();
    auto& m = *rig.main;
    rig.controller.modes.silent = true;
    m.sequence.tmrStatusGET.setEnabled(true);
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 1);
    EXPECT_TRUE(m.sequence.statusPending());
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 1);  // still waiting for the first
    rig.controller.modes.silent = false;
    rig.port.deliver(rig.controller.statusReply());
    EXPECT_FALSE(m.sequence.statusPending());
    rig.clock.advance(10000);
    EXPECT_EQ(countWritten(rig, 0x02), 2);
}

}  // namespace
