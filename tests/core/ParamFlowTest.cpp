// Editing on the front panel, single and bulk writes, service mode, RESTART
// and REFRESH, on the virtual clock against the virtual controller.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

const Bytes kEnter{0x08, 0x01, 0x01, 0x01};
const Bytes kExit{0x08, 0x01, 0x01, 0x00};
const Bytes kFirmware{0x01, 0x01, 0x01, 0x00};

struct Panel : ::testing::Test {
    void SetUp() override {
        rig.identify();
        rig.takeWritten();
    }
    kv::params::ParamEdit& edit() { return rig.main->paramEdit; }
    kv::params::ParamTable& t() { return rig.main->params; }
    Rig rig;
};

TEST_F(Panel, KeysStepTheSelectedRowByItsType) {
    // SP type 1 at 440 (4.0), ODS type 3 at 410 (1), IDF type 4 at 480 (08),
    // DFD type 5 at 1.
    const struct {
        int row;
        const char* key;
        const char* value;
        const char* shown;
    } cases[] = {
        {0, "imgKV53UP", "441", "4.1"}, {0, "cmdUP", "441", "4.1"},     {0, "imgKV53DWN", "439", "3.9"},
        {0, "cmdDown", "439", "3.9"},   {7, "imgKV53UP", "420", "2"},   {7, "cmdUP", "411", "1"},
        {7, "imgKV53DWN", "400", "0"},  {11, "imgKV53UP", "490", "09"}, {11, "cmdDown", "479", "08"},
        {14, "imgKV53UP", "2", "2"},    {14, "cmdDown", "0", "0"},
    };
    for (const auto& c : cases) {
        std::string start = t().row(c.row).sParamValue;
        std::string startText = t().txtParam(c.row).text();
        t().lblParam(c.row).click();
        EXPECT_EQ(edit().lblSettingParam.caption(), t().lblParam(c.row).caption());
        EXPECT_EQ(edit().lblSettingValue.caption(), startText);
        if (auto* img = dynamic_cast<kv::ui::Image*>(rig.main->window.find(c.key))) img->click();
        else rig.main->window.button(c.key).press();  // hidden buttons, pressed by code
        EXPECT_EQ(t().row(c.row).sParamValue, c.value) << c.row << " " << c.key;
        EXPECT_EQ(t().txtParam(c.row).text(), c.shown) << c.row << " " << c.key;
        EXPECT_EQ(edit().lblSettingValue.caption(), c.shown) << c.row << " " << c.key;
        // Put it back for the next case.
        edit().cmdDefault.press();
        EXPECT_EQ(t().row(c.row).sParamValue, start);
        EXPECT_EQ(t().txtParam(c.row).text(), startText);
    }
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_TRUE(rig.takeWritten().empty());  // stepping sends nothing
    EXPECT_FALSE(rig.main->sequence.tmrStatusGET.enabled());
}

// Without a selection the keys change nothing; a row whose box is empty
// cannot be selected; a stepped limit is said and held; the set key writes
// the selected row once and ends the selection.
TEST(PanelKeys, StepOnlyTheSelectedRowWithinItsLimitsAndSetWritesItOnce) {
    Rig rig;
    rig.controller.state.params[0] = 650;
    rig.identify();
    rig.controller.state.params[0] = 0;
    EXPECT_TRUE(play(rig, {
        {"click imgKV53UP", "", {{"txtParam(0)", "25.0"}, {"lblSettingValue", "8.8.8"}}, ""},
        {"press cmdUP", "", {{"txtParam(0)", "25.0"}}, ""},
        {"press cmdDefault", "", {{"txtParam(0)", "25.0"}, {"lblSettingValue", "8.8.8"}}, ""},
        {"type txtParam(5) "},
        {"click lblParam(5)", "", {{"lblSettingParam", "--"}}},
        {"click lblParam(14)", "", {{"lblSettingParam", "DFD"}, {"lblSettingValue", "1"}}},  // 0 to 2
        {"click imgKV53UP", "", {{"txtParam(14)", "2"}, {"lblSettingValue", "2"}}, ""},
        {"click imgKV53UP", "", {{"txtParam(14)", "2"}, {"lblSettingValue", "2"}}, "DFD Value to HIGH", [](Rig& r) {
             EXPECT_EQ(r.messages.shown.back().title, "KV53_Varkel_Comms");
         }},
        {"click lblParam(3)", "", {{"lblSettingParam", "LSE"}, {"txtParam(3)", "-30.0"}}},  // at its lower limit 100
        {"click imgKV53DWN", "", {{"txtParam(3)", "-30.0"}}, "LSE Value to LOW"},
        {"click lblParam(0)", "", {{"lblSettingValue", "25.0"}}},
        {"click imgKV5xSLT", "07 01 05 01 02 8A 99 99", {{"lblSettingParam", "--"}, {"lblSettingValue", " "}}},
        {"click imgKV5xSLT", ""},  // nothing selected: nothing sent
        {"advance 100", "*", {}, "", [](Rig& r) {
             EXPECT_EQ(r.controller.state.params[0], 650);
             EXPECT_TRUE(r.main->bulkWrite.acknowledged());
         }},
    }));
}

TEST(PanelRefusal, ABulkWriteNeedsThirtyNineRows) {
    Rig rig;
    useDefinitions(rig, definitionLines(20));
    rig.load();
    rig.takeWritten();
    rig.main->bulkWrite.cdmSetParams.press();
    EXPECT_TRUE(rig.takeWritten().empty());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("gave 20 parameters; 39 are needed"), std::string::npos);
}

// Frame n of a bulk write of the current table.
Bytes bulkFrame(kv::params::ParamTable& t, int n) {
    std::vector<kv::link::ParamWrite> triples;
    for (int k = (n - 1) * 10; k < std::min(n * 10, 39); ++k)
        triples.push_back(kv::link::splitParam(std::uint8_t(k + 1), std::stoi(t.row(k).sParamValue)));
    return kv::link::frameWriteParams(triples);
}

struct Bulk : ::testing::Test {
    void SetUp() override {
        rig.controller.modes.restartMs = 300;
        rig.controller.modes.storeOnlyInServiceMode = true;
        rig.identify();
        rig.takeWritten();
    }
    kv::params::ParamTable& t() { return rig.main->params; }
    Rig rig;
};

// The frames of a bulk write of the table as it stands, in hex.
std::vector<std::string> bulkFrames(kv::params::ParamTable& t) {
    std::vector<std::string> out;
    for (int n = 1; n <= 4; ++n) out.push_back(hex({bulkFrame(t, n)}));
    return out;
}

// The enter reply (22 ms) sets the pace to 500 ms; each acknowledgement comes
// 30 ms after its frame, so each next frame goes at the next tick. The exit
// reply comes while frame 4's acknowledgement is set: the refresh follows it
// by 500 ms, and the sequence starts again from its first request.
TEST_F(Bulk, EveryFrameGoesOnTheTickAfterTheAcknowledgementThenTheControllerRestartsAndIsIdentified) {
    play(rig, {{"click lblParam(0)"}, {"click imgKV53UP"}, {"click lblParam(38)"}, {"click imgKV53DWN"}});
    rig.main->counter.lblCounter.setCaption("3");
    rig.main->sequence.tmrStatusGET.setEnabled(true);
    std::vector<std::string> values;  // the table's, which the controller must end up holding
    for (int k = 0; k < 39; ++k) values.push_back(t().row(k).sParamValue);
    const auto f = bulkFrames(t());
    play(rig, {
        {"press cdmSetParams", hex({kEnter}),
         {{"lblCounter", "2"}, {"enabled cdmSetParams", "0"}, {"enabled cmdRefreshNextController", "0"},
          {"enabled cmdRestartController", "0"}, {"lblSettingValue", "8.8.8"}, {"lblSettingParam", "--"},
          {"visible frmProgressInfo", "1"}, {"lblCurrentINFO", " Writing parameters......Please wait"}}},
    });
    play(rig, timeline({{522, f[0]}, {1022, f[1]}, {1522, f[2]}, {2022, f[3]}, {3022, hex({kExit})}}));
    play(rig, {
        {"", "", {{"lblCurrentINFO", " Controller Restarting......Please wait"}}},
        {"advance 2000", "01 01 01 00 | 0A 01 01 00"},  // identified again from its first request
        {"advance 12000", "*",
         {{"lblCurrentINFO", " CONNECTED..OK"}, {"txtParam(0)", "4.1"}, {"txtParam(38)", "52"}, {"lblCounter", "2"},
          {"enabled cdmSetParams", "1"}, {"enabled cmdRefreshNextController", "1"},
          {"enabled cmdRestartController", "1"}, {"lblError", ""}},
         ""},
    });
    EXPECT_FALSE(rig.main->sequence.tmrStatusGET.enabled());
    EXPECT_EQ(f[0].size(), 35u * 3 - 1);
    EXPECT_EQ(f[3].substr(0, 8), "07 01 1D");
    // Exactly the table's values, all written inside service mode, shown
    // again after the restart.
    for (int k = 0; k < 39; ++k) {
        EXPECT_EQ(std::to_string(rig.controller.state.params[std::size_t(k)]), values[std::size_t(k)]) << k;
        EXPECT_EQ(t().row(k).sParamValue, values[std::size_t(k)]) << k;
    }
    EXPECT_EQ(rig.controller.state.params[0], 441);
    EXPECT_EQ(rig.controller.state.params[38], 52);
    ASSERT_EQ(rig.controller.paramWrites.size(), 39u);
    for (const auto& w : rig.controller.paramWrites) EXPECT_TRUE(w.inServiceMode && w.stored) << int(w.number);
}

// The sequence waits for the refresh; the front panel takes no key and sends
// nothing while the table is written (a single write's acknowledgement would
// be taken for a frame's).
TEST_F(Bulk, WhileItRunsTheSequenceWaitsAndThePanelTakesNoKey) {
    play(rig, {{"click lblParam(0)"}, {"press cdmSetParams", hex({kEnter})}, {"advance 300"}});
    EXPECT_EQ(rig.main->sequence.step(), kv::link::ConnectionSequence::Step::Firmware);
    std::vector<Step> keys;
    for (const char* key : {"imgKV53UP", "imgKV53DWN", "imgKV5xSLT", "cmdApply", "cmdDefault"}) {
        keys.push_back({std::string("click ") + key, "", {{std::string("enabled ") + key, "0"}}});
    }
    keys.push_back({"click lblParam(0)", "", {{"lblSettingParam", "--"}}});
    keys.push_back({"press cmdApply", ""});
    play(rig, keys);
    rig.clock.advance(3200);
    EXPECT_EQ(rig.main->sequence.step(), kv::link::ConnectionSequence::Step::Firmware);
    ASSERT_TRUE(waitFor(rig, [&] { return !rig.main->bulkWrite.tmrSetMultipleParams.enabled(); }, 30000));
    EXPECT_TRUE(rig.main->paramEdit.imgKV5xSLT.enabled());
}

TEST_F(Bulk, TheBatchCounterGoesDownByOneWhenAboveZero) {
    const std::pair<const char*, const char*> cases[] = {{"3", "2"}, {"1", "0"}, {"0", "0"}, {"", ""}, {"abc", "abc"}};
    for (const auto& [before, after] : cases) {
        rig.main->counter.lblCounter.setCaption(before);
        rig.main->bulkWrite.cdmSetParams.press();
        EXPECT_EQ(rig.main->counter.lblCounter.caption(), after) << before;
        rig.clock.advance(12000);
    }
}

// No service-mode reply: the pace stays 100 ms, a frame every 500 ms, then
// 1000 ms to the exit and the full 5000 ms wait before the refresh; the
// sequence's first request at the next tick after it (7600).
TEST_F(Bulk, ASilentControllerGetsAFrameEveryFifthTickAndTheTechnicianIsTold) {
    rig.controller.modes.silent = true;
    const auto f = bulkFrames(t());
    play(rig, {{"press cdmSetParams", hex({kEnter})}});
    play(rig, timeline({{100, f[0]}, {600, f[1]}, {1100, f[2]}, {1600, f[3]}, {2600, hex({kExit})},
                        {8000, hex({kFirmware})}}));
    play(rig, {{"", "", {{"lblError", "Frames 1, 2, 3, 4 not acknowledged"}}}});
}

// Frame 3 goes five ticks after frame 2 (not a repeat of it); the read after
// the restart finds every value written: only the acknowledgement was lost.
TEST_F(Bulk, ALostAcknowledgementHoldsTheNextFrameFiveTicksAndIsReported) {
    rig.controller.modes.loseAckForFrame = 2;
    const auto f = bulkFrames(t());
    play(rig, {{"press cdmSetParams", hex({kEnter})}});
    play(rig, timeline({{522, f[0]}, {1022, f[1]}, {3522, f[2]}, {4022, f[3]}, {5022, hex({kExit})}}));
    play(rig, {{"advance 9000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}, {"lblError", ""}}}});
}

// "Frame 2 not acknowledged" stays after the restart while the controller
// does not hold what frame 2 carried, and the next bulk write clears it.
TEST_F(Bulk, AFrameNotAcknowledgedIsNamedUntilTheReadBackShowsItsValues) {
    rig.controller.modes.loseAckForFrame = 2;
    rig.main->bulkWrite.cdmSetParams.press();
    ASSERT_TRUE(waitFor(rig, [&] { return rig.main->bulkWrite.restarting(); }, 8000));
    rig.controller.state.params[12] = 5;  // frame 2's P013 never stored
    ASSERT_TRUE(waitFor(rig, [&] { return rig.main->progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    EXPECT_EQ(rig.main->receive.lblError.caption(), "Frame 2 not acknowledged");
    rig.main->bulkWrite.cdmSetParams.press();
    EXPECT_EQ(rig.main->receive.lblError.caption(), "");
}

TEST_F(Bulk, ASelectedFileIsWrittenNotValuesSteppedSince) {
    fs::path p = paramFolder(rig) / "batch.csv";
    writeFile(p, "SP,100\r\n");  // raw 500
    rig.fileDialog.answer = p.string();
    rig.main->paramFiles.mOpnFile.click();
    EXPECT_EQ(t().row(0).sParamValue, "500");
    t().lblParam(0).click();
    rig.main->paramEdit.imgKV53UP.click();
    EXPECT_EQ(t().row(0).sParamValue, "501");
    play(rig, {{"press cdmSetParams"}, {"advance 12000"}});
    EXPECT_EQ(rig.controller.state.params[0], 500);

    // A selected file that has gone: nothing at all is sent.
    fs::remove(p);
    rig.takeWritten();
    rig.main->bulkWrite.cdmSetParams.press();
    EXPECT_TRUE(rig.takeWritten().empty());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find(p.string() + " cannot be read"), std::string::npos);
    EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written to the controller."), std::string::npos);
}

// Enter reply at 22 ms: the silent pass at 522, the exit at 1022, and
// without an acknowledgement pending the full 5000 ms before the refresh;
// each restart alike, after a bulk write left its state behind.
TEST_F(Bulk, ARestartSendsOnlyTheServiceModeRequests) {
    play(rig, {{"press cdmSetParams"}, {"advance 12000"}, {"click lblParam(0)"}});
    rig.controller.paramWrites.clear();
    std::vector<std::string> texts;
    rig.main->progress.lblCurrentINFO.listen([&] { texts.push_back(rig.main->progress.lblCurrentINFO.caption()); });
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        play(rig, {{"click cmdRestartController", hex({kEnter}),
                    {{"visible frmProgressInfo", "1"}, {"lblCurrentINFO", " Controller Restarting......Please wait"},
                     {"lblSettingValue", "8.8.8"}, {"lblSettingParam", "--"}}}});
        play(rig, timeline({{1022, hex({kExit})}}));
        play(rig, {{"advance 5000", ""},
                   {"advance 1000", hex({kFirmware})},
                   {"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}, {"enabled cdmSetParams", "1"}}}});
    }
    EXPECT_EQ(std::count(texts.begin(), texts.end(), " Controller about to restart......Please wait"), 0);
    EXPECT_TRUE(rig.controller.paramWrites.empty());
}

// REFRESH identifies the controller now on the line; with the port closed,
// REFRESH and APPLY PARAMS say so and touch nothing.
TEST_F(Bulk, RefreshIdentifiesTheControllerNowOnTheLineAndNothingRunsWithThePortClosed) {
    using Step = kv::link::ConnectionSequence::Step;
    auto untouched = [](Rig& r) {
        EXPECT_EQ(r.main->sequence.step(), Step::Finished);
        EXPECT_FALSE(r.main->sequence.stepDue());
        EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled());
    };
    EXPECT_TRUE(play(rig, {
        {"", "", {}, "", [](Rig& r) { r.controller.state.mac = "00AABBCCDDEE"; }},
        {"click cmdRefreshNextController", "*", {{"visible frmProgressInfo", "1"}}},
        {"advance 8000", "*", {{"lblMacAddress", " 00AABBCCDDEE"}}},
        {"click cmdSTOPComms", "*", {}, "*", [](Rig& r) { r.main->receive.iRxIdx = 7; }},
        {"click cmdRefreshNextController", "", {}, "COMM PORT NOT OPEN", [&](Rig& r) {
             untouched(r);
             EXPECT_EQ(r.messages.shown.back().title, "KV53_Varkel_Comms");
             EXPECT_EQ(r.main->receive.iRxIdx, 1);
         }},
        {"caption lblCounter 3"},
        {"click cdmSetParams", "", {{"lblCounter", "3"}, {"visible frmProgressInfo", "0"}}, "COMM PORT NOT OPEN", untouched},
    }));
}

// A definition file need not list the parameters in order: each row is
// read and written, and checked after the restart, by its own parameter
// number.
TEST(BulkOrder, EachRowGoesToItsOwnParameterNumberWhateverTheOrderOfTheFile) {
    Rig rig;
    std::string defs;
    for (int n = 39; n >= 1; --n) defs += definition(n, "5", "0", "1000", "M" + std::to_string(n));
    useDefinitions(rig, defs);
    for (int n = 1; n <= 39; ++n) rig.controller.state.params[std::size_t(n - 1)] = 100 + n;
    rig.identify();
    rig.controller.modes.loseAckForFrame = 2;  // named until the read-back shows frame 2's values
    play(rig, {{"", "", {{"txtParam(0)", "139"}, {"txtParam(38)", "101"}}},  // P039 first in the file
               {"click lblParam(0)"}, {"click imgKV53UP"}, {"press cdmSetParams"},
               {"advance 25000", "*", {{"txtParam(0)", "140"}, {"lblError", ""}, {"@record", "14:05:36 05/12/2026,0004A3B1C2D3,0004A3B1C2D3,1A 2B,K5b 162,A1234,005,,,"
                                                                    "\"no: asset not written, client not written\""}}}});
    for (int n = 1; n <= 39; ++n) EXPECT_EQ(rig.controller.state.params[std::size_t(n - 1)], n == 39 ? 140 : 100 + n) << n;
}

// APPLY, and APPLY PARAMS, refuse a row they cannot write and name it: by
// its label, or by its place in the window when the definitions gave it none.
TEST(RowNames, ARowWithoutALabelIsNamedByItsPlace) {
    const struct {
        int row;  // 1 to 39
        const char* label;
        const char* named;
        bool panel;  // APPLY on the front panel, else APPLY PARAMS
    } cases[] = {
        {1, "", "row 1 (P001)", false},  {5, "", "row 5 (P005)", false}, {39, "", "row 39 (P039)", false},
        {5, "BIG", "BIG (P005)", false}, {1, "BIG", "BIG (P001)", true},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::string defs;
        for (int i = 1; i <= 39; ++i)
            defs += i == c.row ? definition(i, "40000", "0", "50000", c.label)
                               : definition(i, "5", "0", "1000", "M" + std::to_string(i));
        useDefinitions(rig, defs);
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        rig.takeWritten();
        rig.main->counter.lblCounter.setCaption("3");
        if (c.panel) {
            rig.main->params.txtParam(c.row - 1).setText("40000");
            rig.main->params.lblParam(c.row - 1).click();
            rig.main->paramEdit.cmdApply.press();
            EXPECT_EQ(rig.main->paramEdit.lblSettingParam.caption(), "--") << c.named;
        } else {
            for (int k = 0; k < 39; ++k) rig.main->params.txtParam(k).setText("shown");
            rig.main->bulkWrite.cdmSetParams.click();
            // Refused before service mode is asked for; the count stays.
            EXPECT_FALSE(rig.main->bulkWrite.tmrSetMultipleParams.enabled()) << c.named;
            EXPECT_EQ(rig.main->counter.lblCounter.caption(), "3") << c.named;
        }
        EXPECT_TRUE(rig.takeWritten().empty()) << c.named;
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.named;
        const std::string expected = std::string(c.named) + ": the value \"40000\" is not a number from 0 to 32767";
        EXPECT_NE(rig.messages.shown[0].text.find(expected), std::string::npos)
            << "want: " << expected << "\n got: " << rig.messages.shown[0].text;
        if (!c.panel) {
            EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written"), std::string::npos) << c.named;
        }
    }
}

// The count goes down by one across a power of ten as well: 10 is followed
// by 9, never by 0 or by a number with a zero too many.
TEST(BatchCount, GoesDownByOneAcrossAPowerOfTen) {
    const struct {
        const char* typed;
        const char* after;
    } cases[] = {{"10", "9"}, {"100", "99"}, {"2000", "1999"}, {"105", "104"}, {"90", "89"}, {"1", "0"},
                 // Whatever its length: never up, never a number that was not typed.
                 {"12345678901234567", "12345678901234566"},
                 {"9999999999999999999999999999999999999999", "9999999999999999999999999999999999999998"}};
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        m.identityWrite.txtSetCounter.setText(c.typed);
        m.identityWrite.cmdSetCounter.click();
        m.assetDialog.cmdExit.click();
        m.bulkWrite.cdmSetParams.click();
        ASSERT_TRUE(m.bulkWrite.tmrSetMultipleParams.enabled()) << c.typed;
        EXPECT_EQ(m.counter.lblCounter.caption(), c.after) << c.typed;
        // The controller is written and identified again; the count stays.
        ASSERT_TRUE(waitFor(rig, [&] { return !m.record.pending(); }, 30000)) << c.typed;
        EXPECT_EQ(m.counter.lblCounter.caption(), c.after) << c.typed;
    }
}

// A second controller model is a profile and a definition file: a made-up
// one of 20 parameters in frames of 10, whose firmware marks support with
// 'q', is identified (serial, client and asset asked, as a supported one is)
// and written whole, in two frames, inside service mode.
TEST(Profile, AMadeUpModelOfTwentyParametersIsIdentifiedAndWrittenInTwoFrames) {
    static constexpr kv::link::Profile kT20{"T20", 20, 10, "T20_Params.txt", 'q'};
    Rig rig(kT20);
    rig.controller.state.fwText = "T2q";
    rig.controller.state.mac = "00AABBCCDD20";
    {
        std::ifstream kv53(std::filesystem::path(KV_SOURCE_DIR) / "data" / "KV5x_Params.txt");
        std::ofstream t20(std::filesystem::path(rig.folders.programPath) / kT20.definitionFile);
        std::string line;
        for (int n = 0; n < kT20.params && std::getline(kv53, line); ++n) t20 << line << "\n";
    }
    rig.identify();
    auto& m = *rig.main;
    ASSERT_EQ(m.progress.lblCurrentINFO.caption(), " CONNECTED..OK");
    EXPECT_EQ(m.identity.lblMacAddress.caption(), " 00AABBCCDD20");
    EXPECT_EQ(m.params.iParamCount, 20);
    for (int k = 0; k < 20; ++k) EXPECT_FALSE(m.params.txtParam(k).text().empty()) << k;
    EXPECT_EQ(m.params.txtParam(20).text(), "");
    std::vector<Bytes> reads;
    for (const auto& f : rig.takeWritten())
        if (f[0] == 0x06) reads.push_back(f);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].size(), 3u + 20 + 2);  // parameters 1 to 20, then the list end

    m.bulkWrite.cdmSetParams.click();
    rig.clock.advance(25000);  // the write, the restart and the identification again
    int frames = 0;
    for (const auto& f : rig.takeWritten()) frames += f[0] == 0x07;
    EXPECT_EQ(frames, 2);
    std::string numbers;
    for (const auto& w : rig.controller.paramWrites) {
        numbers += std::to_string(w.number) + " ";
        EXPECT_TRUE(w.inServiceMode && w.stored) << int(w.number);
    }
    EXPECT_EQ(numbers, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 ");
    EXPECT_EQ(m.progress.lblCurrentINFO.caption(), " CONNECTED..OK");
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.shown.front().text;
}

}  // namespace
