// What goes to the controller is what the table showed before the
// technician pressed the key: a newcomer whose read never came whole, a row
// a short read emptied while it was selected on the panel, a panel step held
// at a limit, a parameter file changed on disk, holding a half, or opened
// before the table was read again.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "tests/support/BatchHelpers.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

bool isWrite(const Bytes& f) { return !f.empty() && (f[0] == 0x07 || f[0] == 0x08); }

// The raw value the parameter-write frames since the last take gave
// parameter `number`, if one did.
std::optional<int> writtenValue(Rig& rig, int number) {
    std::optional<int> value;
    for (const Bytes& f : rig.takeWritten()) {
        if (f.size() < 5 || f[0] != 0x07) continue;
        for (std::size_t i = 3; i + 2 < f.size() - 2; i += 3)
            if (f[i] == number) value = f[i + 1] * 256 + f[i + 2];
    }
    return value;
}

// A 39-value read reply, as the newcomer would send it, cut after `keep` bytes.
Bytes readReplyCut(std::size_t keep) {
    Bytes payload;
    for (int i = 0; i < 39; ++i) payload.insert(payload.end(), {0x02, 0x58});  // 600
    payload.insert(payload.end(), {0x99, 0x99});
    Bytes frame = kv::link::requestFrame(0x06, payload);
    frame.resize(keep);
    return frame;
}

// Another controller is put on the line and REFRESH pressed; it answers up to
// a point. The table then holds nothing of it: every row must be blank, and
// APPLY PARAMS must send nothing.
TEST(WrittenAsShown, ApplyParamsSendsNothingWhileTheRowsHoldTheLastControllersRead) {
    using Newcomer = std::function<void(Rig&)>;
    // Stops answering at the first request of `code`, and instead delivers
    // `bytes` (if any) 20 ms later.
    auto goesQuietAt = [](std::uint8_t code, Bytes bytes) -> Newcomer {
        return [code, bytes](Rig& rig) {
            rig.controller.onRequest = [&rig, code, bytes](const Bytes& request) {
                if (request.empty() || request[0] != code) return;
                rig.controller.modes.silent = true;
                if (!bytes.empty()) rig.clock.at(rig.clock.nowMs() + 20, [&rig, bytes] { rig.port.deliver(bytes); });
            };
        };
    };
    const struct {
        const char* name;
        Newcomer newcomer;
    } cases[] = {
        {"its firmware and checksum answered, the read never", goesQuietAt(0x06, {})},
        {"its read reply cut off", goesQuietAt(0x06, readReplyCut(33))},
        {"a firmware reply of length 0", goesQuietAt(0x01, kv::link::requestFrame(0x01, {}))},
        {"a firmware reply of length 255", goesQuietAt(0x01, kv::link::requestFrame(0x01, Bytes(255, 'K')))},
        {"it answers nothing", [](Rig& rig) { rig.controller.modes.silent = true; }},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        ASSERT_EQ(m.params.txtParam(0).text(), "4.0") << c.name;  // the first controller's read
        rig.controller.state.mac = "0004A3B1C2FF";
        std::fill(rig.controller.state.params.begin(), rig.controller.state.params.end(), 600);
        c.newcomer(rig);
        m.serviceMode.cmdRefreshNextController.click();
        rig.clock.advance(10000);

        int shown = 0;
        for (int k = 0; k < 39; ++k) shown += m.params.txtParam(k).text().empty() ? 0 : 1;
        EXPECT_EQ(shown, 0) << c.name << ": rows still showing the first controller's values";

        rig.takeWritten();
        rig.messages.shown.clear();
        m.bulkWrite.cdmSetParams.click();
        rig.clock.advance(10000);
        int writes = 0;
        for (const Bytes& f : rig.takeWritten()) writes += isWrite(f) ? 1 : 0;
        EXPECT_EQ(writes, 0) << c.name << ": service-mode and parameter frames sent";
        EXPECT_TRUE(!rig.messages.shown.empty() &&
                    rig.messages.shown[0].text.find("No value is shown for ") != std::string::npos)
            << c.name << ": APPLY PARAMS did not refuse";
    }
}

// A row selected on the front panel, then emptied by a short read of the
// next controller: the panel's keys must not send the value it showed before.
TEST(WrittenAsShown, ThePanelSendsNothingForARowAShortReadEmptied) {
    const struct {
        const char* name;
        std::function<void(kv::params::ParamEdit&)> keys;
    } cases[] = {
        {"the set key", [](kv::params::ParamEdit& e) { e.imgKV5xSLT.click(); }},
        {"UP, then the set key",
         [](kv::params::ParamEdit& e) {
             e.imgKV53UP.click();
             e.imgKV5xSLT.click();
         }},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        const int row = 29;  // LIT (P030), past a read of 20 values
        m.paramEdit.lblParam_Click(row);
        ASSERT_TRUE(m.paramEdit.selected()) << c.name;
        rig.controller.modes.shortRead = 20;  // the next controller's firmware
        rig.controller.state.mac = "0004A3B1C2FF";
        m.serviceMode.cmdRefreshNextController.click();
        rig.clock.advance(8000);
        ASSERT_EQ(m.progress.lblCurrentINFO.caption(), " CONNECTED..OK") << c.name;
        ASSERT_EQ(m.params.txtParam(row).text(), "") << c.name;

        rig.takeWritten();
        c.keys(m.paramEdit);
        rig.clock.advance(500);
        int writes = 0;
        for (const Bytes& f : rig.takeWritten()) writes += isWrite(f) ? 1 : 0;
        EXPECT_EQ(writes, 0) << c.name << ": the first controller's LIT went to the second";
        EXPECT_TRUE(rig.controller.paramWrites.empty()) << c.name;
    }
}

// The value APPLY PARAMS sends for a row, shown as the row shows values, is
// the text its box held when the technician pressed it.
TEST(WrittenAsShown, ApplyParamsSendsWhatTheBoxShowedWhenPressed) {
    const struct {
        const char* name;
        int row;
        std::function<void(Rig&)> before;  // after the identification
    } cases[] = {
        // ODS (P008, type 3, 400 to 1000): raw 992 shows 59; UP goes past
        // 1000 and is held there, which shows 60.
        {"UP past the upper limit", 7,
         [](Rig& rig) {
             rig.main->paramEdit.lblParam_Click(7);
             rig.main->paramEdit.imgKV53UP.click();
         }},
        // Raw 405 shows 1; DOWN goes below 400 and is held there, which shows 0.
        {"DOWN past the lower limit", 7,
         [](Rig& rig) {
             rig.main->paramEdit.lblParam_Click(7);
             rig.main->paramEdit.imgKV53DWN.click();
         }},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.controller.state.params[7] = std::string(c.name).find("DOWN") != std::string::npos ? 405 : 992;
        rig.identify();
        auto& m = *rig.main;
        c.before(rig);
        rig.messages.pressAll();
        const std::string shown = m.params.txtParam(c.row).text();
        rig.takeWritten();
        m.bulkWrite.cdmSetParams.click();
        rig.clock.advance(4000);
        auto v = writtenValue(rig, c.row + 1);
        ASSERT_TRUE(v.has_value()) << c.name;
        auto sent = kv::params::showRaw(std::to_string(*v), m.params.row(c.row).permission, 400).text;
        EXPECT_EQ(sent.value_or("?"), shown) << c.name << ": raw " << *v << " sent";
    }
}

}  // namespace
