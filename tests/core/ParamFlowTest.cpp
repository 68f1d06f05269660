// The front panel's keys, single and bulk writes, service mode, RESTART and
// REFRESH, and that what goes to the controller is what the table shows, on
// the virtual clock against the virtual controller.
#include <gtest/gtest.h>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

const std::string kEnter = "08 01 01 01", kExit = "08 01 01 00", kFirmware = "01 01 01 00";
const std::vector<std::uint8_t> kWrites{0x07, 0x08};  // parameter and service-mode frames
const std::pair<std::string, std::string> kConnected{"lblCurrentINFO", " CONNECTED..OK"};
const std::string kNothing = "\nNothing was written to the controller.";

// The four frames of a bulk write of the factory values with `changed` rows (row: raw value).
std::vector<std::string> bulk(std::map<int, int> changed = {}) {
    std::vector<std::string> out;
    std::vector<kv::link::ParamWrite> triples;
    for (int k = 0; k < 39; ++k) {
        const int raw = changed.count(k) ? changed[k] : kv::sim::kFactoryParams[std::size_t(k)];
        triples.push_back(kv::link::splitParam(std::uint8_t(k + 1), raw));
        if (triples.size() < 10 && k < 38) continue;
        out.push_back(hex({kv::link::frameWriteParams(triples)}));
        triples.clear();
    }
    return out;
}

Step also(std::function<void(Rig&)> f) { return {"", "*", {}, "*", std::move(f)}; }
auto raw(int row, std::string v) {
    return [=](Rig& r) { EXPECT_EQ(r.main->params.row(row).sParamValue, v) << row; };
}

using Sequence = kv::link::ConnectionSequence::Step;
void waitsAtFirmware(Rig& r) { EXPECT_EQ(r.main->sequence.step(), Sequence::Firmware); }

// Without a selection the keys change nothing; SP type 1, ODS type 3, IDF
// type 4 and DFD type 5: each key steps the selected row by its type,
// DEFAULT puts it back, and nothing is sent or said; a row whose box is
// empty cannot be selected; a stepped limit is said and held; the set key
// writes the selected row once and ends the selection.
TEST(Panel, KeysStepTheSelectedRowByItsTypeWithinItsLimitsAndSetWritesItOnce) {
    std::vector<Step> steps{{"click imgKV53UP", "", {{"txtParam(0)", "4.0"}, {"lblSettingValue", "8.8.8"}}, ""},
                            {"press cmdUP", "", {{"txtParam(0)", "4.0"}}, ""},
                            {"press cmdDefault", "", {{"txtParam(0)", "4.0"}, {"lblSettingValue", "8.8.8"}}, ""},
                            {"type txtParam(5) "}, {"click lblParam(5)", "", {{"lblSettingParam", "--"}}}};
    std::map<int, std::array<const char*, 3>> rows{
        {0, {"SP", "440", "4.0"}}, {7, {"ODS", "410", "1"}}, {11, {"IDF", "480", "08"}}, {14, {"DFD", "1", "1"}}};
    const struct { int row; const char *key, *value, *shown; } keys[] = {
        {0, "click imgKV53UP", "441", "4.1"}, {0, "press cmdUP", "441", "4.1"}, {0, "click imgKV53DWN", "439", "3.9"},
        {0, "press cmdDown", "439", "3.9"},   {7, "click imgKV53UP", "420", "2"}, {7, "press cmdUP", "411", "1"},
        {7, "click imgKV53DWN", "400", "0"},   {14, "click imgKV53UP", "2", "2"},  {11, "click imgKV53UP", "490", "09"},
        {11, "press cmdDown", "479", "08"},    {14, "press cmdDown", "0", "0"},
    };
    for (const auto& k : keys) {
        const std::string row = std::to_string(k.row), box = "txtParam(" + row + ")";
        const auto [label, was, text] = rows[k.row];
        steps = join({steps,
                      {{"click lblParam(" + row + ")", "", {{"lblSettingParam", label}, {"lblSettingValue", text}}},
                       {k.key, "", {{box, k.shown}, {"lblSettingValue", k.shown}}, "", raw(k.row, k.value)},
                       {"press cmdDefault", "", {{box, text}}, "", raw(k.row, was)}}});
    }
    playAll({{"", [](Rig& r) { r.identify(); },
              join({steps, {
        {"", "", {}, "*", [](Rig& r) {
             EXPECT_FALSE(r.main->sequence.tmrStatusGET.enabled());
             r.controller.state.params[0] = 0;
         }},
        {"click lblParam(14)", "", {{"lblSettingParam", "DFD"}, {"lblSettingValue", "1"}}},  // 0 to 2
        {"click imgKV53UP", "", {{"txtParam(14)", "2"}, {"lblSettingValue", "2"}}, ""},
        {"click imgKV53UP", "", {{"txtParam(14)", "2"}, {"lblSettingValue", "2"}}, "DFD Value to HIGH",
         [](Rig& r) { EXPECT_EQ(r.messages.shown.back().title, "KV53_Varkel_Comms"); }},
        {"click lblParam(3)", "", {{"lblSettingParam", "LSE"}, {"txtParam(3)", "-30.0"}}},  // at its lower limit 100
        {"click imgKV53DWN", "", {{"txtParam(3)", "-30.0"}}, "LSE Value to LOW"},
        {"click lblParam(0)", "", {{"lblSettingValue", "4.0"}}},
        {"click imgKV5xSLT", "07 01 05 01 01 B8 99 99", {{"lblSettingParam", "--"}, {"lblSettingValue", " "}}},
        {"click imgKV5xSLT", ""},  // nothing selected: nothing sent
        {"advance 100", "*", {}, "", [](Rig& r) {
             EXPECT_EQ(r.controller.state.params[0], 440);
             EXPECT_TRUE(r.main->bulkWrite.acknowledged());
         }}}})}});
}

// APPLY and APPLY PARAMS refuse what they cannot write, before service mode
// is asked for, send nothing and leave the count; a row is named by its
// label, or by its place when the definitions gave it none.
TEST(Refused, WritesOfTooFewRowsOrOfAValueOutOfRangeNameTheRow) {
    auto defs = [](int row, std::string label) {
        return [=](Rig& r) {
            std::string d;
            for (int i = 1; i <= 39; ++i)
                d += i == row ? definition(i, "40000", "0", "50000", label)
                              : definition(i, "5", "0", "1000", "M" + std::to_string(i));
            useDefinitions(r, row ? d : definitionLines(20));
            r.load();
            r.main->sequence.tmrLoopBack.setEnabled(false);
            r.main->counter.lblCounter.setCaption("3");
            for (int k = 0; k < 39 && row; ++k) r.main->params.txtParam(k).setText("shown");
        };
    };
    auto range = [](const char* named) {
        return std::string(named) + ": the value \"40000\" is not a number from 0 to 32767";
    };
    auto refused = [&](const std::string& says) {
        return std::vector<Step>{{"click cdmSetParams", "", {{"lblCounter", "3"}}, says + kNothing,
                                  [](Rig& r) { EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled()); }}};
    };
    playAll({
        {"20 rows", defs(0, ""),
         refused("The parameter definition file gave 20 parameters; 39 are needed to write them all.")},
        {"row 1", defs(1, ""), refused(range("row 1 (P001)"))},
        {"row 39", defs(39, ""), refused(range("row 39 (P039)"))},
        {"labelled", defs(5, "BIG"), refused(range("BIG (P005)"))},
        {"on the panel", defs(1, "BIG"),
         {{"type txtParam(0) 40000"}, {"click lblParam(0)"},
          {"press cmdApply", "", {{"lblSettingParam", "--"}},
           range("BIG (P001)") + ".\nThe parameter was not written."}}},
    });
}

// A bulk write: each frame on the tick after the acknowledgement of the one
// before, inside service mode, then the controller restarts and is
// identified again; what goes wrong on the way is named.
TEST(Bulk, WritesTheTableFrameByFrameThenTheControllerRestartsAndIsIdentified) {
    const auto f = bulk(), stepped = bulk({{0, 441}, {38, 52}});
    auto bulkRig = [](Rig& r) {
        r.controller.modes.restartMs = 300;
        r.controller.modes.storeOnlyInServiceMode = true;
        r.identify();
    };
    auto connected = [](const char* error) {
        return Step{"advance 9000", "*", {kConnected, {"lblError", error}}};
    };
    // The enter reply (22 ms) sets the pace to 500 ms; each acknowledgement
    // comes 30 ms after its frame. A lost one holds the next frame five
    // ticks; the refresh follows the exit by 500 ms while an acknowledgement
    // is set, by 5000 ms when none is.
    const auto lost = join({{also([](Rig& r) { r.controller.modes.loseAckForFrame = 2; }),
                             {"press cdmSetParams", kEnter}},
                            timeline({{522, f[0]}, {1022, f[1]}, {3522, f[2]}, {4022, f[3]}, {5022, kExit}})});
    std::vector<Step> walk = join(
        {{{"click lblParam(0)"}, {"click imgKV53UP"}, {"click lblParam(38)"}, {"click imgKV53DWN"},
          {"caption lblCounter 3", "*", {}, "*", [](Rig& r) { r.main->sequence.tmrStatusGET.setEnabled(true); }},
          {"press cdmSetParams", kEnter,
           {{"lblCounter", "2"}, {"enabled cdmSetParams", "0"}, {"enabled cmdRefreshNextController", "0"},
            {"enabled cmdRestartController", "0"}, {"lblSettingValue", "8.8.8"}, {"lblSettingParam", "--"},
            {"visible frmProgressInfo", "1"}, {"lblCurrentINFO", " Writing parameters......Please wait"}}}},
         timeline({{522, stepped[0]}, {1022, stepped[1]}, {1522, stepped[2]}, {2022, stepped[3]}, {3022, kExit}}),
         {{"", "", {{"lblCurrentINFO", " Controller Restarting......Please wait"}}},
          {"advance 2000", kFirmware + " | 0A 01 01 00"},  // identified again from its first request
          {"advance 12000", "*",
           {kConnected, {"txtParam(0)", "4.1"}, {"txtParam(38)", "52"}, {"lblCounter", "2"}, {"lblError", ""},
            {"enabled cdmSetParams", "1"}, {"enabled cmdRefreshNextController", "1"},
            {"enabled cmdRestartController", "1"}},
           "", [](Rig& r) {
               EXPECT_FALSE(r.main->sequence.tmrStatusGET.enabled());
               for (std::size_t k = 0; k < 39; ++k) {
                   const auto v = std::to_string(k == 0 ? 441 : k == 38 ? 52 : kv::sim::kFactoryParams[k]);
                   EXPECT_EQ(std::to_string(r.controller.state.params[k]) + " " + r.main->params.row(k).sParamValue,
                             v + " " + v);
               }
               ASSERT_EQ(r.controller.paramWrites.size(), 39u);
               for (const auto& w : r.controller.paramWrites) EXPECT_TRUE(w.inServiceMode && w.stored) << int(w.number);
           }},
          {"click cmdExit"}, {"click lblParam(0)"}}});
    // A restart, after a bulk write left its state behind, sends only the
    // service-mode requests, each time alike, and never says it is about to.
    std::vector<std::string> texts;
    walk.push_back(also([&](Rig& r) {
        r.controller.paramWrites.clear();
        r.main->progress.lblCurrentINFO.listen([&] { texts.push_back(r.main->progress.lblCurrentINFO.caption()); });
    }));
    for (int i = 0; i < 6; ++i)
        walk = join({walk,
                     {{"click cmdRestartController", kEnter,
                       {{"visible frmProgressInfo", "1"}, {"lblSettingValue", "8.8.8"}, {"lblSettingParam", "--"},
                        {"lblCurrentINFO", " Controller Restarting......Please wait"}}}},
                     timeline({{1022, kExit}}),
                     {{"advance 5000", ""}, {"advance 1000", kFirmware},
                      {"advance 8000", "*", {kConnected, {"enabled cdmSetParams", "1"}}}}});
    walk.push_back(also([&](Rig& r) {
        EXPECT_EQ(std::count(texts.begin(), texts.end(), " Controller about to restart......Please wait"), 0);
        EXPECT_TRUE(r.controller.paramWrites.empty());
    }));
    // While it runs the sequence waits for the refresh, and the panel takes
    // no key and sends nothing (a single write's acknowledgement would be
    // taken for a frame's).
    walk = join(
        {walk, {{"click lblParam(0)"}, {"press cdmSetParams", kEnter}, {"advance 300", "", {}, "*", waitsAtFirmware}}});
    for (const char* key : {"imgKV53UP", "imgKV53DWN", "imgKV5xSLT", "cmdApply", "cmdDefault"})
        walk.push_back({std::string("click ") + key, "", {{std::string("enabled ") + key, "0"}}});
    walk = join({walk,
                 {{"click lblParam(0)", "", {{"lblSettingParam", "--"}}}, {"press cmdApply", ""},
                  {"advance 3200", "*", {}, "*", waitsAtFirmware},
                  {"advance 30000", "*", {{"enabled imgKV5xSLT", "1"}}, "*",
                   [](Rig& r) { EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled()); }}}});
    // The batch count goes down by one when above zero, on the label or as
    // typed, across a power of ten too, and stays so after the write.
    const std::pair<std::string, const char*> counts[] = {
        {"caption lblCounter 3", "2"}, {"caption lblCounter 1", "0"}, {"caption lblCounter 0", "0"},
        {"caption lblCounter ", ""}, {"caption lblCounter abc", "abc"}, {"10", "9"}, {"100", "99"}, {"2000", "1999"},
        {"105", "104"}, {"90", "89"}, {"1", "0"}, {"12345678901234567", "12345678901234566"},
        {"9999999999999999999999999999999999999999", "9999999999999999999999999999999999999998"}};
    for (auto [set, after] : counts)
        walk = join({walk, set[0] == 'c' ? std::vector<Step>{{set}}
                                         : std::vector<Step>{{"type txtSetCounter " + set}, {"click cmdSetCounter"}},
                     {{"click cmdExit"},
                      {"click cdmSetParams", "*", {{"lblCounter", after}}, "*",
                       [](Rig& r) { EXPECT_TRUE(r.main->bulkWrite.tmrSetMultipleParams.enabled()); }},
                      {"advance 30000", "*", {{"lblCounter", after}}, "*",
                       [](Rig& r) { EXPECT_FALSE(r.main->record.pending()); }}}});
    auto closed = [](Rig& r) {
        EXPECT_EQ(r.main->sequence.step(), Sequence::Finished);
        EXPECT_FALSE(r.main->sequence.stepDue());
        EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled());
    };
    playAll({
        {"the table as stepped, the sequence waiting; six restarts; the keys while it runs; the count", bulkRig, walk},
        {"a silent controller: a frame every fifth tick, the full wait, all named",
         [&](Rig& r) {
             bulkRig(r);
             r.controller.modes.silent = true;
         },
         join({{{"press cdmSetParams", kEnter}},
               timeline({{100, f[0]}, {600, f[1]}, {1100, f[2]}, {1600, f[3]}, {2600, kExit}, {8000, kFirmware}}),
               {{"", "", {{"lblError", "Frames 1, 2, 3, 4 not acknowledged"}}}}})},
        {"a lost acknowledgement, the values stored; then a value of its frame not stored: named until the next write",
         bulkRig,
         join({lost, {connected("")}, lost,
               {also([](Rig& r) {
                    EXPECT_TRUE(r.main->bulkWrite.restarting());
                    r.controller.state.params[12] = 5;  // frame 2's P013 never stored
                }),
                connected("Frame 2 not acknowledged"), {"press cdmSetParams", "*", {{"lblError", ""}}}}})},
        {"a selected file is written, not values stepped since; gone, nothing is",
         [&](Rig& r) {
             bulkRig(r);
             writeFile(paramFolder(r) / "batch.csv", "SP,100\r\n");  // raw 500
             r.fileDialog.answer = (paramFolder(r) / "batch.csv").string();
         },
         {{"click mOpnFile", "*", {{"txtParam(0)", "10.0"}}, "*", raw(0, "500")}, {"click lblParam(0)"},
          {"click imgKV53UP", "*", {{"txtParam(0)", "10.1"}}, "*", raw(0, "501")}, {"press cdmSetParams"},
          {"advance 12000", "*", {}, "*",
           [](Rig& r) {
               EXPECT_EQ(r.controller.state.params[0], 500);
               fs::remove(paramFolder(r) / "batch.csv");
           }},
          {"press cdmSetParams", "", {}, "*", [](Rig& r) {
               ASSERT_EQ(r.messages.shown.size(), 1u);
               EXPECT_EQ(r.messages.shown.back().text, "The parameter file " + (paramFolder(r) / "batch.csv").string() +
                                                           " cannot be read: No such file or directory." + kNothing);
           }}}},
        {"with the port closed REFRESH and APPLY PARAMS run nothing", bulkRig,
         {{"click cmdSTOPComms", "*", {}, "*", [](Rig& r) { r.main->receive.iRxIdx = 7; }},
          {"click cmdRefreshNextController", "", {}, "COMM PORT NOT OPEN",
           [&](Rig& r) {
               closed(r);
               EXPECT_EQ(r.messages.shown.back().title, "KV53_Varkel_Comms");
               EXPECT_EQ(r.main->receive.iRxIdx, 1);
           }},
          {"caption lblCounter 3"},
          {"click cdmSetParams", "", {{"lblCounter", "3"}, {"visible frmProgressInfo", "0"}}, "COMM PORT NOT OPEN",
           closed}}},
        // Each row goes to, and is checked by, its own parameter number.
        {"definitions in reverse order",
         [](Rig& r) {
             std::string defs;
             for (int n = 39; n >= 1; --n) defs += definition(n, "5", "0", "1000", "M" + std::to_string(n));
             useDefinitions(r, defs);
             for (int n = 1; n <= 39; ++n) r.controller.state.params[std::size_t(n - 1)] = 100 + n;
             r.identify();
             r.controller.modes.loseAckForFrame = 2;  // named until the read-back shows frame 2's values
         },
         {{"", "", {{"txtParam(0)", "139"}, {"txtParam(38)", "101"}}},  // P039 first in the file
          {"click lblParam(0)"}, {"click imgKV53UP"}, {"press cdmSetParams"},
          {"advance 25000", "*",
           {{"txtParam(0)", "140"}, {"lblError", ""},
            {"@record", "14:05:36 05/12/2026,0004A3B1C2D3,0004A3B1C2D3,1A 2B,K5b 162,A1234,005,,,"
                        "\"no: asset not written, client not written\""}},
           "*", [](Rig& r) {
               for (int n = 1; n <= 39; ++n)
                   EXPECT_EQ(r.controller.state.params[std::size_t(n - 1)], n == 39 ? 140 : 100 + n) << n;
           }}}},
    });
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
    const auto kv53 = crlfLines(readFile(fs::path(KV_SOURCE_DIR) / "data" / "KV5x_Params.txt"));
    std::string t20;
    for (int n = 0; n < kT20.params; ++n) t20 += kv53.at(std::size_t(n)) + "\r\n";
    writeFile(fs::path(rig.folders.programPath) / kT20.definitionFile, t20);
    rig.load();
    const auto f = bulk();  // its first 20 rows are the model's
    // Parameters 1 to 20, then the list end; the written values are those read.
    EXPECT_TRUE(play(rig, {{"advance 8000",
                            "06 01 16 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 99 99",
                            {kConnected, {"lblMacAddress", " 00AABBCCDD20"}, {"visible txtParam(19)", "1"},
                             {"txtParam(20)", ""}, {"visible txtParam(20)", "0"}},
                            "", {}, {0x06}},
                           {"click cdmSetParams", "", {}, "", {}, {0x07}},
                           {"advance 25000", f[0] + " | " + f[1], {kConnected}, "",
                            [](Rig& r) {
                                ASSERT_EQ(r.controller.paramWrites.size(), 20u);
                                for (const auto& w : r.controller.paramWrites)
                                    EXPECT_TRUE(w.inServiceMode && w.stored) << int(w.number);
                            },
                            {0x07}}}));
}

// The refusal naming the rows from `first` (1 to 39) on, as the shipped
// definition file labels them.
std::string refusal(int first) {
    std::string names;
    for (const auto& l : crlfLines(readFile(fs::path(KV_SOURCE_DIR) / "data" / "KV5x_Params.txt")))
        if (l.size() > 4 && std::stoi(l.substr(1, 3)) >= first)
            names += (names.empty() ? "" : ", ") + l.substr(l.rfind(',') + 1) + " (" + l.substr(0, 4) + ")";
    return "No value is shown for " + names + " (not read from the controller, nor opened from a file): read the "
           "parameters again or open a parameter file." + kNothing;
}

// `act` refused, at once or `later`: nothing sent, then or later; APPLY
// PARAMS can be pressed again.
std::vector<Step> refused(const std::string& act, int first, bool later = false) {
    auto idle = [](Rig& r) {
        EXPECT_FALSE(r.main->bulkWrite.tmrSetMultipleParams.enabled() ||
                     r.main->autoSetting.tmrSetAutoAssetClientParam.enabled());
    };
    return {{act, "", {}, later ? "" : refusal(first), {}, kWrites},
            {"advance 20000", "", {{"enabled cdmSetParams", "1"}}, later ? refusal(first) : "", idle, kWrites}};
}

// APPLY PARAMS, by hand or as the automatic setting's last step, sends
// nothing while a row shows no value (never read, read short, or another
// controller's read since) and names those rows; the panel sends nothing for
// a row a short read emptied; a step held at a limit is written as the box
// shows it. A newcomer is another controller put on the line and REFRESH
// pressed: from its request of `code` on, it answers nothing but `bytes` (if
// any), 20 ms later.
TEST(WrittenAsShown, NothingGoesToTheControllerButWhatTheTableShows) {
    auto newcomer = [](std::uint8_t code, Bytes bytes) {
        auto put = [=](Rig& rig) {
            auto& c = rig.controller;
            c.state.mac = "0004A3B1C2FF";
            std::fill(c.state.params.begin(), c.state.params.end(), 600);
            c.modes.silent = !code;
            c.onRequest = [&rig, code, bytes](const Bytes& request) {
                if (!code || request.empty() || request[0] != code) return;
                rig.controller.modes.silent = true;
                if (!bytes.empty()) rig.clock.at(rig.clock.nowMs() + 20, [&rig, bytes] { rig.port.deliver(bytes); });
            };
        };
        return join({{{"", "*", {{"txtParam(0)", "4.0"}}, "*", put}, {"click cmdRefreshNextController"},
                      {"advance 10000"}},
                     refused("click cdmSetParams", 1)});
    };
    // LIT (P030) selected on the panel; the next controller's read stops
    // after 20 values; then the keys.
    auto panel = [](std::vector<std::string> keys) {
        std::vector<Step> steps{{"click lblParam(29)", "*", {{"lblSettingParam", "LIT"}}},
                                also([](Rig& r) {
                                    r.controller.modes.shortRead = 20;
                                    r.controller.state.mac = "0004A3B1C2FF";
                                }),
                                {"click cmdRefreshNextController"},
                                {"advance 8000", "*", {kConnected, {"txtParam(29)", ""}}}};
        for (const auto& k : keys) steps.push_back({"click " + k, "", {}, "*", {}, kWrites});
        steps.push_back(
            {"advance 500", "", {}, "*", [](Rig& r) { EXPECT_TRUE(r.controller.paramWrites.empty()); }, kWrites});
        return steps;
    };
    // ODS (P008, type 3, raw 400 to 1000) stepped past a limit: the box shows
    // the limit, and the limit is what the controller gets.
    auto held = [](const char* key, const char* shown, const char* says, std::uint16_t written) {
        return std::vector<Step>{{"click lblParam(7)"},
                                 {"click " + std::string(key), "*", {{"txtParam(7)", shown}}, says},
                                 {"answer OK"},
                                 {"click cdmSetParams"},
                                 {"advance 20000", "*", {kConnected, {"txtParam(7)", shown}}, "*",
                                  [=](Rig& r) { EXPECT_EQ(r.controller.state.params[7], written); }}};
    };
    Bytes cut = kv::link::requestFrame(0x06, Bytes(80, 2));
    cut.resize(33);
    auto shortRead = [](Rig& r) { r.controller.modes.shortRead = 20; };
    auto first = [](std::function<void(Rig&)> f) {  // set-up before the identification
        return [f](Rig& r) {
            if (f) f(r);
            r.identify();
        };
    };
    playAll({
        {"the read never answered", first([](Rig& r) { r.controller.modes.silent = true; }),
         refused("click cdmSetParams", 1)},
        {"a short read after a whole one", first({}),
         {also(shortRead), {"press cmdGetParams"}, {"advance 500"}, refused("click cdmSetParams", 21)[0]}},
        {"the automatic setting after a short read", first(shortRead), refused("scan txtAssetID KV-77", 21, true)},
        {"a newcomer answers its firmware and checksum, the read never", first({}), newcomer(0x06, {})},
        {"a newcomer's read reply is cut off", first({}), newcomer(0x06, cut)},
        {"a newcomer's firmware reply of length 0", first({}), newcomer(0x01, kv::link::requestFrame(0x01, {}))},
        {"a newcomer's firmware reply of length 255", first({}),
         newcomer(0x01, kv::link::requestFrame(0x01, Bytes(255, 'K')))},
        {"a newcomer answers nothing", first({}), newcomer(0, {})},
        {"the set key on a row a short read emptied", first({}), panel({"imgKV5xSLT"})},
        {"UP, then the set key, on a row a short read emptied", first({}), panel({"imgKV53UP", "imgKV5xSLT"})},
        {"UP past the upper limit", first([](Rig& r) { r.controller.state.params[7] = 992; }),
         held("imgKV53UP", "60", "ODS Value to HIGH", 1000)},
        {"DOWN past the lower limit", first([](Rig& r) { r.controller.state.params[7] = 405; }),
         held("imgKV53DWN", "0", "ODS Value to LOW", 400)},
    });
}

}  // namespace
