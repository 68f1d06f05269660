// The conversions between raw values, file values and shown texts, and the
// numbers taken from outside text, which must give a defined result for any
// text.
#include <gtest/gtest.h>

#include "params/ParamValues.h"

using namespace kv::params;

namespace {

TEST(ParamValues, RawValuesShowByPermissionType) {
    const struct {
        const char* raw;
        const char* type;
        const char* shown;  // nullptr: the box is left alone
        const char* file;
    } cases[] = {
        {"650", "PERMISSION_TYPE_1", "25.0", "250"},
        {"651", "PERMISSION_TYPE_1", "25.1", "251"},
        {"650", "PERMISSION_TYPE_2", "25.0", "250"},
        {"400", "PERMISSION_TYPE_1", "0.0", "0"},
        {"0", "PERMISSION_TYPE_1", "0.0", "0"},  // the offset is taken off only above zero
        {"300", "PERMISSION_TYPE_2", "-10.0", "-100"},
        {"399", "PERMISSION_TYPE_1", "-0.1", "-1"},
        {"450", "PERMISSION_TYPE_3", "5", "50"},
        {"650", "PERMISSION_TYPE_3", "25", "250"},
        {"655", "PERMISSION_TYPE_3", "26", "255"},  // 25.5: halves away from zero
        {"345", "PERMISSION_TYPE_3", "-6", "-55"},  // -5.5 likewise
        {"651", "PERMISSION_TYPE_3", "25", "251"},
        {"450", "PERMISSION_TYPE_4", "05", "50"},
        {"480", "PERMISSION_TYPE_4", "08", "80"},
        {"1120", "PERMISSION_TYPE_4", "72", "720"},
        {"7", "PERMISSION_TYPE_5", "7", "7"},
        {"0", "PERMISSION_TYPE_5", "0", "0"},
        {"7.5", "PERMISSION_TYPE_5", "8", "7.5"},
        {"650", "permission_type_1", nullptr, "650"},  // compared exactly
        {"650", "", nullptr, "650"},
        {"abc", "PERMISSION_TYPE_1", "0.0", "abc"},  // not a number counts as 0
    };
    for (const auto& c : cases) {
        RawShown s = showRaw(c.raw, parsePermission(c.type), 400);
        if (c.shown) {
            ASSERT_TRUE(s.text.has_value()) << c.raw << " " << c.type;
            EXPECT_EQ(*s.text, c.shown) << c.raw << " " << c.type;
        } else {
            EXPECT_FALSE(s.text.has_value()) << c.raw << " " << c.type;
        }
        EXPECT_EQ(s.fileValue, c.file) << c.raw << " " << c.type;
    }
}

TEST(ParamValues, FileValuesShowByPermissionTypeAndGiveTheRawValue) {
    const struct {
        const char* file;
        const char* type;
        const char* shown;
        const char* raw;  // nullptr: the value to write is left alone
    } cases[] = {
        {"250", "PERMISSION_TYPE_1", "25.0", "650"},
        {"250", "PERMISSION_TYPE_2", "25.0", "650"},
        {"0", "PERMISSION_TYPE_1", "0.0", "400"},  // here the offset is added whatever the value
        {"-100", "PERMISSION_TYPE_2", "-10.0", "300"},
        {"50", "PERMISSION_TYPE_3", "5", "450"},  // as a read shows it: "0", not "05"
        {"50", "PERMISSION_TYPE_4", "05", "450"},
        {"7", "PERMISSION_TYPE_5", "7", "7"},
        {"25.5", "PERMISSION_TYPE_1", "2.6", "425.5"},
        {"250", "PERMISSION_TYPE_9", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        FileShown s = showFile(c.file, parsePermission(c.type), 400);
        if (c.shown) EXPECT_EQ(s.text.value_or("(none)"), c.shown) << c.file << " " << c.type;
        else EXPECT_FALSE(s.text.has_value());
        if (c.raw) EXPECT_EQ(s.raw.value_or("(none)"), c.raw) << c.file << " " << c.type;
        else EXPECT_FALSE(s.raw.has_value());
    }
}

TEST(ParamValues, PatternsRoundHalvesAwayFromZero) {
    const struct {
        double value;
        const char* pattern;
        const char* text;
    } cases[] = {
        {2.5, "0", "3"},     {-2.5, "0", "-3"},    {2.55, "0.0", "2.6"}, {-2.55, "0.0", "-2.6"},
        {0.04, "0.0", "0.0"}, {-0.04, "0.0", "0.0"}, {5, "00", "05"},     {-5, "00", "-05"},
        {123, "00", "123"},  {0, "0.0", "0.0"},    {-0.0, "0", "0"},     {65.0, "0.0", "65.0"},
        {1e40, "0", "10000000000000000303786028427003666890752"},
        {500000000, "0", "500000000"}, {50000000.0, "0.0", "50000000.0"}, {123456789012, "0", "123456789012"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatPattern(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
}

TEST(ParamValues, AnyOutsideTextGivesADefinedNumber) {
    const struct {
        const char* text;
        double number;
        bool writable;
        std::int32_t written;
    } cases[] = {
        {"", 0, false, 0},
        {"abc", 0, false, 0},
        {"1e400", 0, false, 0},
        {"0x10", 0, false, 0},
        {"-0", 0, true, 0},
        {" 7 ", 7, true, 7},
        {"+7", 7, true, 7},
        {"7.", 7, true, 7},
        {"1234567890123456789012345678901234567890", 1.2345678901234568e39, false, 0},
        {"32767", 32767, true, 32767},
        {"32768", 32768, false, 0},
        {"-1", -1, false, 0},
        {"2.5", 2.5, true, 2},      // halves to even
        {"3.5", 3.5, true, 4},
        {"650.5", 650.5, true, 650},
        {"650.51", 650.51, true, 651},
        {"32767.5", 32767.5, false, 0},
        {"-0.4", -0.4, true, 0},
        {"nan", 0, false, 0},
        {"inf", 0, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(numberOf(c.text), c.number) << c.text;
        auto w = valueToWrite(c.text);
        EXPECT_EQ(w.has_value(), c.writable) << c.text;
        if (w) {
            EXPECT_EQ(*w, c.written) << c.text;
        }
        // Shown in any pattern without undefined behaviour.
        EXPECT_FALSE(showRaw(c.text, Permission::Type1, 400).text.value_or("").empty()) << c.text;
        EXPECT_FALSE(showFile(c.text, Permission::Type4, 400).text.value_or("").empty()) << c.text;
    }
}

TEST(ParamValues, ParameterNumbersComeFromTheCode) {
    const struct {
        const char* code;
        const char* id;
        int number;  // -1: none
    } cases[] = {
        {"P001", "001", 1}, {"P7", "7", 7},      {"P123x", "123", 123}, {"P255", "255", 255},
        {"P256", "256", -1}, {"P", "", -1},      {"", "", -1},          {"Pabc", "abc", -1},
        {"P 9 ", "9", 9},   {"P1234", "123", 123}, {"P-12", "-12", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codeToID(c.code), c.id) << c.code;
        auto n = parameterNumber(codeToID(c.code));
        EXPECT_EQ(n ? int(*n) : -1, c.number) << c.code;
    }
}

}  // namespace
