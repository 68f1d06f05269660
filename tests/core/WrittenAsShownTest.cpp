// What goes to the controller is what the table shows: APPLY PARAMS, by hand
// or as the automatic setting's last step, sends nothing while a row shows no
// value (never read, read short, or another controller's read since) and
// names those rows; the panel sends nothing for a row a short read emptied;
// a step held at a limit is written as the box shows it.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using namespace kv::test;
using kv::sim::Bytes;

namespace {

const std::vector<std::uint8_t> kWrites{0x07, 0x08};  // parameter and service-mode frames

Step set(std::function<void(Rig&)> f) { return {"", "*", {}, "*", std::move(f)}; }

// The refusal naming the rows from `first` (1 to 39) on, as the shipped
// definition file labels them.
std::string refusal(int first) {
    std::ifstream defs(std::filesystem::path(KV_SOURCE_DIR) / "data" / "KV5x_Params.txt");
    std::string names, l;
    for (int n = 1; n <= 39 && std::getline(defs, l); ++n) {
        l.erase(l.find_last_not_of('\r') + 1);
        if (n >= first) names += (names.empty() ? "" : ", ") + l.substr(l.rfind(',') + 1) + " (" + l.substr(0, 4) + ")";
    }
    return "No value is shown for " + names + " (not read from the controller, nor opened from a file): read the "
           "parameters again or open a parameter file.\nNothing was written to the controller.";
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

// Another controller is put on the line and REFRESH pressed: from its request
// of `code` on, it answers nothing but `bytes` (if any), 20 ms later.
std::vector<Step> newcomer(std::uint8_t code, Bytes bytes) {
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
    std::vector<Step> steps{{"", "*", {{"txtParam(0)", "4.0"}}, "*", put}, {"click cmdRefreshNextController"}, {"advance 10000"}};
    for (const auto& s : refused("click cdmSetParams", 1)) steps.push_back(s);
    return steps;
}

// LIT (P030) selected on the panel; the next controller's read stops after
// 20 values; then the keys.
std::vector<Step> panel(std::vector<std::string> keys) {
    std::vector<Step> steps{{"click lblParam(29)", "*", {{"lblSettingParam", "LIT"}}},
                            set([](Rig& r) { r.controller.modes.shortRead = 20; r.controller.state.mac = "0004A3B1C2FF"; }),
                            {"click cmdRefreshNextController"},
                            {"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}, {"txtParam(29)", ""}}}};
    for (const auto& k : keys) steps.push_back({"click " + k, "", {}, "*", {}, kWrites});
    steps.push_back({"advance 500", "", {}, "*", [](Rig& r) { EXPECT_TRUE(r.controller.paramWrites.empty()); }, kWrites});
    return steps;
}

// ODS (P008, type 3, raw 400 to 1000) stepped past a limit: the box shows
// the limit, and the limit is what the controller gets.
std::vector<Step> held(const char* key, const char* shown, const char* says, std::uint16_t written) {
    return {{"click lblParam(7)"}, {"click " + std::string(key), "*", {{"txtParam(7)", shown}}, says}, {"answer OK"},
            {"click cdmSetParams"},
            {"advance 20000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}, {"txtParam(7)", shown}}, "*",
             [=](Rig& r) { EXPECT_EQ(r.controller.state.params[7], written); }}};
}

TEST(WrittenAsShown, NothingGoesToTheControllerButWhatTheTableShows) {
    const Bytes cut = [] { Bytes b = kv::link::requestFrame(0x06, Bytes(80, 2)); b.resize(33); return b; }();
    auto shortRead = [](Rig& r) { r.controller.modes.shortRead = 20; };
    // Before: the first controller, before it is identified.
    const struct { const char* name; std::function<void(Rig&)> before; std::vector<Step> steps; } cases[] = {
        {"the read never answered", [](Rig& r) { r.controller.modes.silent = true; }, refused("click cdmSetParams", 1)},
        {"a short read after a whole one", {},
         {set(shortRead), {"press cmdGetParams"}, {"advance 500"}, refused("click cdmSetParams", 21)[0]}},
        {"the automatic setting after a short read", shortRead, refused("scan txtAssetID KV-77", 21, true)},
        {"a newcomer answers its firmware and checksum, the read never", {}, newcomer(0x06, {})},
        {"a newcomer's read reply is cut off", {}, newcomer(0x06, cut)},
        {"a newcomer's firmware reply of length 0", {}, newcomer(0x01, kv::link::requestFrame(0x01, {}))},
        {"a newcomer's firmware reply of length 255", {}, newcomer(0x01, kv::link::requestFrame(0x01, Bytes(255, 'K')))},
        {"a newcomer answers nothing", {}, newcomer(0, {})},
        {"the set key on a row a short read emptied", {}, panel({"imgKV5xSLT"})},
        {"UP, then the set key, on a row a short read emptied", {}, panel({"imgKV53UP", "imgKV5xSLT"})},
        {"UP past the upper limit", [](Rig& r) { r.controller.state.params[7] = 992; },
         held("imgKV53UP", "60", "ODS Value to HIGH", 1000)},
        {"DOWN past the lower limit", [](Rig& r) { r.controller.state.params[7] = 405; },
         held("imgKV53DWN", "0", "ODS Value to LOW", 400)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.before) c.before(rig);
        rig.identify();
        play(rig, c.steps);
    }
}

}  // namespace
