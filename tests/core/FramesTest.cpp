// Request frames byte for byte, and the value split of parameter writes.
#include <gtest/gtest.h>

#include "link/Frames.h"

using namespace kv::link;

namespace {

Bytes hex(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

struct FrameCase {
    const char* name;
    Bytes actual;
    Bytes expected;
};

TEST(Frames, EveryRequestIsByteExact) {
    Bytes read = hex({0x06, 0x01, 0x29});
    for (int n = 1; n <= 39; ++n) read.push_back(static_cast<std::uint8_t>(n));
    read.push_back(0x99);
    read.push_back(0x99);

    Bytes bulk = hex({0x07, 0x01, 0x20});
    std::vector<ParamWrite> ten;
    for (int n = 1; n <= 10; ++n) {
        ten.push_back({static_cast<std::uint8_t>(n), 0x02, static_cast<std::uint8_t>(n)});
        bulk.insert(bulk.end(), {static_cast<std::uint8_t>(n), 0x02, static_cast<std::uint8_t>(n)});
    }
    bulk.insert(bulk.end(), {0x99, 0x99});

    const FrameCase cases[] = {
        {"firmware", frameGetFwVersion(), hex({0x01, 0x01, 0x01, 0x00})},
        {"status", frameGetStatus(), hex({0x02, 0x01, 0x01, 0x00})},
        {"config has length 0 yet four bytes", frameGetConfig(), hex({0x05, 0x01, 0x00, 0x00})},
        {"parameter read", frameReadParams(), read},
        {"single write of parameter 12 = 300", frameWriteParams({splitParam(12, 300)}),
         hex({0x07, 0x01, 0x05, 0x0C, 0x01, 0x2C, 0x99, 0x99})},
        {"bulk write of ten", frameWriteParams(ten), bulk},
        {"enter service mode", frameServiceMode(true), hex({0x08, 0x01, 0x01, 0x01})},
        {"leave service mode", frameServiceMode(false), hex({0x08, 0x01, 0x01, 0x00})},
        {"checksum", frameGetChecksum(), hex({0x0A, 0x01, 0x01, 0x00})},
        {"get client", frameGetClient(), hex({0x15, 0x01, 0x01, 0x00})},
        {"set client 005", frameSetClient("005"), hex({0x15, 0x01, 0x04, 0x01, 0x30, 0x30, 0x35})},
        {"set client takes three characters", frameSetClient("ABCD"), hex({0x15, 0x01, 0x04, 0x01, 0x41, 0x42, 0x43})},
        {"get asset", frameGetAsset(), hex({0x16, 0x01, 0x01, 0x00})},
        {"set asset AB12", frameSetAsset("AB12"), hex({0x16, 0x01, 0x05, 0x01, 0x41, 0x42, 0x31, 0x32})},
        {"set asset keeps a leading space", frameSetAsset(" 123"), hex({0x16, 0x01, 0x05, 0x01, 0x20, 0x31, 0x32, 0x33})},
        {"MAC", frameGetMac(), hex({0x18, 0x01, 0x01, 0x00})},
        {"clear screen", frameClearScreen(), hex({0xFF, 0x01, 0x01, 0x02})},
        {"typed A", frameTyped('A'), hex({0x41})},
        {"typed Enter", frameTyped(13), hex({0x0D, 0x0A})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
    EXPECT_EQ(frameReadParams().size(), 44u);
    EXPECT_EQ(bulk.size(), 35u);
}

TEST(Frames, LongAssetSendsItsFirstFifteenCharacters) {
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
    Bytes f = frameSetAsset(twenty);
    ASSERT_EQ(f.size(), 4u + 15u);
    EXPECT_EQ(f[2], 0x10);
    EXPECT_EQ(f.back(), 'O');
    EXPECT_EQ(frameSetAsset(twenty.substr(0, 15)), frameSetAsset(twenty.substr(0, 16)));
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
