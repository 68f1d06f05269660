// The production line behind the virtual controller: controllers fresh from
// the factory, swapped by hand or after their re-identification, and what
// each one served keeps.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "link/Frames.h"
#include "sim/ProductionLine.h"
#include "sim/VirtualController.h"
#include "sim/VirtualPort.h"
#include "tests/support/Rig.h"
#include "tests/support/VirtualClock.h"

using kv::sim::Bytes;
using kv::sim::ControllerState;
using kv::sim::ProductionLine;
using kv::sim::VirtualController;
namespace frames = kv::link;

namespace {

// A reply written out by hand: code, 01, length, text, then `tail`.
Bytes reply(std::uint8_t code, const std::string& text, const Bytes& tail = {}) {
    Bytes out{code, 0x01, static_cast<std::uint8_t>(text.size() + tail.size())};
    for (char ch : text) out.push_back(static_cast<std::uint8_t>(ch));
    for (auto b : tail) out.push_back(b);
    return out;
}

Bytes assetReply(const std::string& asset) { return reply(frames::cmdAsset, asset, {0x00, 0x00}); }

Bytes writeParam(std::uint8_t number, int value) { return frames::frameWriteParams({frames::splitParam(number, value)}); }

// A controller on a line, spoken to through its byte interface; every request
// takes 100 ms of the controller's time.
struct Bench {
    explicit Bench(int count, const kv::sim::Params& factory = kv::sim::kFactoryParams)
        : line(controller, count, ControllerState{}, factory) {}

    // Every byte answered to `bytes`, pieces joined.
    Bytes send(const Bytes& bytes) {
        Bytes out;
        for (auto& piece : controller.receive(bytes, now))
            out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
        now += 100;
        return out;
    }
    // Leaves service mode and waits out the restart.
    void restart() {
        EXPECT_EQ(send(frames::frameServiceMode(false)), reply(frames::cmdServiceMode, "", {0x00}));
        now += controller.modes.restartMs;
    }
    std::string summaryLine(int number) const {
        const std::string all = line.summary();
        std::size_t at = 0;
        for (int n = 1; n < number; ++n) at = all.find('\n', at) + 1;
        return all.substr(at, all.find('\n', at) - at);
    }

    VirtualController controller;
    ProductionLine line;
    std::int64_t now = 0;
};

TEST(ProductionLine, EveryControllerComesFromTheFactoryWithItsOwnMacAndChecksum) {
    Bench b(ProductionLine::kMaxCount);
    std::set<std::string> macs;
    std::set<Bytes> checksums;
    for (int n = 1; n <= ProductionLine::kMaxCount; ++n) {
        ASSERT_EQ(b.line.current(), n);
        const Bytes mac = b.send(frames::frameGetMac());
        ASSERT_EQ(mac.size(), 15u) << n;
        EXPECT_EQ(Bytes(mac.begin(), mac.begin() + 3), (Bytes{0x18, 0x01, 0x0C})) << n;
        const std::string macText(mac.begin() + 3, mac.end());
        EXPECT_EQ(macText.substr(0, 10), "0004A3B1C2") << n;
        EXPECT_EQ(std::stoi(macText.substr(10)), n) << n;
        macs.insert(macText);
        const Bytes checksum = b.send(frames::frameGetChecksum());
        ASSERT_EQ(checksum.size(), 5u) << n;
        checksums.insert(checksum);
        // The configuration reply carries the same checksum, low byte first.
        const Bytes config = b.send(frames::frameGetConfig());
        ASSERT_GE(config.size(), 27u) << n;
        EXPECT_EQ(config[3 + 21], checksum[4]) << n;
        EXPECT_EQ(config[3 + 22], checksum[3]) << n;
        EXPECT_EQ(b.send(frames::frameGetAsset()), assetReply("")) << n;
        EXPECT_EQ(b.send(frames::frameGetClient()), reply(frames::cmdClient, "<00")) << n;
        const Bytes params = b.send(frames::frameReadParams());
        ASSERT_EQ(params.size(), 3u + 2 * 39 + 2) << n;
        for (std::size_t i = 0; i < 39; ++i)
            EXPECT_EQ(params[3 + 2 * i] << 8 | params[4 + 2 * i], kv::sim::kFactoryParams[i]) << n << " P" << i + 1;
        EXPECT_FALSE(b.controller.state.serviceMode) << n;
        EXPECT_EQ(b.line.next(), n < ProductionLine::kMaxCount) << n;
    }
    EXPECT_EQ(macs.size(), static_cast<std::size_t>(ProductionLine::kMaxCount));
    EXPECT_EQ(checksums.size(), static_cast<std::size_t>(ProductionLine::kMaxCount));
}

TEST(ProductionLine, TheNextControllerKeepsNothingOfTheConnectionBefore) {
    const struct {
        const char* name;
        std::function<void(Bench&)> before;  // on controller 1
        Bytes request;                       // then, on controller 2
        Bytes expected;
    } cases[] = {
        {"service mode: a write outside it is refused",
         [](Bench& b) {
             b.controller.modes.storeOnlyInServiceMode = true;
             b.send(frames::frameServiceMode(true));
         },
         writeParam(12, 455), reply(frames::cmdWriteParams, "", {0x00})},
        {"the restart's deafness",
         [](Bench& b) { b.send(frames::frameServiceMode(false)); },  // deaf for 2000 ms
         frames::frameGetMac(), reply(frames::cmdMac, "0004A3B1C202")},
        {"the repeat count",
         [](Bench& b) {
             b.controller.modes.answerOnRepeat = 2;
             b.send(frames::frameGetMac());
         },
         frames::frameGetMac(), {}},
        {"a half-received request",
         [](Bench& b) { b.send({0x18, 0x01}); },
         {0x01, 0x00}, {}},
    };
    for (const auto& c : cases) {
        Bench b(2);
        c.before(b);
        ASSERT_TRUE(b.line.next()) << c.name;
        EXPECT_FALSE(b.controller.state.serviceMode) << c.name;
        EXPECT_EQ(b.send(c.request), c.expected) << c.name;
        // Controller 2 answers as a fresh one would.
        EXPECT_EQ(b.send(frames::frameGetMac()), reply(frames::cmdMac, "0004A3B1C202")) << c.name;
        EXPECT_EQ(b.line.unit(2).params, kv::sim::kFactoryParams) << c.name;
    }
}

TEST(ProductionLine, AControllerLeavingTheLineKeepsWhatWasWrittenToIt) {
    Bench b(3);
    b.send(frames::frameServiceMode(true));
    EXPECT_EQ(b.send(writeParam(12, 455)), reply(frames::cmdWriteParams, "", {0x00}));
    b.send(writeParam(30, 2));
    EXPECT_EQ(b.send(frames::frameSetAsset("A-77")), assetReply("A-77"));
    EXPECT_EQ(b.send(frames::frameSetClient("005")), reply(frames::cmdClient, "005"));
    ASSERT_TRUE(b.line.next());  // still in service mode
    b.send(frames::frameSetAsset("B-2"));

    EXPECT_EQ(b.line.unit(1).asset, "A-77");
    EXPECT_EQ(b.line.unit(1).client, "005");
    EXPECT_FALSE(b.line.unit(1).serviceMode);
    EXPECT_EQ(b.line.summary(),
              "01  0004A3B1C201  asset \"A-77\"  client \"005\"  P012=455 P030=2\n"
              "02  0004A3B1C202  asset \"B-2\"  client \"<00\"  factory parameters\n");
    // Controller 3 has not been served.
    EXPECT_EQ(b.line.unit(3).asset, "");
}

TEST(ProductionLine, TheSummaryListsOnlyParametersThatDifferFromTheFactory) {
    const struct {
        const char* name;
        std::vector<std::pair<std::uint8_t, int>> writes;
        const char* listed;
    } cases[] = {
        {"nothing written", {}, "factory parameters"},
        {"the factory value written", {{1, 440}, {39, 53}}, "factory parameters"},
        {"two changed", {{12, 455}, {30, 2}}, "P012=455 P030=2"},
        {"in number order, first and last", {{39, 0}, {1, 441}}, "P001=441 P039=0"},
        {"changed and changed back", {{12, 455}, {12, 480}}, "factory parameters"},
        {"a 16-bit value", {{5, 65535}}, "P005=65535"},
        {"no parameter 40", {{40, 7}}, "factory parameters"},
    };
    for (const auto& c : cases) {
        Bench b(1);
        b.send(frames::frameServiceMode(true));
        for (auto [number, value] : c.writes) b.send(writeParam(number, value));
        const std::string line = b.summaryLine(1);
        const std::string head = "01  0004A3B1C201  asset \"\"  client \"<00\"  ";
        ASSERT_EQ(line.substr(0, head.size()), head) << c.name;
        EXPECT_EQ(line.substr(head.size()), c.listed) << c.name;
    }
}

// Factory values of the line's own, raw 16-bit values within their limits or
// not, read back high byte first from every controller; the summary compares
// with them, not with the definition file's defaults.
TEST(ProductionLine, ControllersLeaveTheFactoryWithTheLinesValues) {
    const struct {
        const char* name;
        std::vector<std::pair<std::uint8_t, std::uint16_t>> factory;
        std::vector<std::array<std::uint8_t, 3>> read;  // parameter, high byte, low byte
        std::vector<std::pair<std::uint8_t, int>> writes;
        const char* listed;
    } cases[] = {
        {"the widest values", {{1, 65535}, {2, 0}}, {{1, 0xFF, 0xFF}, {2, 0x00, 0x00}, {3, 0x02, 0xBC}}, {},
         "factory parameters"},
        {"above the limits (P038 to 247)", {{38, 40000}}, {{38, 0x9C, 0x40}}, {}, "factory parameters"},
        {"the definition's default differs", {{12, 1000}}, {{12, 0x03, 0xE8}}, {{12, 480}}, "P012=480"},
        {"the line's value written back", {{12, 1000}}, {{12, 0x03, 0xE8}}, {{12, 455}, {12, 1000}},
         "factory parameters"},
    };
    for (const auto& c : cases) {
        kv::sim::Params factory = kv::sim::kFactoryParams;
        for (auto [number, value] : c.factory) factory[number - 1] = value;
        Bench b(2, factory);
        for (int n = 1; n <= 2; ++n) {
            const Bytes got = b.send(frames::frameReadParams());
            ASSERT_EQ(got.size(), 3u + 2 * 39 + 2) << c.name;
            for (auto [number, high, low] : c.read) {
                EXPECT_EQ(got[1 + 2 * number], high) << c.name << " controller " << n << " P" << int(number);
                EXPECT_EQ(got[2 + 2 * number], low) << c.name << " controller " << n << " P" << int(number);
            }
            if (n == 1) b.line.next();
        }
        b.send(frames::frameServiceMode(true));
        for (auto [number, value] : c.writes) b.send(writeParam(number, value));
        EXPECT_EQ(b.summaryLine(1), "01  0004A3B1C201  asset \"\"  client \"<00\"  factory parameters") << c.name;
        EXPECT_EQ(b.summaryLine(2), std::string("02  0004A3B1C202  asset \"\"  client \"<00\"  ") + c.listed) << c.name;
    }
}

// The dashboard's automatic setting as the controller hears it, with
// controllers swapped at the points asked for: which controller is on the
// line after each request, and what each one holds in the end.
TEST(ProductionLine, SwapsDuringProvisioningAfterTheReplyAtItsPoint) {
    using kv::sim::SwapPoint;
    const Bytes script[] = {frames::frameGetAsset(),
                            frames::frameSetAsset("A-1"),
                            frames::frameGetMac(),  // still the controller that answered
                            frames::frameSetClient("005"),
                            frames::frameReadParams(),
                            writeParam(1, 441),  // outside service mode
                            frames::frameServiceMode(true),
                            writeParam(12, 455),
                            writeParam(30, 2),
                            frames::frameServiceMode(false)};
    const std::string one = "01  0004A3B1C201  asset ";
    const std::string two = "02  0004A3B1C202  asset ";
    const std::string three = "03  0004A3B1C203  asset ";
    const struct {
        const char* name;
        int count;
        std::vector<kv::sim::SwapDuring> swaps;
        int loseAck;
        std::vector<int> current;  // after each request of the script
        std::string summary;
    } cases[] = {
        {"none", 3, {}, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
         one + "\"A-1\"  client \"005\"  P001=441 P012=455 P030=2\n"},
        {"1:asset", 3, {{1, SwapPoint::AssetSet}}, 0, {1, 1, 1, 2, 2, 2, 2, 2, 2, 2},
         one + "\"A-1\"  client \"<00\"  factory parameters\n" + two +
             "\"\"  client \"005\"  P001=441 P012=455 P030=2\n"},
        {"1:client", 3, {{1, SwapPoint::ClientSet}}, 0, {1, 1, 1, 1, 2, 2, 2, 2, 2, 2},
         one + "\"A-1\"  client \"005\"  factory parameters\n" + two +
             "\"\"  client \"<00\"  P001=441 P012=455 P030=2\n"},
        {"1:bulk", 3, {{1, SwapPoint::BulkWrite}}, 0, {1, 1, 1, 1, 1, 1, 1, 1, 2, 2},
         one + "\"A-1\"  client \"005\"  P001=441 P012=455\n" + two + "\"\"  client \"<00\"  P030=2\n"},
        {"1:bulk, its first acknowledgement lost", 3, {{1, SwapPoint::BulkWrite}}, 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 2},
         one + "\"A-1\"  client \"005\"  P001=441 P012=455 P030=2\n" + two +
             "\"\"  client \"<00\"  factory parameters\n"},
        {"1:client and 2:bulk", 3, {{2, SwapPoint::BulkWrite}, {1, SwapPoint::ClientSet}}, 0,
         {1, 1, 1, 1, 2, 2, 2, 2, 3, 3},
         one + "\"A-1\"  client \"005\"  factory parameters\n" + two + "\"\"  client \"<00\"  P001=441 P012=455\n" +
             three + "\"\"  client \"<00\"  P030=2\n"},
        {"2:asset leaves controller 1 alone", 3, {{2, SwapPoint::AssetSet}}, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
         one + "\"A-1\"  client \"005\"  P001=441 P012=455 P030=2\n"},
        {"not past the last controller", 1, {{1, SwapPoint::AssetSet}, {1, SwapPoint::BulkWrite}}, 0,
         {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, one + "\"A-1\"  client \"005\"  P001=441 P012=455 P030=2\n"},
    };
    for (const auto& c : cases) {
        Bench b(c.count);
        b.line.swapsDuring = c.swaps;
        b.controller.modes.loseAckForFrame = c.loseAck;
        for (std::size_t i = 0; i < std::size(script); ++i) {
            b.send(script[i]);
            EXPECT_EQ(b.line.current(), c.current[i]) << c.name << ", request " << i + 1;
        }
        EXPECT_EQ(b.line.summary(), c.summary) << c.name;
        // The last swap made at one of the points names it.
        const int last = c.current.back();
        ASSERT_EQ(b.line.lastSwapDuring().has_value(), last > 1) << c.name;
        if (last > 1) {
            EXPECT_EQ(b.line.lastSwapDuring()->controller, last - 1) << c.name;
        }
        // Until the next swap made otherwise.
        if (b.line.next()) {
            EXPECT_FALSE(b.line.lastSwapDuring().has_value()) << c.name;
        }
    }
}

// One step of a conversation: a request some time after the last, the reply
// it gets and the controller on the line afterwards.
struct Step {
    const char* what;
    Bytes request;
    std::optional<Bytes> expected;  // nullopt: not checked
    int currentAfter;
    std::int64_t waitMs = 0;  // before the request
};

Bytes leave() { return frames::frameServiceMode(false); }
Bytes enter() { return frames::frameServiceMode(true); }
const Bytes kNoAnswer;

TEST(ProductionLine, SwapsByItselfOnlyAfterARestartedControllerAnsweredAnAssetRequest) {
    const struct {
        const char* name;
        int count;
        bool autoSwap;
        std::vector<Step> steps;
    } cases[] = {
        {"restart, then the asset request: its reply still comes from controller 1",
         3,
         true,
         {{"set asset", frames::frameSetAsset("A-1"), assetReply("A-1"), 1},
          {"enter", enter(), std::nullopt, 1},
          {"leave", leave(), std::nullopt, 1},
          {"mac", frames::frameGetMac(), reply(frames::cmdMac, "0004A3B1C201"), 1, 2000},
          {"asset", frames::frameGetAsset(), assetReply("A-1"), 2},
          {"controller 2, not restarted", frames::frameGetAsset(), assetReply(""), 2},
          {"mac", frames::frameGetMac(), reply(frames::cmdMac, "0004A3B1C202"), 2}}},
        {"an asset request without a restart", 3, true,
         {{"asset", frames::frameGetAsset(), assetReply(""), 1},
          {"enter", enter(), std::nullopt, 1},
          {"asset in service mode", frames::frameGetAsset(), assetReply(""), 1}}},
        {"an asset set after a restart", 3, true,
         {{"enter", enter(), std::nullopt, 1},
          {"leave", leave(), std::nullopt, 1},
          {"set asset", frames::frameSetAsset("A-9"), assetReply("A-9"), 1, 2000},
          {"then the request", frames::frameGetAsset(), assetReply("A-9"), 2}}},
        {"an asset request the restarting controller did not hear", 3, true,
         {{"leave", leave(), std::nullopt, 1},
          {"asset while deaf", frames::frameGetAsset(), kNoAnswer, 1, 500},
          {"asset after the restart", frames::frameGetAsset(), assetReply(""), 2, 1500}}},
        {"leaving service mode without entering it restarts too", 2, true,
         {{"leave", leave(), std::nullopt, 1}, {"asset", frames::frameGetAsset(), assetReply(""), 2, 2000}}},
        {"only when asked to", 3, false,
         {{"leave", leave(), std::nullopt, 1}, {"asset", frames::frameGetAsset(), assetReply(""), 1, 2000}}},
        {"not past the last controller", 2, true,
         {{"leave", leave(), std::nullopt, 1},
          {"asset", frames::frameGetAsset(), assetReply(""), 2, 2000},
          {"leave", leave(), std::nullopt, 2},
          {"asset", frames::frameGetAsset(), assetReply(""), 2, 2000},
          {"mac", frames::frameGetMac(), reply(frames::cmdMac, "0004A3B1C202"), 2}}},
    };
    for (const auto& c : cases) {
        Bench b(c.count);
        b.line.autoSwap = c.autoSwap;
        for (const auto& s : c.steps) {
            b.now += s.waitMs;
            const Bytes got = b.send(s.request);
            if (s.expected) {
                EXPECT_EQ(got, *s.expected) << c.name << ": " << s.what;
            }
            EXPECT_EQ(b.line.current(), s.currentAfter) << c.name << ": " << s.what;
        }
    }
}

// Bytes that came in with the asset request reached controller 1, which
// leaves the line with them; controller 2 hears only what comes after.
TEST(ProductionLine, BytesArrivingWithTheLastRequestLeaveWithTheController) {
    Bench b(2);
    b.line.autoSwap = true;
    b.restart();
    Bytes both = frames::frameGetAsset();
    both.insert(both.end(), {0x18, 0x01, 0x01, 0x00, 0x18, 0x01});
    EXPECT_EQ(b.send(both), assetReply(""));
    EXPECT_EQ(b.line.current(), 2);
    EXPECT_EQ(b.send({0x01, 0x00}), kNoAnswer);
    EXPECT_EQ(b.send(frames::frameGetMac()), reply(frames::cmdMac, "0004A3B1C202"));
}

TEST(ProductionLine, NextChangesNothingAfterTheLastController) {
    Bench b(2);
    ASSERT_TRUE(b.line.next());
    b.send(frames::frameSetAsset("LAST"));
    b.send({0x18, 0x01});  // half a request
    const std::string before = b.line.summary();
    EXPECT_FALSE(b.line.next());
    EXPECT_EQ(b.line.current(), 2);
    EXPECT_EQ(b.line.summary(), before);
    // The half request is still there.
    EXPECT_EQ(b.send({0x01, 0x00}), reply(frames::cmdMac, "0004A3B1C202"));
}

// A reply's length is one byte: the longest asset fills it, a longer one is
// cut to fit, and a configuration that cannot fit is not sent.
TEST(VirtualControllerReplies, FitTheirLengthByte) {
    const struct {
        std::size_t assetLength;
        std::size_t answered;
    } cases[] = {{253, 253}, {254, 253}, {300, 253}};
    for (const auto& c : cases) {
        VirtualController controller;
        controller.state.asset = std::string(c.assetLength, 'A');
        const Bytes got = controller.receive(frames::frameGetAsset(), 0).at(0).bytes;
        EXPECT_EQ(got, assetReply(std::string(c.answered, 'A'))) << c.assetLength;
    }
    VirtualController controller;
    controller.state.config = Bytes(255, 0x11);
    EXPECT_EQ(controller.receive(frames::frameGetConfig(), 0).at(0).bytes.size(), 3u + 255);
    controller.state.config = Bytes(256, 0x11);
    EXPECT_THROW(controller.receive(frames::frameGetConfig(), 100), std::length_error);
}

// Found by the request fuzzer: a parameter read asking for more values than a
// reply can carry threw out of the simulator. It answers the first 126.
TEST(VirtualControllerReplies, AReadOfTooManyValuesGetsTheFirstThatFit) {
    for (std::size_t asked : {39u, 126u, 127u, 252u}) {
        VirtualController controller;
        Bytes request{0x06, 0x01, static_cast<std::uint8_t>(asked + 2)};
        for (std::size_t i = 0; i < asked; ++i) request.push_back(static_cast<std::uint8_t>(1 + i % 39));
        request.push_back(0x99);
        request.push_back(0x99);
        auto pieces = controller.receive(request, 0);
        ASSERT_EQ(pieces.size(), 1u) << asked;
        const Bytes& reply = pieces[0].bytes;
        const std::size_t values = std::min<std::size_t>(asked, 126);
        EXPECT_EQ(reply[2], 2 * values + 2) << asked;
        EXPECT_EQ(reply.size(), 3 + 2 * values + 2) << asked;
        EXPECT_EQ(reply[3], kv::sim::kFactoryParams[0] >> 8);
        EXPECT_EQ(reply[4], kv::sim::kFactoryParams[0] & 0xFF);
        EXPECT_EQ(reply[reply.size() - 1], 0x99);
    }
}

}  // namespace
