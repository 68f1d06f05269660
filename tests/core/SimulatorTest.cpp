// The virtual controller's parameter store: factory values, writes in and out
// of service mode, a withheld acknowledgement, and the restart after service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "link/Frames.h"
#include "sim/VirtualController.h"

using kv::sim::Bytes;
using kv::sim::kFactoryParams;
using kv::sim::VirtualController;
using namespace kv::link;

namespace {

using Params = std::array<std::uint16_t, 39>;
using Record = VirtualController::ParamWriteRecord;

const Bytes kWriteAck{0x07, 0x01, 0x01, 0x00};
const Bytes kEnterAck{0x08, 0x01, 0x01, 0x01};
const Bytes kLeaveAck{0x08, 0x01, 0x01, 0x00};

// The reply to the read-all request when the controller holds `values`:
// 06 01 50, high and low byte of each, 99 99.
Bytes readReply(const Params& values) {
    Bytes b{0x06, 0x01, 0x50};
    for (auto v : values) {
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    b.push_back(0x99);
    b.push_back(0x99);
    return b;
}

Params withValue(Params p, int number, std::uint16_t value) {
    p[static_cast<std::size_t>(number - 1)] = value;
    return p;
}

bool sameRecord(const Record& a, const Record& b) {
    return a.number == b.number && a.value == b.value && a.inServiceMode == b.inServiceMode && a.stored == b.stored;
}

std::string describe(const Record& r) {
    std::ostringstream s;
    s << "{P" << int(r.number) << "=" << r.value << (r.inServiceMode ? " in service" : " outside service")
      << (r.stored ? " stored}" : " refused}");
    return s.str();
}

}  // namespace

TEST(SimulatorFactory, ValuesAreTheDefaultsOfTheShippedDefinitions) {
    // Field 4 of each line of the definitions shipped with the dashboard.
    const auto path = std::filesystem::path(KV_SOURCE_DIR) / "data" /
                      "KV5x_Params.txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot open " << path.string();
    std::vector<long> defaults;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line == "\r") continue;
        std::istringstream fields(line);
        std::string field;
        for (int k = 0; k < 4 && std::getline(fields, field, ','); ++k) {}
        defaults.push_back(std::stol(field));
    }
    ASSERT_EQ(defaults.size(), kFactoryParams.size());
    for (std::size_t i = 0; i < defaults.size(); ++i) EXPECT_EQ(kFactoryParams[i], defaults[i]) << "P" << i + 1;
}

TEST(SimulatorWrites, AreStoredAndRecordedPerTriple) {
    struct Case {
        const char* name;
        bool storeOnlyInServiceMode;
        bool inService;
        std::vector<ParamWrite> triples;
        std::vector<Record> records;
        Params after;
    };
    const Case cases[] = {
        {"outside service mode", false, false, {splitParam(1, 441)}, {{1, 441, false, true}},
         withValue(kFactoryParams, 1, 441)},
        {"in service mode", false, true, {splitParam(1, 441)}, {{1, 441, true, true}},
         withValue(kFactoryParams, 1, 441)},
        {"store-only-in-service refuses outside, still acknowledged", true, false,
         {splitParam(1, 441), splitParam(39, 60)}, {{1, 441, false, false}, {39, 60, false, false}}, kFactoryParams},
        {"store-only-in-service keeps in service", true, true, {splitParam(2, 0x1234)},
         {{2, 0x1234, true, true}}, withValue(kFactoryParams, 2, 0x1234)},
        {"several triples, high byte first", false, true,
         {splitParam(3, 0x0102), splitParam(20, 0), splitParam(39, 0xFFFF)},
         {{3, 0x0102, true, true}, {20, 0, true, true}, {39, 0xFFFF, true, true}},
         withValue(withValue(withValue(kFactoryParams, 3, 0x0102), 20, 0), 39, 0xFFFF)},
        {"numbers outside 1..39 are recorded but not stored", false, true,
         {splitParam(0, 500), splitParam(40, 501), splitParam(5, 402)},
         {{0, 500, true, false}, {40, 501, true, false}, {5, 402, true, true}},
         withValue(kFactoryParams, 5, 402)},
        {"an empty list", false, true, {}, {}, kFactoryParams},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        VirtualController c;
        c.modes.storeOnlyInServiceMode = k.storeOnlyInServiceMode;
        if (k.inService) {
            ASSERT_EQ(c.answer(frameServiceMode(true), 0), kEnterAck);
        }
        EXPECT_EQ(c.state.serviceMode, k.inService);

        EXPECT_EQ(c.answer(frameWriteParams(k.triples), 10), kWriteAck);
        EXPECT_EQ(c.paramFramesSinceService, 1);
        ASSERT_EQ(c.paramWrites.size(), k.records.size());
        for (std::size_t i = 0; i < k.records.size(); ++i)
            EXPECT_TRUE(sameRecord(c.paramWrites[i], k.records[i]))
                << "record " << i << ": " << describe(c.paramWrites[i]) << " expected " << describe(k.records[i]);
        EXPECT_EQ(c.state.params, k.after);
        EXPECT_EQ(c.answer(frameReadParams(), 20), readReply(k.after));
    }
}

TEST(SimulatorLostAck, NthWriteFrameSinceServiceIsStoredButUnanswered) {
    VirtualController c;
    c.modes.loseAckForFrame = 2;
    struct Step {
        const char* name;
        Bytes request;
        std::optional<Bytes> reply;
        int framesSinceService;
    };
    const Step steps[] = {
        {"write before service mode", frameWriteParams({splitParam(1, 401)}), kWriteAck, 1},
        {"enter resets the count", frameServiceMode(true), kEnterAck, 0},
        {"first write frame", frameWriteParams({splitParam(1, 402)}), kWriteAck, 1},
        {"second write frame is lost", frameWriteParams({splitParam(2, 403), splitParam(3, 404)}), std::nullopt, 2},
        {"its repetition is answered", frameWriteParams({splitParam(2, 403), splitParam(3, 404)}), kWriteAck, 3},
        {"third write frame", frameWriteParams({splitParam(4, 405)}), kWriteAck, 4},
        {"a new enter starts over", frameServiceMode(true), kEnterAck, 0},
        {"first again", frameWriteParams({splitParam(5, 406)}), kWriteAck, 1},
        {"second again is lost", frameWriteParams({splitParam(6, 407)}), std::nullopt, 2},
        {"other requests do not count", frameGetStatus(), VirtualController().statusReply(), 2},
        {"third again", frameWriteParams({splitParam(7, 408)}), kWriteAck, 3},
    };
    std::int64_t t = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(c.answer(s.request, t += 10), s.reply);
        EXPECT_EQ(c.paramFramesSinceService, s.framesSinceService);
    }
    Params expected = kFactoryParams;
    const std::pair<int, std::uint16_t> kept[] = {{1, 402}, {2, 403}, {3, 404}, {4, 405},
                                                  {5, 406}, {6, 407}, {7, 408}};
    for (auto [n, v] : kept) expected = withValue(expected, n, v);
    EXPECT_EQ(c.state.params, expected);
    EXPECT_EQ(c.paramWrites.size(), 10u);
    for (const auto& r : c.paramWrites) EXPECT_TRUE(r.stored) << describe(r);
}

TEST(SimulatorRestart, DeafAfterLeavingServiceThenAnswersWithWrittenValues) {
    VirtualController c;
    c.modes.restartMs = 2000;
    const std::int64_t leaveAt = 1000;
    ASSERT_EQ(c.answer(frameServiceMode(true), 0), kEnterAck);
    ASSERT_EQ(c.answer(frameWriteParams({splitParam(1, 441), splitParam(39, 54)}), 500), kWriteAck);
    ASSERT_EQ(c.answer(frameServiceMode(false), leaveAt), kLeaveAck);
    EXPECT_FALSE(c.state.serviceMode);

    const Params written = withValue(withValue(kFactoryParams, 1, 441), 39, 54);
    struct Probe {
        const char* name;
        Bytes request;
        std::int64_t at;
        std::optional<Bytes> reply;
    };
    const Probe probes[] = {
        {"read right after leaving", frameReadParams(), leaveAt, std::nullopt},
        {"enter while restarting", frameServiceMode(true), leaveAt + 1, std::nullopt},
        {"write while restarting", frameWriteParams({splitParam(1, 999)}), leaveAt + 1000, std::nullopt},
        {"status a moment before the end", frameGetStatus(), leaveAt + 1999, std::nullopt},
        {"read at the end of the restart", frameReadParams(), leaveAt + 2000, readReply(written)},
        {"status after", frameGetStatus(), leaveAt + 2001, c.statusReply()},
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(c.answer(p.request, p.at), p.reply);
    }
    // Nothing heard while deaf changed the controller.
    EXPECT_FALSE(c.state.serviceMode);
    EXPECT_EQ(c.paramWrites.size(), 2u);
    EXPECT_EQ(c.paramFramesSinceService, 1);
    EXPECT_EQ(c.state.params, written);
}
