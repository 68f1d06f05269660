// Provisioning one controller: SET ASSET, SET CLIENT and SET COUNTER, the
// Set Asset dialog's scans and the automatic setting, on the virtual clock
// against the virtual controller.
#include <gtest/gtest.h>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
namespace fs = std::filesystem;

namespace {

// The status poll's timer and the receive index, "1 7", after a step.
std::function<void(Rig&)> pollAndIndex(const std::string& want) {
    return [want](Rig& r) {
        auto& m = *r.main;
        EXPECT_EQ(std::to_string(m.sequence.tmrStatusGET.enabled()) + " " + std::to_string(m.receive.iRxIdx), want);
    };
}

// Sending stops the poll and starts the receive again; nothing sent leaves
// both; with the port closed the buttons send nothing and say nothing, but
// reset the receive. The controller answers a set with what it now holds.
TEST(SetButtons, SendWhatTheBoxHoldsOrNothingAndLeaveThePollAloneThen) {
    const std::string fifteen = "ABCDEFGHIJKLMNO";
    const std::string setFifteen = "16 01 10 01 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F";
    // The box, its text, the frame sent ("": none), and whether the technician is asked first (longer than 15).
    const std::tuple<const char*, std::string, std::string, bool> cases[] = {
        {"txtAssetID", "AB12", "16 01 05 01 41 42 31 32", false}, {"txtAssetID", "7", "16 01 02 01 37", false},
        {"txtAssetID", " 123", "16 01 05 01 20 31 32 33", false},  // an asset reply's leading space goes out too
        {"txtAssetID", fifteen, setFifteen, false},
        {"txtAssetID", fifteen + "P", setFifteen, true},  // its first 15 went out before: asked again, sent on Yes
        {"txtAssetID", fifteen + "PQRST", setFifteen, true}, {"txtAssetID", "", "", false},
        {"txtSetClient", "005", "15 01 04 01 30 30 35", false}, {"txtSetClient", "AB", "", false},
        {"txtSetClient", "12345", "15 01 04 01 31 32 33", false}, {"txtSetClient", "", "", false},
    };
    auto arm = [](Rig& r) {
        r.main->sequence.tmrStatusGET.setEnabled(true);
        r.main->receive.iRxIdx = 7;
    };
    std::vector<Step> steps;
    for (const auto& [box, text, frame, asks] : cases) {
        const std::string click = box == std::string("txtAssetID") ? "click cmdSetAssetID" : "click cmdSetClientID";
        steps.push_back({"type " + std::string(box) + " " + text, "*", {}, "*", arm});
        if (asks)
            steps.insert(steps.end(), {{click, ""}, {"answer Write the first 15", "*"}, {"answer Yes", frame}});
        else
            steps.push_back({click, frame, {}, ""});
        steps.back().also = pollAndIndex(frame.empty() ? "1 7" : "0 1");
    }
    steps.push_back({"advance 100", "*", {}, "*", [](Rig& r) { EXPECT_EQ(r.controller.state.client, "123"); }});
    steps.insert(steps.end(), {{"click cmdSTOPComms"}, {"type txtAssetID A1"}, {"type txtSetClient 005"}});
    for (const char* button : {"click cmdSetAssetID", "click cmdSetClientID"})
        steps.insert(steps.end(), {{"", "*", {}, "*", arm}, {button, "", {}, "", pollAndIndex("0 1")}});
    Rig rig;
    rig.identify();
    EXPECT_TRUE(play(rig, steps));
}

// While a flow runs, only Tab passes (to move on), in both boxes.
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
    rig.main->bulkWrite.cdmSetParams.click();
    for (auto* b : {&box, &rig.main->identityWrite.txtSetClient}) {
        press(*b, '5', false);
        press(*b, '\t', true);
    }
}

// SET COUNTER shows the count and opens the scan dialog; Enter in an empty
// field does nothing; each scan the Enable boxes ask for leads to the next
// field; the last one starts the automatic setting with the provisioning
// controls off. EXIT hides the dialog without starting or emptying it.
TEST(ScanDialog, SetCounterOpensItAndTheLastScanTheEnableBoxesAskForStartsTheSetting) {
    const std::pair<const char*, const char*> scans[] = {
        {"txtScannedAsset", "A100"}, {"txtCustom1(0)", "356938035643809"}, {"txtCustom1(1)", "X-77"}};
    std::vector<Scenario> cases;
    for (int needed = 1; needed <= 3; ++needed) {
        std::vector<Step> steps{
            {"check chkCustom1(0) " + std::to_string(needed > 1)},
            {"check chkCustom1(1) " + std::to_string(needed > 2)},
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
        for (int i = 0; i < needed; ++i) {
            const std::string field = scans[i].first, more = i + 1 < needed ? "1" : "0";
            steps.push_back({"key " + field + " 13", "", {{"visible frmSetAsset", "1"}}});
            steps.push_back({"scan " + field + " " + scans[i].second, "", {{"visible frmSetAsset", more}}});
            if (more == "1") steps.back().holds.push_back({"focus " + std::string(scans[i + 1].first), "1"});
        }
        steps.back().holds.insert(steps.back().holds.end(),
                                  {{"txtAssetID", "A100"}, {"lblGetStatus(6)", needed > 1 ? scans[1].second : ""},
                                   {"lblGetStatus(7)", needed > 2 ? scans[2].second : ""},
                                   {"visible frmProgressInfo", "1"},
                                   {"lblCurrentINFO", " Setting Client and Asset..."}});
        for (const char* name : {"cdmSetParams", "cmdRefreshNextController", "cmdSetClientID", "cmdSetAssetID",
                                 "txtAssetID", "cmdSetCounter", "cboCLientList"})
            steps.back().holds.push_back({std::string("enabled ") + name, "0"});
        steps.back().also = [](Rig& r) {
            EXPECT_TRUE(r.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
            EXPECT_TRUE(r.main->autoSetting.answered());
            EXPECT_EQ(r.main->autoSetting.step(), kv::controller::AutoSetting::Step::Idle);
        };
        cases.push_back({scans[needed - 1].first, {}, steps});
    }
    cases.push_back(
        {"EXIT", {},
         {{"type txtSetCounter 5"}, {"click cmdSetCounter"}, {"type txtScannedAsset A1"},
          {"click cmdExit", "",
           {{"visible frmSetAsset", "0"}, {"txtScannedAsset", "A1"}, {"visible cmdSetAsset", "0"}}},
          {"press cmdSetAsset", ""},
          {"advance 3000", "", {}, "*",
           [](Rig& r) { EXPECT_FALSE(r.main->autoSetting.tmrSetAutoAssetClientParam.enabled()); }}}});
    playAll(cases, [](Rig& r) { r.identify(); });
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

// The provisioning controls on and the progress window down.
void controlsOn(Rig& r) {
    EXPECT_FALSE(r.main->progress.window.visible());
    for (kv::ui::Control* ctl : r.main->setControls.controls()) EXPECT_TRUE(ctl->enabled()) << ctl->name();
}

// A tick a second, two while the parameters are read; a step without an
// answer (a silent controller, a reply lost on the line) is issued again
// every seventh tick; an answer after the sixth does not stop the repeat;
// Enter while a step waits skips to the next; the run goes on to APPLY
// PARAMS; the next controller's run ticks every second again. Enter in an
// empty asset box does nothing; a run whose APPLY PARAMS is refused (its
// selected file has gone) never asks for service mode and gives the
// technician the controls back.
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
               {{"advance 1000", kSetA100, {}, "*", {}, kRun}, {"advance 1500", "", {}, "*", {}, kRun},
                {"key txtAssetID 13", ""},  // the run stays at its asset step
                {"advance 499", "", {}, "*", {}, kRun}, {"advance 1", kSet007, {}, "*", {}, kRun}}})},
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
        {"APPLY PARAMS refused", [](Rig& r) { r.fileDialog.answer = (paramFolder(r) / "batch.csv").string(); },
         join({{{"type txtAssetID ", "", {}, "", controlsOn},
                {"key txtAssetID 13", "", {}, "", controlsOn},
                {"click mSaveFile", "*", {}, "*", [](Rig& r) { fs::remove(paramFolder(r) / "batch.csv"); }}},
               enter("007"),
               {{"advance 5500", "", {}, "*", [](Rig& r) {
                     controlsOn(r);
                     EXPECT_FALSE(r.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
                     EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled());
                     ASSERT_EQ(r.messages.shown.size(), 1u);
                     EXPECT_NE(r.messages.shown[0].text.find("Nothing was written"), std::string::npos);
                 }, {0x08}}}})},
    }, [](Rig& r) { r.identify(); });
}

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
        bool identifiedMeanwhile = false;
        for (const auto end = l.rig.clock.nowMs() + 40000; l.record().size() < 2 && l.rig.clock.nowMs() < end;) {
            const bool busy = m.autoSetting.tmrSetAutoAssetClientParam.enabled() || m.bulkWrite.tmrSetMultipleParams.enabled();
            identifiedMeanwhile |= busy && m.progress.lblCurrentINFO.caption() == " CONNECTED..OK";
            ASSERT_FALSE(busy && m.assetDialog.window.visible()) << "at " << l.rig.clock.nowMs();
            l.rig.clock.advance(100);
        }
        EXPECT_TRUE(identifiedMeanwhile);
        ASSERT_EQ(l.record().size(), 2u);
        EXPECT_EQ(l.line->unit(1).asset, "KV-9001");
        EXPECT_TRUE(waitFor(l.rig, [&] { return m.assetDialog.window.visible(); }, 20000));  // the next one's turn
    }
}

}  // namespace
