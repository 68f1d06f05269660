// The conversions between raw values, file values and shown texts, and the
// numbers taken from outside text, which must give a defined result for any
// text.
#include <gtest/gtest.h>

#include "params/ParamValues.h"

using namespace kv::params;

namespace {

// A raw value as its row shows it and the file value it gives, and a file
// value as its row shows it and the raw value to write ("-": the box, or the
// value to write, is left alone); patterns round halves away from zero; any
// text gives a number, and a value to write (halves to even) when it is a
// number from 0 to 32767 (-1: none), and shows in any pattern; a code gives
// the parameter number's text, and the number when it is one from 0 to 255.
TEST(ParamValues, ShownByPermissionTypeAndDefinedForAnyText) {
    // Types "1" to "9" name PERMISSION_TYPE_n; any other text is taken as it is.
    auto type = [](const std::string& t) { return parsePermission(t.size() == 1 ? "PERMISSION_TYPE_" + t : t); };
    const struct { const char *value, *type, *expected; bool file = false; } shown[] = {
        {"650", "1", "25.0 250"}, {"651", "1", "25.1 251"}, {"650", "2", "25.0 250"}, {"400", "1", "0.0 0"},
        {"0", "1", "0.0 0"},  // the offset is taken off only above zero
        {"300", "2", "-10.0 -100"}, {"399", "1", "-0.1 -1"}, {"450", "3", "5 50"}, {"650", "3", "25 250"},
        {"655", "3", "26 255"}, {"345", "3", "-6 -55"},  // halves away from zero
        {"651", "3", "25 251"}, {"450", "4", "05 50"}, {"480", "4", "08 80"}, {"1120", "4", "72 720"},
        {"7", "5", "7 7"}, {"0", "5", "0 0"}, {"7.5", "5", "8 7.5"}, {"650", "", "- 650"},
        {"650", "permission_type_1", "- 650"}, {"abc", "1", "0.0 abc"},  // not a number counts as 0
        {"250", "1", "25.0 650", true}, {"250", "2", "25.0 650", true},
        {"0", "1", "0.0 400", true},  // here the offset is added whatever the value
        {"-100", "2", "-10.0 300", true}, {"50", "3", "5 450", true},  // as a read shows it: "5", not "05"
        {"50", "4", "05 450", true}, {"7", "5", "7 7", true}, {"25.5", "1", "2.6 425.5", true},
        {"250", "9", "- -", true},
    };
    for (const auto& c : shown) {
        const FileShown f = showFile(c.value, type(c.type), 400);
        const RawShown r = showRaw(c.value, type(c.type), 400);
        EXPECT_EQ(c.file ? f.text.value_or("-") + " " + f.raw.value_or("-") : r.text.value_or("-") + " " + r.fileValue,
                  c.expected)
            << c.value << " " << c.type << (c.file ? " file" : "");
    }
    const struct { double value; const char *pattern, *text; } patterns[] = {
        {2.5, "0", "3"}, {-2.5, "0", "-3"}, {2.55, "0.0", "2.6"}, {-2.55, "0.0", "-2.6"}, {0.04, "0.0", "0.0"},
        {-0.04, "0.0", "0.0"}, {5, "00", "05"}, {-5, "00", "-05"}, {123, "00", "123"}, {0, "0.0", "0.0"},
        {-0.0, "0", "0"}, {65.0, "0.0", "65.0"}, {1e40, "0", "10000000000000000303786028427003666890752"},
        {500000000, "0", "500000000"}, {50000000.0, "0.0", "50000000.0"}, {123456789012, "0", "123456789012"},
    };
    for (const auto& c : patterns) EXPECT_EQ(formatPattern(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
    const struct { const char* text; double number; std::int32_t written; } texts[] = {
        {"", 0, -1}, {"abc", 0, -1}, {"1e400", 0, -1}, {"0x10", 0, -1}, {"-0", 0, 0}, {" 7 ", 7, 7}, {"+7", 7, 7},
        {"7.", 7, 7}, {"32767", 32767, 32767}, {"1234567890123456789012345678901234567890", 1.2345678901234568e39, -1},
        {"32768", 32768, -1}, {"-1", -1, -1}, {"2.5", 2.5, 2}, {"3.5", 3.5, 4}, {"650.5", 650.5, 650},
        {"650.51", 650.51, 651}, {"32767.5", 32767.5, -1}, {"-0.4", -0.4, 0}, {"nan", 0, -1}, {"inf", 0, -1},
    };
    for (const auto& c : texts) {
        EXPECT_DOUBLE_EQ(numberOf(c.text), c.number) << c.text;
        EXPECT_EQ(valueToWrite(c.text).value_or(-1), c.written) << c.text;
        EXPECT_NE(showRaw(c.text, Permission::Type1, 400).text.value_or(""), "") << c.text;
        EXPECT_NE(showFile(c.text, Permission::Type4, 400).text.value_or(""), "") << c.text;
    }
    const struct { const char *code, *id; int number; } codes[] = {
        {"P001", "001", 1}, {"P7", "7", 7}, {"P123x", "123", 123}, {"P255", "255", 255}, {"P256", "256", -1},
        {"P", "", -1}, {"", "", -1}, {"Pabc", "abc", -1}, {"P 9 ", "9", 9}, {"P1234", "123", 123}, {"P-12", "-12", -1},
    };
    for (const auto& c : codes) {
        auto n = parameterNumber(codeToID(c.code));
        EXPECT_EQ(codeToID(c.code) + " " + std::to_string(n ? int(*n) : -1), c.id + (" " + std::to_string(c.number))) << c.code;
    }
}

}  // namespace
