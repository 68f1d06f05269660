// Provisioning one controller: SET ASSET, SET CLIENT and SET COUNTER, the
// customer list, the Set Asset dialog's scans and the automatic setting, on
// the virtual clock against the virtual controller.
#include <gtest/gtest.h>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

Bytes withText(Bytes head, const std::string& text) {
    for (char c : text) head.push_back(static_cast<std::uint8_t>(c));
    return head;
}

struct Identified : ::testing::Test {
    void SetUp() override {
        rig.identify();
        rig.takeWritten();
    }
    kv::app::frmMain& m() { return *rig.main; }
    Rig rig;
};

TEST_F(Identified, SetAssetAndSetClientFrames) {
    const std::string fifteen = "ABCDEFGHIJKLMNO";
    const struct {
        bool asset;
        std::string text;
        Bytes frame;  // empty: nothing is sent
        bool asks = false;
    } cases[] = {
        {true, "AB12", Bytes({0x16, 0x01, 0x05, 0x01, 0x41, 0x42, 0x31, 0x32})},
        // An asset reply leaves a leading space in the box: it goes out too.
        {true, " 123", Bytes({0x16, 0x01, 0x05, 0x01, 0x20, 0x31, 0x32, 0x33})},
        {true, "7", Bytes({0x16, 0x01, 0x02, 0x01, 0x37})},
        {true, fifteen, withText(Bytes({0x16, 0x01, 0x10, 0x01}), fifteen)},
        // Longer: asked first, the technician chooses its first 15.
        {true, fifteen + "P", withText(Bytes({0x16, 0x01, 0x10, 0x01}), fifteen), true},
        {true, fifteen + "PQRST", withText(Bytes({0x16, 0x01, 0x10, 0x01}), fifteen), true},
        {true, "", {}},
        {false, "005", Bytes({0x15, 0x01, 0x04, 0x01, 0x30, 0x30, 0x35})},
        {false, "12345", Bytes({0x15, 0x01, 0x04, 0x01, 0x31, 0x32, 0x33})},
        {false, "AB", {}},
        {false, "", {}},
    };
    for (const auto& c : cases) {
        m().sequence.tmrStatusGET.setEnabled(true);
        m().receive.iRxIdx = 7;
        if (c.asset) {
            m().identity.txtAssetID.setText(c.text);
            m().identityWrite.cmdSetAssetID.click();
            EXPECT_EQ(rig.messages.open.size(), c.asks ? 1u : 0u) << c.text;
            if (c.asks) {
                EXPECT_TRUE(rig.takeWritten().empty()) << c.text;  // nothing before the answer
                ASSERT_TRUE(rig.messages.press("Write the first 15"));
                // Its first 15 went out a moment ago, in the case before.
                ASSERT_TRUE(rig.messages.press("Yes"));
            }
        } else {
            m().identityWrite.txtSetClient.setText(c.text);
            m().identityWrite.cmdSetClientID.click();
        }
        auto written = rig.takeWritten();
        if (c.frame.empty()) {
            EXPECT_TRUE(written.empty()) << c.text;
            // Nothing was asked, so the poll and the receive buffer are left alone.
            EXPECT_TRUE(m().sequence.tmrStatusGET.enabled()) << c.text;
            EXPECT_EQ(m().receive.iRxIdx, 7) << c.text;
        } else {
            ASSERT_EQ(written.size(), 1u) << c.text;
            EXPECT_EQ(written[0], c.frame) << c.text;
            EXPECT_FALSE(m().sequence.tmrStatusGET.enabled()) << c.text;
        }
    }
    // The controller answers a set with what it now holds, shown as a get's reply.
    rig.clock.advance(100);
    EXPECT_EQ(rig.controller.state.client, "123");
}

TEST_F(Identified, SetsWithThePortClosedSendNothingButResetTheReceive) {
    m().indicators.cmdSTOPComms.click();
    ASSERT_FALSE(rig.port.PortOpen());
    m().identity.txtAssetID.setText("A1");
    m().identityWrite.txtSetClient.setText("005");
    for (auto* button : {&m().identityWrite.cmdSetAssetID, &m().identityWrite.cmdSetClientID}) {
        m().sequence.tmrStatusGET.setEnabled(true);
        m().receive.iRxIdx = 9;
        button->click();
        EXPECT_EQ(m().receive.iRxIdx, 1) << button->name();
        EXPECT_FALSE(m().sequence.tmrStatusGET.enabled()) << button->name();
    }
    EXPECT_TRUE(rig.takeWritten().empty());
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Identified, CounterBoxLetsDigitsAndAFewCodesThrough) {
    const struct {
        int key;
        bool passes;
    } cases[] = {{'0', true}, {'7', true},  {'9', true},  {8, true},    {9, true},   {12, true},
                 {'%', true}, {'&', true},  {'\'', true}, {'(', true},  {'.', true}, {'A', false},
                 {'a', false}, {')', false}, {'-', false}, {'/', false}, {':', false}, {' ', false},
                 {13, false}, {27, false},  {36, false},  {255, false}};
    auto& box = m().identityWrite.txtSetCounter;
    for (const auto& c : cases) {
        int beeps = rig.beep.beeps;
        std::int16_t result = box.keyPress(static_cast<std::int16_t>(c.key));
        EXPECT_EQ(result, c.passes ? c.key : 0) << c.key;
        EXPECT_EQ(rig.beep.beeps - beeps, c.passes ? 0 : 1) << c.key;
    }
}

TEST_F(Identified, SetCounterShowsTheCountAndOpensTheScan) {
    auto& dialog = m().assetDialog;
    dialog.txtScannedAsset.setText("left over");
    m().status.lblGetStatus(6).setCaption("IMEI 1");
    m().status.lblGetStatus(7).setCaption("CODE 2");
    EXPECT_FALSE(m().counter.lblRemaining.visible());
    m().identityWrite.txtSetCounter.setText("5");
    int focus = dialog.txtScannedAsset.focusRequests();
    m().identityWrite.cmdSetCounter.click();
    EXPECT_EQ(m().counter.lblCounter.caption(), "5");
    EXPECT_TRUE(m().counter.lblRemaining.visible());
    EXPECT_EQ(m().counter.lblRemaining.caption(), "Remaining");
    EXPECT_TRUE(dialog.window.visible());
    EXPECT_EQ(dialog.window.caption(), "Set Asset");
    EXPECT_EQ(dialog.txtScannedAsset.text(), "");
    EXPECT_EQ(dialog.txtScannedAsset.focusRequests(), focus + 1);
    EXPECT_EQ(m().status.lblGetStatus(6).caption(), "");
    EXPECT_EQ(m().status.lblGetStatus(7).caption(), "");
    EXPECT_TRUE(rig.takeWritten().empty());
}

// ---- the scan chain ----

TEST_F(Identified, ScansNeededFollowTheEnableBoxes) {
    const struct {
        bool imei, second;
        std::vector<const char*> scans;  // the last one starts the setting
        const char* status6;
        const char* status7;
    } cases[] = {
        {false, false, {"A100"}, "None", "---"},
        {true, false, {"A100", "356938035643809"}, "356938035643809", "---"},
        {true, true, {"A100", "356938035643809", "X-77"}, "356938035643809", "X-77"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        auto& d = m.assetDialog;
        d.chkCustom1(0).setChecked(c.imei);
        d.chkCustom1(1).setChecked(c.second);
        d.Open();
        kv::ui::TextBox* fields[] = {&d.txtScannedAsset, &d.txtCustom1(0), &d.txtCustom1(1)};
        for (std::size_t i = 0; i < c.scans.size(); ++i) {
            EXPECT_FALSE(m.autoSetting.tmrSetAutoAssetClientParam.enabled()) << i;
            // Enter in an empty field does nothing.
            fields[i]->setText("");
            fields[i]->keyPress(13);
            EXPECT_TRUE(d.window.visible());
            // A scanner types the characters, then Enter.
            for (const char* ch = c.scans[i]; *ch; ++ch) fields[i]->keyPress(*ch);
            fields[i]->setText(c.scans[i]);
            int focus = i + 1 < 3 ? fields[i + 1]->focusRequests() : 0;
            fields[i]->keyPress(13);
            if (i + 1 < c.scans.size()) {
                EXPECT_TRUE(d.window.visible()) << i;
                EXPECT_EQ(fields[i + 1]->text(), "") << i;
                EXPECT_EQ(fields[i + 1]->focusRequests(), focus + 1) << i;
            }
        }
        EXPECT_FALSE(d.window.visible());
        EXPECT_EQ(m.identity.txtAssetID.text(), "A100");
        EXPECT_EQ(m.status.lblGetStatus(6).caption(), c.status6);
        EXPECT_EQ(m.status.lblGetStatus(7).caption(), c.status7);
        // The main window's Enter: the setting runs, the provisioning controls are off.
        EXPECT_TRUE(m.autoSetting.tmrSetAutoAssetClientParam.enabled());
        EXPECT_TRUE(m.autoSetting.answered());
        EXPECT_EQ(m.autoSetting.step(), kv::controller::AutoSetting::Step::Idle);
        EXPECT_TRUE(m.progress.window.visible());
        EXPECT_EQ(m.progress.lblCurrentINFO.caption(), " Setting Client and Asset...");
        for (const char* name : {"cdmSetParams", "cmdRefreshNextController", "cmdSetClientID", "cmdSetAssetID",
                                 "txtAssetID", "cmdSetCounter", "cboCLientList"})
            EXPECT_FALSE(m.window.find(name)->enabled()) << name;
    }
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

TEST_F(Identified, ExitHidesTheDialogWithoutStarting) {
    auto& d = m().assetDialog;
    d.Open();
    d.txtScannedAsset.setText("A1");
    d.cmdExit.click();
    EXPECT_FALSE(d.window.visible());
    EXPECT_FALSE(m().autoSetting.tmrSetAutoAssetClientParam.enabled());
    EXPECT_EQ(d.txtScannedAsset.text(), "A1");  // hidden, not emptied
    EXPECT_FALSE(d.cmdSetAsset.visible());
    d.cmdSetAsset.press();  // does nothing
    EXPECT_TRUE(rig.takeWritten().empty());
}

// ---- the automatic setting ----

struct AutoRun : Identified {
    // Enter in the asset box, and the frames written in the next `ms`.
    std::vector<WireLog> start(const std::string& asset, const std::string& client, std::int64_t ms) {
        m().identityWrite.txtSetClient.setText(client);
        m().identity.txtAssetID.setText(asset);
        t0 = rig.clock.nowMs();
        m().identity.txtAssetID.keyPress(13);
        std::vector<WireLog> log;
        runRecording(rig, ms, log);
        return log;
    }
    // Times after the start at which frames of command `code` went out.
    std::vector<std::int64_t> times(const std::vector<WireLog>& log, std::uint8_t code) const {
        std::vector<std::int64_t> out;
        for (const auto& w : log)
            if (w.frame[0] == code) out.push_back(w.at - t0);
        return out;
    }
    std::int64_t t0 = 0;
};

TEST_F(AutoRun, ProgressSaysRetrievingWhileTheParametersAreRead) {
    start("A100", "007", 3000);
    EXPECT_EQ(m().progress.lblCurrentINFO.caption(), " Retrieving Params.... Please Wait");
    EXPECT_EQ(m().autoSetting.tmrSetAutoAssetClientParam.interval(), 2000);
}

const std::string kSetA100 = hex({kv::link::frameSetAsset("A100")});
const std::string kSet007 = hex({kv::link::frameSetClient("007")});
const std::vector<std::uint8_t> kRun{0x16, 0x15, 0x06};  // the run's own requests

// Enter in the asset box with `client` in the client box.
std::vector<Step> enter(const std::string& client) {
    return {{"type txtSetClient " + client}, {"type txtAssetID A100"}, {"key txtAssetID 13", ""}};
}

TEST_F(AutoRun, ASilentStepIsIssuedAgainEverySeventhTick) {
    rig.controller.modes.silent = true;
    play(rig, enter("007"));
    play(rig, timeline({{1000, kSetA100}, {8000, kSetA100}, {15000, kSetA100}, {22000, kSetA100}}, kRun));
    play(rig, {{"advance 500", "", {{"lblCurrentINFO", " Setting Client and Asset..."}}}});
}

// The first asset reply comes at 7.5 s: it does not stop the repeat at 8 s;
// the repeat's prompt reply moves the run on.
TEST_F(AutoRun, AnAnswerAfterTheSixthTickDoesNotStopTheRepeat) {
    rig.controller.modes.replyDelayMs = 6500;
    play(rig, enter("007"));
    play(rig, {{"advance 1500", kSetA100, {}, "", [](Rig& r) { r.controller.modes.replyDelayMs = 20; }, kRun}});
    play(rig, timeline({{6500, kSetA100}, {7500, kSet007}}, kRun));
}

// Two seconds a tick only while the parameters are read: the next
// controller's run ticks every second again.
TEST_F(AutoRun, TheNextRunTicksEverySecondAgain) {
    play(rig, enter("007"));
    play(rig, {{"advance 30000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}}}});
    play(rig, enter("007"));
    play(rig, timeline({{1000, kSetA100}, {2000, kSet007}}, kRun));
}

TEST(AutoSetting, AShortClientSkipsToTheParameterRead) {
    for (const char* client : {"", "1", "AB"}) {
        SCOPED_TRACE(client);
        Rig rig;
        rig.identify();
        play(rig, enter(client));
        play(rig, timeline({{1000, kSetA100}, {3000, hex({kv::link::frameReadParams()})}}, kRun));
    }
}

TEST_F(AutoRun, EnterWhileARunWaitsSkipsToItsNextStep) {
    rig.controller.modes.silent = true;
    play(rig, enter("007"));
    play(rig, timeline({{1000, kSetA100}}, kRun));
    play(rig, {{"advance 1500", "", {}, "*", {}, kRun}, {"key txtAssetID 13", ""}});  // the run stays at its asset step
    play(rig, timeline({{500, kSet007}}, kRun));
}

TEST_F(AutoRun, EnterWithAnEmptyAssetBoxDoesNothing) {
    m().identity.txtAssetID.setText("");
    m().identity.txtAssetID.keyPress(13);
    EXPECT_FALSE(m().autoSetting.tmrSetAutoAssetClientParam.enabled());
    EXPECT_FALSE(m().progress.window.visible());
    for (kv::ui::Control* ctl : m().setControls.controls()) EXPECT_TRUE(ctl->enabled()) << ctl->name();
}

TEST_F(AutoRun, ARefusedApplyGivesTheControlsBack) {
    // APPLY PARAMS refuses when its selected file has gone: the technician
    // is not left with every provisioning control off.
    fs::path saved = paramFolder(rig) / "batch.csv";
    rig.fileDialog.answer = saved.string();
    m().window.menu("mSaveFile").click();
    ASSERT_EQ(m().paramFiles.selectedPath(), saved.string());
    fs::remove(saved);
    auto log = start("A100", "007", 5500);
    EXPECT_TRUE(times(log, 0x08).empty());
    EXPECT_FALSE(m().bulkWrite.tmrSetMultipleParams.enabled());
    for (kv::ui::Control* ctl : m().setControls.controls()) EXPECT_TRUE(ctl->enabled()) << ctl->name();
    EXPECT_FALSE(m().progress.window.visible());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written"), std::string::npos);
}

// A reply lost on the line leaves its step waiting: the step is asked again
// after six ticks without an answer (one second each while setting, two while
// the parameters are read), and the run goes on to APPLY PARAMS.
TEST(AutoSettingRetry, AStepWhoseReplyIsLostIsAskedAgain) {
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
        auto& m = *rig.main;
        rig.takeWritten();
        m.identityWrite.txtSetClient.setText("007");
        m.identity.txtAssetID.setText("A100");
        const std::int64_t t0 = rig.clock.nowMs();
        m.identity.txtAssetID.keyPress(13);
        std::vector<WireLog> log;
        if (c.deafTo > 0) {
            runRecording(rig, c.deafFrom, log);
            rig.controller.modes.silent = true;
            runRecording(rig, c.deafTo - c.deafFrom, log);
            rig.controller.modes.silent = false;
        }
        runRecording(rig, 20000 - (rig.clock.nowMs() - t0), log);
        // The run's own requests: those before APPLY PARAMS asks for service
        // mode (the identification after the restart asks again).
        auto times = [&](std::uint8_t code) {
            std::vector<std::int64_t> out;
            for (const auto& w : log) {
                if (w.frame[0] == 0x08 && code != 0x08) break;
                if (w.frame[0] == code) out.push_back(w.at - t0);
            }
            return out;
        };
        EXPECT_EQ(times(0x16), c.asset) << c.name;
        EXPECT_EQ(times(0x15), c.client) << c.name;
        EXPECT_EQ(times(0x06), c.read) << c.name;
        auto service = times(0x08);
        ASSERT_FALSE(service.empty()) << c.name;
        EXPECT_EQ(service[0], c.serviceMode) << c.name;
        EXPECT_EQ(rig.controller.state.asset, "A100") << c.name;
        EXPECT_EQ(rig.controller.state.client, "007") << c.name;
    }
}

}  // namespace
