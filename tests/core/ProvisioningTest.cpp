// Provisioning one controller: SET ASSET, SET CLIENT and SET COUNTER, the
// Set Asset dialog's scans and the automatic setting, on the virtual clock
// against the virtual controller.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
namespace fs = std::filesystem;

namespace {

const std::string kFifteen = "ABCDEFGHIJKLMNO";
const std::string kSetFifteen = "16 01 10 01 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F";

TEST(SetButtons, SendWhatTheBoxHoldsOrNothingAndLeaveThePollAloneThen) {
    Rig rig;
    rig.identify();
    auto& m = *rig.main;
    const struct {
        const char* box;
        std::string text, frame;  // frame "": nothing is sent
        bool asks = false;        // longer than 15: asked first, the technician takes the first 15
    } cases[] = {
        {"txtAssetID", "AB12", "16 01 05 01 41 42 31 32"},
        {"txtAssetID", " 123", "16 01 05 01 20 31 32 33"},  // an asset reply's leading space goes out too
        {"txtAssetID", "7", "16 01 02 01 37"},
        {"txtAssetID", kFifteen, kSetFifteen},
        {"txtAssetID", kFifteen + "P", kSetFifteen, true},
        {"txtAssetID", kFifteen + "PQRST", kSetFifteen, true},
        {"txtAssetID", "", ""},
        {"txtSetClient", "005", "15 01 04 01 30 30 35"},
        {"txtSetClient", "12345", "15 01 04 01 31 32 33"},
        {"txtSetClient", "AB", ""},
        {"txtSetClient", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        m.sequence.tmrStatusGET.setEnabled(true);
        m.receive.iRxIdx = 7;
        const std::string button = c.box == std::string("txtAssetID") ? "cmdSetAssetID" : "cmdSetClientID";
        std::vector<Step> steps{{"type " + std::string(c.box) + " " + c.text}, {"click " + button, c.asks ? "" : c.frame, {}, c.asks ? "*" : ""}};
        // Its first 15 went out in the case before: asked again, and sent on Yes.
        if (c.asks) steps.insert(steps.end(), {{"answer Write the first 15", "*"}, {"answer Yes", c.frame}});
        ASSERT_TRUE(play(rig, steps));
        EXPECT_EQ(m.sequence.tmrStatusGET.enabled(), c.frame.empty());
        if (c.frame.empty()) {
            EXPECT_EQ(m.receive.iRxIdx, 7);  // nothing asked, the receive buffer kept
        }
    }
    // The controller answers a set with what it now holds.
    rig.clock.advance(100);
    EXPECT_EQ(rig.controller.state.client, "123");

    // With the port closed they send nothing and say nothing, but reset the receive.
    m.indicators.cmdSTOPComms.click();
    for (const char* button : {"cmdSetAssetID", "cmdSetClientID"}) {
        m.sequence.tmrStatusGET.setEnabled(true);
        m.receive.iRxIdx = 9;
        EXPECT_TRUE(play(rig, {{"type txtAssetID A1"}, {"type txtSetClient 005"}, {std::string("click ") + button, "", {}, ""}}));
        EXPECT_EQ(m.receive.iRxIdx, 1) << button;
        EXPECT_FALSE(m.sequence.tmrStatusGET.enabled()) << button;
    }
}

TEST(SetButtons, TheCounterBoxLetsDigitsAndAFewCodesThroughAndBeepsAtTheRest) {
    Rig rig;
    rig.identify();
    const struct {
        int key;
        bool passes;
    } cases[] = {{'0', true},  {'7', true},  {'9', true},  {8, true},    {9, true},    {12, true},
                 {'%', true},  {'&', true},  {'\'', true}, {'(', true},  {'.', true},  {'A', false},
                 {'a', false}, {')', false}, {'-', false}, {'/', false}, {':', false}, {' ', false},
                 {13, false},  {27, false},  {36, false},  {255, false}};
    auto& box = rig.main->identityWrite.txtSetCounter;
    for (const auto& c : cases) {
        const int beeps = rig.beep.beeps;
        EXPECT_EQ(box.keyPress(static_cast<std::int16_t>(c.key)), c.passes ? c.key : 0) << c.key;
        EXPECT_EQ(rig.beep.beeps - beeps, c.passes ? 0 : 1) << c.key;
    }
    // While a flow runs, only Tab passes (to move on), in both boxes.
    rig.main->bulkWrite.cdmSetParams.click();
    for (auto* b : {&box, &rig.main->identityWrite.txtSetClient})
        for (int key : {int('5'), 9}) {
            const int beeps = rig.beep.beeps;
            EXPECT_EQ(b->keyPress(static_cast<std::int16_t>(key)), key == 9 ? 9 : 0) << b->name() << " " << key;
            EXPECT_EQ(rig.beep.beeps - beeps, key == 9 ? 0 : 1) << b->name() << " " << key;
        }
}

const char* const kProvisioningControls[] = {"cdmSetParams", "cmdRefreshNextController", "cmdSetClientID",
                                            "cmdSetAssetID", "txtAssetID", "cmdSetCounter", "cboCLientList"};

// SET COUNTER shows the count and opens the scan dialog; each scan the
// Enable boxes ask for leads to the next field; the last one starts the
// automatic setting with the provisioning controls off.
TEST(ScanDialog, SetCounterOpensItAndTheLastScanTheEnableBoxesAskForStartsTheSetting) {
    const struct {
        bool imei, second;
        const char* status6;
        const char* status7;
    } cases[] = {{false, false, "", ""},
                 {true, false, "356938035643809", ""},
                 {true, true, "356938035643809", "X-77"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.imei) + std::to_string(c.second));
        Rig rig;
        rig.identify();
        std::vector<Step> steps{
            {"check chkCustom1(0) " + std::to_string(c.imei)},
            {"check chkCustom1(1) " + std::to_string(c.second)},
            {"type txtScannedAsset left over"},
            {"caption lblGetStatus(6) IMEI 1"},
            {"caption lblGetStatus(7) CODE 2"},
            {"type txtSetCounter 5", "", {{"visible lblHeader(1)", "0"}}},
            {"click cmdSetCounter", "",
             {{"lblCounter", "5"}, {"visible lblHeader(1)", "1"}, {"lblHeader(1)", "Remaining"},
              {"visible frmSetAsset", "1"}, {"frmSetAsset", "Set Asset"}, {"txtScannedAsset", ""},
              {"focus txtScannedAsset", "1"}, {"lblGetStatus(6)", ""}, {"lblGetStatus(7)", ""}}},
        };
        const std::pair<const char*, const char*> scans[] = {
            {"txtScannedAsset", "A100"}, {"txtCustom1(0)", "356938035643809"}, {"txtCustom1(1)", "X-77"}};
        const std::size_t needed = 1 + c.imei + c.second;
        for (std::size_t i = 0; i < needed; ++i) {
            const std::string field = scans[i].first;
            // Enter in an empty field does nothing.
            steps.push_back({"key " + field + " 13", "", {{"visible frmSetAsset", "1"}}});
            steps.push_back({"scan " + field + " " + scans[i].second, "", {{"visible frmSetAsset", i + 1 < needed ? "1" : "0"}}});
            if (i + 1 < needed) steps.back().holds.push_back({"focus " + std::string(scans[i + 1].first), "1"});
        }
        Step& last = steps.back();
        last.holds.insert(last.holds.end(), {{"txtAssetID", "A100"}, {"lblGetStatus(6)", c.status6},
                                             {"lblGetStatus(7)", c.status7}, {"visible frmProgressInfo", "1"},
                                             {"lblCurrentINFO", " Setting Client and Asset..."}});
        for (const char* name : kProvisioningControls) last.holds.push_back({std::string("enabled ") + name, "0"});
        last.also = [](Rig& r) {
            EXPECT_TRUE(r.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
            EXPECT_TRUE(r.main->autoSetting.answered());
            EXPECT_EQ(r.main->autoSetting.step(), kv::controller::AutoSetting::Step::Idle);
        };
        EXPECT_TRUE(play(rig, steps));
    }
}

TEST(ScanDialog, ExitHidesItWithoutStartingOrEmptyingIt) {
    Rig rig;
    rig.identify();
    EXPECT_TRUE(play(rig, {{"type txtSetCounter 5"},
                           {"click cmdSetCounter"},
                           {"type txtScannedAsset A1"},
                           {"click cmdExit", "", {{"visible frmSetAsset", "0"}, {"txtScannedAsset", "A1"}, {"visible cmdSetAsset", "0"}}},
                           {"press cmdSetAsset", ""},
                           {"advance 3000", ""}}));
    EXPECT_FALSE(rig.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
}

// What the scan dialog and the SET buttons say; the port dialog says it is
// scanning while it looks for ports, on screen before the look starts.
TEST(Texts, TheScanDialogTheSetButtonsAndThePortScan) {
    Rig rig;
    std::vector<std::string> painted;
    auto& startup = rig.main->startup.window;
    startup.listen([&, seen = 0]() mutable {
        if (startup.refreshRequests() != seen) painted.push_back(startup.caption());
        seen = startup.refreshRequests();
    });
    rig.main->Form_Load();
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front(), "Scanning available comm hardware...");
    EXPECT_EQ(startup.caption(), "Communications Port Settings");
    rig.main->startup.cmdOK.click();
    rig.main->assetDialog.Open();
    play(rig, {{"", "", {{"frmSetAsset", "Set Asset"}, {"frmSetAsset.Label1", "Scan Asset:"},
                         {"frmSetAsset.Label3", "Scan IMEI:"}, {"caption chkCustom1(0)", "Enable"},
                         {"caption chkCustom1(1)", "Enable"}, {"cmdExit", "EXIT"}, {"cmdSetAsset", "SET ASSET"},
                         {"cmdSetAssetID", "SET ASSET"}, {"cmdSetClientID", "SET CLIENT"},
                         {"cmdSetCounter", "SET COUNTER"}}}});
}

// ---- the automatic setting ----

const std::string kSetA100 = "16 01 05 01 41 31 30 30";
const std::string kSet007 = "15 01 04 01 30 30 37";
const std::string kRead = hex({kv::link::frameReadParams()});
const std::vector<std::uint8_t> kRun{0x16, 0x15, 0x06};  // the run's own requests

// Enter in the asset box with `client` in the client box.
std::vector<Step> enter(const std::string& client, const std::string& asset = "A100") {
    return {{"type txtSetClient " + client}, {"type txtAssetID " + asset}, {"key txtAssetID 13", ""}};
}

// A tick a second, two while the parameters are read; a step without an
// answer is issued again every seventh tick; an answer after the sixth does
// not stop the repeat; Enter while a step waits skips to the next; the next
// controller's run ticks every second again.
TEST(AutoSetting, StepsGoOnTheirTicks) {
    const auto read = timeline({{1000, kSetA100}, {3000, kRead}}, kRun);
    playAll({
        {"a short client skips to the parameter read", {},
         join({enter("AB"), read,
               {{"advance 1000", "*", {{"lblCurrentINFO", " Retrieving Params.... Please Wait"}}, "*",
                 [](Rig& r) { EXPECT_EQ(r.main->autoSetting.tmrSetAutoAssetClientParam.interval(), 2000); }}}})},
        {"an empty client too", {}, join({enter(""), read})},
        {"a silent controller", [](Rig& r) { r.controller.modes.silent = true; },
         join({enter("007"), timeline({{1000, kSetA100}, {8000, kSetA100}, {15000, kSetA100}, {22000, kSetA100}}, kRun),
               {{"advance 500", "", {{"lblCurrentINFO", " Setting Client and Asset..."}}}}})},
        {"the first asset reply at 7.5 s", [](Rig& r) { r.controller.modes.replyDelayMs = 6500; },
         join({enter("007"),
               {{"advance 1500", kSetA100, {}, "", [](Rig& r) { r.controller.modes.replyDelayMs = 20; }, kRun}},
               timeline({{6500, kSetA100}, {7500, kSet007}}, kRun)})},
        {"Enter while a step waits", [](Rig& r) { r.controller.modes.silent = true; },
         join({enter("007"),
               {{"advance 1000", kSetA100, {}, "*", {}, kRun},
                {"advance 1500", "", {}, "*", {}, kRun},
                {"key txtAssetID 13", ""},  // the run stays at its asset step
                {"advance 499", "", {}, "*", {}, kRun},
                {"advance 1", kSet007, {}, "*", {}, kRun}}})},
        {"the next run", {},
         join({enter("007"), {{"advance 30000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}}}}, enter("007"),
               timeline({{1000, kSetA100}, {2000, kSet007}}, kRun)})},
    }, [](Rig& r) { r.identify(); });
}

// Enter in an empty asset box does nothing; a run whose APPLY PARAMS is
// refused (its selected file has gone) gives the technician the controls back.
TEST(AutoSetting, NeverLeavesTheProvisioningControlsOff) {
    Rig rig;
    rig.identify();
    std::vector<std::pair<std::string, std::string>> on{{"visible frmProgressInfo", "0"}};
    for (kv::ui::Control* ctl : rig.main->setControls.controls()) on.push_back({"enabled " + ctl->name(), "1"});
    const fs::path saved = paramFolder(rig) / "batch.csv";
    rig.fileDialog.answer = saved.string();
    std::vector<Step> steps{{"type txtAssetID ", "", on, ""}, {"key txtAssetID 13", "", on, ""}, {"click mSaveFile"}};
    steps.push_back({"", "*", {}, "*", [&](Rig&) { fs::remove(saved); }});
    for (const auto& s : enter("007")) steps.push_back(s);
    steps.push_back({"advance 5500", "*", on});
    steps.back().only = {0x08};
    steps.back().wire = "";  // never asks for service mode
    EXPECT_TRUE(play(rig, steps));
    EXPECT_FALSE(rig.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
    EXPECT_FALSE(rig.main->bulkWrite.tmrSetMultipleParams.enabled());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written"), std::string::npos);
}

// A reply lost on the line leaves its step waiting: the step is asked again
// after six ticks without an answer (one second each while setting, two while
// the parameters are read), and the run goes on to APPLY PARAMS.
TEST(AutoSetting, AStepWhoseReplyIsLostIsAskedAgain) {
    const struct {
        const char* name;
        std::int64_t deafFrom, deafTo;  // the controller hears nothing in between
        std::vector<std::int64_t> asset, client, read;
        std::int64_t serviceMode;  // the first request of APPLY PARAMS
    } cases[] = {
        {"nothing lost", 0, 0, {1000}, {2000}, {3000}, 5000},
        {"the asset reply", 500, 1500, {1000, 8000}, {9000}, {10000}, 12000},
        {"the client reply", 1500, 2500, {1000}, {2000, 9000}, {10000}, 12000},
        {"the parameter reply", 2500, 3500, {1000}, {2000}, {3000, 17000}, 19000},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        rig.takeWritten();
        play(rig, {{"type txtSetClient 007"}, {"type txtAssetID A100"}});
        const std::int64_t t0 = rig.clock.nowMs();
        rig.main->identity.txtAssetID.keyPress(13);
        std::vector<WireLog> log;
        runRecording(rig, c.deafFrom, log);
        rig.controller.modes.silent = c.deafTo > 0;
        runRecording(rig, c.deafTo - c.deafFrom, log);
        rig.controller.modes.silent = false;
        runRecording(rig, 20000 - (rig.clock.nowMs() - t0), log);
        // The run's own requests, up to APPLY PARAMS's first.
        std::map<std::uint8_t, std::vector<std::int64_t>> at;
        for (const auto& w : log) {
            at[w.frame[0]].push_back(w.at - t0);
            if (w.frame[0] == 0x08) break;
        }
        EXPECT_EQ(at[0x16], c.asset) << c.name;
        EXPECT_EQ(at[0x15], c.client) << c.name;
        EXPECT_EQ(at[0x06], c.read) << c.name;
        EXPECT_EQ(at[0x08], std::vector<std::int64_t>{c.serviceMode}) << c.name;
        EXPECT_EQ(rig.controller.state.asset, "A100") << c.name;
        EXPECT_EQ(rig.controller.state.client, "007") << c.name;
    }
}

}  // namespace

namespace {

// A cable pulled for a moment during the automatic setting identifies the
// controller again meanwhile: the next scan waits until this controller is
// done, and only then is asked for.
TEST(AutoSetting, TheNextScanIsNotAskedForWhileAControllerIsProvisioned) {
    for (std::int64_t outMs : {600, 1500}) {
        SCOPED_TRACE(outMs);
        Line l;
        l.begin(2, false);
        auto& m = *l.rig.main;
        scan(m.assetDialog.txtScannedAsset, "KV-9001");
        l.pullCable(500, outMs);
        bool identifiedMeanwhile = false, provisioned = false;
        for (int t = 0; t < 400 && !provisioned; ++t) {
            const bool busy = m.autoSetting.tmrSetAutoAssetClientParam.enabled() || m.bulkWrite.tmrSetMultipleParams.enabled();
            identifiedMeanwhile |= busy && m.progress.lblCurrentINFO.caption() == " CONNECTED..OK";
            ASSERT_FALSE(busy && m.assetDialog.window.visible()) << "at " << l.rig.clock.nowMs();
            provisioned = l.record().size() == 2;
            l.rig.clock.advance(100);
        }
        EXPECT_TRUE(identifiedMeanwhile);
        ASSERT_TRUE(provisioned);
        EXPECT_EQ(l.line->unit(1).asset, "KV-9001");
        EXPECT_TRUE(waitFor(l.rig, [&] { return m.assetDialog.window.visible(); }, 20000));  // the next one's turn
    }
}

}  // namespace
