// Provisioning one controller: SET ASSET, SET CLIENT and SET COUNTER, the
// Set Asset dialog's scans and the automatic setting, on the virtual clock
// against the virtual controller.
#include <gtest/gtest.h>


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
        std::vector<Step> steps{{"type " + std::string(c.box) + " " + c.text},
                                {"click " + button, c.asks ? "" : c.frame, {}, c.asks ? "*" : ""}};
        // Its first 15 went out in the case before: asked again, and sent on Yes.
        if (c.asks) steps.insert(steps.end(), {{"answer Write the first 15", "*"}, {"answer Yes", c.frame}});
        ASSERT_TRUE(play(rig, steps));
        // Sending stops the poll and starts the receive again; nothing sent leaves both.
        EXPECT_EQ(std::to_string(m.sequence.tmrStatusGET.enabled()) + " " + std::to_string(m.receive.iRxIdx),
                  c.frame.empty() ? "1 7" : "0 1");
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
        EXPECT_EQ(std::to_string(m.sequence.tmrStatusGET.enabled()) + " " + std::to_string(m.receive.iRxIdx), "0 1")
            << button;
    }
}

TEST(SetButtons, TheCounterBoxLetsDigitsAndAFewCodesThroughAndBeepsAtTheRest) {
    Rig rig;
    rig.identify();
    auto& box = rig.main->identityWrite.txtSetCounter;
    auto press = [&](kv::ui::TextBox& b, unsigned char key, bool passes) {
        const int beeps = rig.beep.beeps;
        EXPECT_EQ(b.keyPress(key), passes ? key : 0) << b.name() << " " << int(key);
        EXPECT_EQ(rig.beep.beeps - beeps, passes ? 0 : 1) << b.name() << " " << int(key);
    };
    for (unsigned char key : std::string("079\b\t\f%&'(.")) press(box, key, true);
    for (unsigned char key : std::string("Aa)-/: \r\x1b$\xff")) press(box, key, false);
    // While a flow runs, only Tab passes (to move on), in both boxes.
    rig.main->bulkWrite.cdmSetParams.click();
    for (auto* b : {&box, &rig.main->identityWrite.txtSetClient}) {
        press(*b, '5', false);
        press(*b, '\t', true);
    }
}

const char* const kProvisioningControls[] = {"cdmSetParams", "cmdRefreshNextController", "cmdSetClientID",
                                            "cmdSetAssetID", "txtAssetID", "cmdSetCounter", "cboCLientList"};

// SET COUNTER shows the count and opens the scan dialog; each scan the
// Enable boxes ask for leads to the next field; the last one starts the
// automatic setting with the provisioning controls off. EXIT hides the
// dialog without starting or emptying it.
TEST(ScanDialog, SetCounterOpensItAndTheLastScanTheEnableBoxesAskForStartsTheSetting) {
    const struct {
        bool imei, second;
        const char* status6;
        const char* status7;
    } cases[] = {{false, false, "", ""}, {true, false, "356938035643809", ""}, {true, true, "356938035643809", "X-77"}};
    const std::pair<const char*, const char*> scans[] = {
        {"txtScannedAsset", "A100"}, {"txtCustom1(0)", "356938035643809"}, {"txtCustom1(1)", "X-77"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.imei) + std::to_string(c.second));
        Rig rig;
        rig.identify();
        std::vector<Step> steps{
            {"check chkCustom1(0) " + std::to_string(c.imei)}, {"check chkCustom1(1) " + std::to_string(c.second)},
            {"type txtScannedAsset left over"}, {"caption lblGetStatus(6) IMEI 1"}, {"caption lblGetStatus(7) CODE 2"},
            {"type txtSetCounter 5", "", {{"visible lblHeader(1)", "0"}}},
            {"click cmdSetCounter", "",
             {{"lblCounter", "5"}, {"visible lblHeader(1)", "1"}, {"lblHeader(1)", "Remaining"},
              {"visible frmSetAsset", "1"}, {"frmSetAsset", "Set Asset"}, {"txtScannedAsset", ""},
              {"focus txtScannedAsset", "1"}, {"lblGetStatus(6)", ""}, {"lblGetStatus(7)", ""},
              {"frmSetAsset.Label1", "Scan Asset:"}, {"frmSetAsset.Label3", "Scan IMEI:"},
              {"caption chkCustom1(0)", "Enable"}, {"caption chkCustom1(1)", "Enable"}, {"cmdExit", "EXIT"},
              {"cmdSetAsset", "SET ASSET"}, {"cmdSetAssetID", "SET ASSET"}, {"cmdSetClientID", "SET CLIENT"},
              {"cmdSetCounter", "SET COUNTER"}}},
        };
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
    Rig rig;
    rig.identify();
    EXPECT_TRUE(play(rig, {{"type txtSetCounter 5"}, {"click cmdSetCounter"}, {"type txtScannedAsset A1"},
                           {"click cmdExit", "", {{"visible frmSetAsset", "0"}, {"txtScannedAsset", "A1"}, {"visible cmdSetAsset", "0"}}},
                           {"press cmdSetAsset", ""}, {"advance 3000", ""}}));
    EXPECT_FALSE(rig.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
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

// The controller hears nothing from `from` to `to` ms after Enter.
std::function<void(Rig&)> deaf(std::int64_t from, std::int64_t to) {
    return [=](Rig& r) {
        r.clock.at(r.clock.nowMs() + from, [&r] { r.controller.modes.silent = true; });
        r.clock.at(r.clock.nowMs() + to, [&r] { r.controller.modes.silent = false; });
    };
}

// The run's requests up to APPLY PARAMS's first (service mode), at their
// times after Enter; then the controller holds what was set.
std::vector<Step> run(const std::vector<std::pair<std::int64_t, std::string>>& frames) {
    return join({enter("007"), timeline(frames, {0x16, 0x15, 0x06, 0x08}),
                 {{"", "*", {}, "*", [](Rig& r) {
                       EXPECT_EQ(r.controller.state.asset + " " + r.controller.state.client, "A100 007");
                   }}}});
}

// A tick a second, two while the parameters are read; a step without an
// answer (a silent controller, a reply lost on the line) is issued again
// every seventh tick; an answer after the sixth does not stop the repeat;
// Enter while a step waits skips to the next; the run goes on to APPLY
// PARAMS; the next controller's run ticks every second again.
TEST(AutoSetting, StepsGoOnTheirTicks) {
    const auto read = timeline({{1000, kSetA100}, {3000, kRead}}, kRun);
    const std::string service = "08 01 01 01";
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
        {"nothing lost", {}, run({{1000, kSetA100}, {2000, kSet007}, {3000, kRead}, {5000, service}})},
        {"the asset reply lost", deaf(500, 1500),
         run({{1000, kSetA100}, {8000, kSetA100}, {9000, kSet007}, {10000, kRead}, {12000, service}})},
        {"the client reply lost", deaf(1500, 2500),
         run({{1000, kSetA100}, {2000, kSet007}, {9000, kSet007}, {10000, kRead}, {12000, service}})},
        {"the parameter reply lost", deaf(2500, 3500),
         run({{1000, kSetA100}, {2000, kSet007}, {3000, kRead}, {17000, kRead}, {19000, service}})},
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
    EXPECT_TRUE(play(rig, join({{{"type txtAssetID ", "", on, ""},
                                 {"key txtAssetID 13", "", on, ""},
                                 {"click mSaveFile"},
                                 {"", "*", {}, "*", [&](Rig&) { fs::remove(saved); }}},
                                enter("007"),
                                {{"advance 5500", "", on, "*", {}, {0x08}}}})));  // never asks for service mode
    EXPECT_FALSE(rig.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
    EXPECT_FALSE(rig.main->bulkWrite.tmrSetMultipleParams.enabled());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written"), std::string::npos);
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
