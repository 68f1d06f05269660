// The connection sequence on the virtual clock: progress texts, retries,
// unsupported controllers, the finishing actions and the status poll.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/Scenario.h"

using namespace kv::test;
using Stage = kv::link::ConnectionSequence::Step;

namespace {

const char* const kTexts[] = {" CONNECTING.... Please Wait",          " Getting Checksum.... Please Wait",
                              " Retrieving Params.... Please Wait",   " Acquiring Serial Number.... Please Wait",
                              " Acquiring Client ID.... Please Wait", " Acquiring Asset ID.... Please Wait",
                              " CONNECTED..OK"};

const std::string kFw = "01 01 01 00";
const std::string kRead = hex({kv::link::frameReadParams()});  // byte for byte in the buttons' test
const std::string kFirstThree = kFw + " | 0A 01 01 00 | " + kRead;
const std::string kSixRequests = kFirstThree + " | 18 01 01 00 | 15 01 01 00 | 16 01 01 00";
const std::pair<std::string, std::string> kConnected{"lblCurrentINFO", " CONNECTED..OK"};
const std::vector<std::uint8_t> kIdentifying{0x01, 0x0A, 0x06, 0x18, 0x15, 0x16};

void finished(Rig& r) { EXPECT_EQ(r.main->sequence.step(), Stage::Finished); }
void atTickLimit(Rig& r) { EXPECT_EQ(r.main->sequence.ticks(), 32767); }

TEST(Sequence, IdentifiesRetriesAndFinishesAsTheControllerAnswers) {
    // Each request at the tick after the previous reply, each text with it; the
    // progress window goes one tick after " CONNECTED..OK".
    auto prompt = join({timeline({{1000, kFw}, {2000, "0A 01 01 00"}, {3000, kRead}, {4000, "18 01 01 00"},
                                  {5000, "15 01 01 00"}, {6000, "16 01 01 00"}, {7000, ""}}),
                        {{"advance 999", "", {{"visible frmProgressInfo", "1"}}},
                         {"advance 1", "",
                          {{"visible frmProgressInfo", "0"}, kConnected, {"lblFWVersion", "K5b 162"},
                           {"lblCheckSum", "1A 2B "}, {"lblMacAddress", " 0004A3B1C2D3"}, {"lblGetStatus(3)", " 005"},
                           {"txtAssetID", " A1234"}, {"enabled cdmSetParams", "1"}, {"enabled cboCLientList", "1"}},
                          "", finished}}});
    // Each text from its request's tick (the ms before it, the previous one).
    for (std::size_t i = 1; i < 14; ++i) prompt[i].holds = {{"lblCurrentINFO", kTexts[(i - 1) / 2]}};
    auto silent = [](Rig& r) { r.controller.modes.silent = true; };
    auto pending = [](bool yes) { return [yes](Rig& r) { EXPECT_EQ(r.main->sequence.statusPending(), yes); }; };
    std::vector<Scenario> cases{
        {"a prompt controller in seven seconds", {}, prompt},
        // Unanswered, the firmware request goes again at every seventh tick.
        {"a silent controller is asked again every seventh tick", silent,
         join({timeline({{1000, kFw}, {8000, kFw}, {15000, kFw}, {22000, kFw}, {29000, kFw}}),
               {{"", "", {{"lblCurrentINFO", kTexts[0]}, {"visible frmProgressInfo", "1"}}}}})},
        // A late or repeated reply to an earlier step does not move the sequence on.
        {"a reply to an earlier step is not taken for the one awaited", {},
         {{"advance 1000", kFw}, {"advance 500", "", {}, "*", silent}, {"advance 500", "0A 01 01 00"},
          {"receive 01 01 03 01 06 02", ""}, {"advance 1000", ""},
          {"advance 4000", "", {{"lblCurrentINFO", kTexts[1]}}}}},
        // Firmware without the support mark: serial, client and asset are not asked.
        {"an unsupported controller skips serial, client and asset",
         [](Rig& r) { r.controller.state.fwText = "K5x"; },
         {{"advance 3000", kFirstThree, {{"lblCurrentINFO", kTexts[2]}}},
          {"advance 3999", "", {{"lblCurrentINFO", kTexts[2]}}},
          {"advance 1", "", {kConnected}, "*", [](Rig& r) { EXPECT_FALSE(r.main->sequence.supported()); }}}},
        // The status poll asks only when no status request is pending; after a
        // supported controller, an unsupported one is judged by its own firmware;
        // the tick counter stops at its limit, and OK in the port dialog again
        // identifies again.
        {"the poll waits, the next controller is judged by its own firmware, the ticks stop", {},
         {{"advance 8000", "*", {kConnected}, "*", silent},
          {"", "*", {}, "*", [](Rig& r) { r.main->sequence.tmrStatusGET.setEnabled(true); }},
          {"advance 10000", "02 01 01 00", {}, "*", pending(true), {2}},
          {"advance 10000", "", {}, "*", {}, {2}},
          {"receive 02 01 0E 01 01 01 00 00 00 01 01 00 02 2B 01 A4 01", "", {}, "*", pending(false)},
          {"advance 10000", "02 01 01 00", {}, "*", {}, {2}},
          {"", "*", {}, "*", [](Rig& r) { r.controller.state.fwText = "K5x"; }},
          {"click cmdRefreshNextController", "", {}, "*", [](Rig& r) {  // the poll off until asked for again
               EXPECT_FALSE(r.main->sequence.tmrStatusGET.enabled());
               r.controller.modes.silent = false;
           }},
          {"advance 8000", kFirstThree, {kConnected}},
          {"advance 40000000", "*", {{"visible frmProgressInfo", "0"}}, "*", atTickLimit},
          {"", "*", {}, "*", finished},
          {"", "*", {{"visible frmProgressInfo", "1"}}, "*", [](Rig& r) { r.main->sequence.portConfirmed(true); }},
          {"advance 7000", kFw, {kConnected}, "*", finished, {0x01}}}},
    };
    // How the replies are cut does not matter.
    using kv::sim::Chunking;
    const std::tuple<const char*, Chunking, bool> cuts[] = {
        {"whole", {Chunking::Whole, 0}, false}, {"byte by byte", {Chunking::ByteByByte, 0}, false},
        {"split in header", {Chunking::SplitAt, 2}, false},  {"split in payload", {Chunking::SplitAt, 5}, false},
        {"status after each", {Chunking::Whole, 0}, true}, {"both, byte by byte", {Chunking::ByteByByte, 0}, true}};
    for (auto [name, chunking, twice] : cuts)
        cases.push_back({name,
                         [chunking, twice](Rig& r) {
                             r.controller.modes.chunking = chunking;
                             r.controller.modes.doubleReply = twice;
                         },
                         {{"advance 7000", kSixRequests,
                           {kConnected, {"lblMacAddress", " 0004A3B1C2D3"}, {"txtAssetID", " A1234"}}}}});
    // REFRESH, or RESTART, during an identification starts it over from its
    // first request (after the restart), never from where it was.
    const std::vector<Step> started{{"advance 2500", kFw + " | 0A 01 01 00"}},
        restarted{{"click cmdRestartController", "08 01 01 01"}, {"advance 6000", "", {}, "*", {}, kIdentifying}},
        again{{"advance 1000", kFw, {{"lblCurrentINFO", kTexts[0]}}, "*", {}, kIdentifying}};
    cases.push_back({"REFRESH during an identification", {},
                     join({started, {{"click cmdRefreshNextController", ""}}, again})});
    cases.push_back({"RESTART during an identification", [](Rig& r) { r.controller.modes.restartMs = 300; },
                     join({started, restarted, again})});
    // Finishing opens the asset dialog, empty and focused, while the counter is above zero.
    for (auto [counter, opens] : {std::pair{"5", true}, {"1", true}, {"0", false}, {"", false}, {"-2", false},
                                  {".", false}, {"%", false}, {"abc", false}, {" 3 ", true}})
        cases.push_back({counter, {},
                         {{std::string("caption lblCounter ") + counter}, {"type txtScannedAsset old scan"},
                          {"advance 6999", "*", {{"visible frmSetAsset", "0"}}},
                          {"advance 1", "*",
                           {{"visible frmSetAsset", opens ? "1" : "0"}, {"txtScannedAsset", opens ? "" : "old scan"},
                            {"focus txtScannedAsset", opens ? "1" : "0"}}}}});
    playAll(cases, [](Rig& r) { r.load(); });
}

}  // namespace
