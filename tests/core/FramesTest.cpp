// Request frames byte for byte (the set frames are checked through their
// buttons), and the value split of parameter writes.
#include <gtest/gtest.h>

#include "link/Frames.h"

using namespace kv::link;

namespace {

struct FrameCase {
    const char* name;
    Bytes actual;
    Bytes expected;
};

TEST(Frames, EveryRequestIsByteExact) {
    Bytes read = Bytes({0x06, 0x01, 0x29});
    for (int n = 1; n <= 39; ++n) read.push_back(static_cast<std::uint8_t>(n));
    read.push_back(0x99);
    read.push_back(0x99);

    Bytes bulk = Bytes({0x07, 0x01, 0x20});
    std::vector<ParamWrite> ten;
    for (int n = 1; n <= 10; ++n) {
        ten.push_back({static_cast<std::uint8_t>(n), 0x02, static_cast<std::uint8_t>(n)});
        bulk.insert(bulk.end(), {static_cast<std::uint8_t>(n), 0x02, static_cast<std::uint8_t>(n)});
    }
    bulk.insert(bulk.end(), {0x99, 0x99});

    const FrameCase cases[] = {
        {"firmware", frameGetFwVersion(), Bytes({0x01, 0x01, 0x01, 0x00})},
        {"status", frameGetStatus(), Bytes({0x02, 0x01, 0x01, 0x00})},
        {"config has length 0 yet four bytes", frameGetConfig(), Bytes({0x05, 0x01, 0x00, 0x00})},
        {"parameter read", frameReadParams(), read},
        {"single write of parameter 12 = 300", frameWriteParams({splitParam(12, 300)}),
         Bytes({0x07, 0x01, 0x05, 0x0C, 0x01, 0x2C, 0x99, 0x99})},
        {"bulk write of ten", frameWriteParams(ten), bulk},
        {"enter service mode", frameServiceMode(true), Bytes({0x08, 0x01, 0x01, 0x01})},
        {"leave service mode", frameServiceMode(false), Bytes({0x08, 0x01, 0x01, 0x00})},
        {"checksum", frameGetChecksum(), Bytes({0x0A, 0x01, 0x01, 0x00})},
        {"get client", frameGetClient(), Bytes({0x15, 0x01, 0x01, 0x00})},
        {"get asset", frameGetAsset(), Bytes({0x16, 0x01, 0x01, 0x00})},
        {"MAC", frameGetMac(), Bytes({0x18, 0x01, 0x01, 0x00})},
        {"clear screen", frameClearScreen(), Bytes({0xFF, 0x01, 0x01, 0x02})},
        {"typed A", frameTyped('A'), Bytes({0x41})},
        {"typed Enter", frameTyped(13), Bytes({0x0D, 0x0A})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
    EXPECT_EQ(frameReadParams().size(), 44u);
    EXPECT_EQ(bulk.size(), 35u);
}

TEST(Frames, RShiftLongIsALogicalShift) {
    const struct {
        std::int32_t value;
        std::int16_t shift;
        std::int32_t expected;
    } cases[] = {
        {0x1234, 8, 0x12},
        {-256, 8, 0x00FFFFFF},
        {-1, 1, 0x7FFFFFFF},
        {-1, 31, 1},
        {0x7FFF, 8, 0x7F},
        {300, 8, 1},
        {0, 8, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RShiftLong(c.value, c.shift), c.expected) << c.value << " >> " << c.shift;
}

TEST(Frames, SplitParamGivesHighAndLowByte) {
    const struct {
        int value;
        std::uint8_t high, low;
    } cases[] = {{650, 0x02, 0x8A}, {300, 0x01, 0x2C}, {0, 0, 0}, {32767, 0x7F, 0xFF}, {255, 0, 0xFF}};
    for (const auto& c : cases) {
        ParamWrite w = splitParam(1, c.value);
        EXPECT_EQ(w.high, c.high) << c.value;
        EXPECT_EQ(w.low, c.low) << c.value;
    }
}

}  // namespace
