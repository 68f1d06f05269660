// The customer list: reading varktcstlst.txt and choosing a customer. Where
// it is looked for, and what is said when it cannot be read: FilesAtStartUp in
// ParamFilesTest.
#include <gtest/gtest.h>

#include "dialogs/CustomerList.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// Entries as [code|name], then the lines left out; codes shown with three digits.
TEST(CustomerList, ReadsFieldsAsTheFileHoldsThemAndNamesTheLinesLeftOut) {
    const std::string k1 = " (1 field where 2 are needed; a name with a comma goes in double quotes)";
    const std::string k3 = " (3 fields where 2 are needed; a name with a comma goes in double quotes)";
    const struct { const char* name; std::string text, expected; } cases[] = {
        {"CR LF", "Code,Name\r\n7,Acme\r\n12,Polar Foods\r\n", "[7|Acme][12|Polar Foods]"},
        {"LF, CR, no end to the last line", "Code,Name\n7,Acme\r12,Polar Foods", "[7|Acme][12|Polar Foods]"},
        {"header only", "Code,Name\r\n", ""}, {"empty file", "", ""}, {"one header field", "Code", ""},
        {"blanks around fields, empty lines, an empty name", "C , N\r\n\r\n 5 ,  Acme Ltd  \r\n\r\n\r\n6,\r\n", "[5|Acme Ltd][6|]"},
        {"quoted name with a comma", "C,N\r\n5,\"Polar Foods, Inc.\"\r\n", "[5|Polar Foods, Inc.]"},
        {"doubled quote inside quotes", "C,N\r\n5,\"The \"\"Best\"\" Ice\"\r\n", "[5|The \"Best\" Ice]"},
        {"an unquoted comma leaves its line out", "C,N\r\n5,Polar Foods, Inc.\r\n9,Next\r\n", "[9|Next] line 2" + k3},
        {"a code without a name, last", "C,N\r\n5,Acme\r\n6\r\n", "[5|Acme] line 3" + k1},
        {"a code without a name, first", "C,N\n12\n5,Acme\n", "[5|Acme] line 2" + k1},
        {"a quote inside a quoted name", "C,N\r\n12,\"Polar \"Foods\", Inc.\"\r\n5,Acme\r\n", "[5|Acme] line 2" + k3},
        {"the first line is the header, whatever it holds", "C,\0\n5,Acme\n"s, "[5|Acme]"},
        {"unterminated quote", "C,N\r\n12,\"Polar Foods, Inc.\r\n5,Acme\r\n6,Bravo\r\n",
         "[5|Acme][6|Bravo] line 2 (a quote is not closed)"},
        {"NUL in a name", "C,N\r\n7,\0\0\r\n5,Acme\r\n"s, "[5|Acme] line 2 (it holds a control character)"},
        {"latin-1 name", "C,N\r\n5,Caf\xE9 Gel\xE9\r\n", "[5|Caf\xE9 Gel\xE9]"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> skipped;
        std::string seen;
        for (const auto& e : kv::dialogs::parseCustomerList(c.text, &skipped)) seen += "[" + e.code + "|" + e.name + "]";
        for (const auto& l : skipped) seen += " " + l;
        EXPECT_EQ(seen, c.expected) << c.name;
    }
    const std::pair<const char*, const char*> codes[] = {
        {"7", "007"},   {"5", "005"}, {"12", "012"},   {"123", "123"}, {"1234", "1234"}, {"007", "007"}, {"0", "000"},
        {"AB", "AB"},   {"12A", "12A"}, {"", ""},      {"-5", "-005"}, {"7.6", "008"},   {"2.5", "003"}, {"1e3", "1e3"},
        {"123456789012345678901234", "123456789012345678901234"}};
    for (const auto& [code, shown] : codes) EXPECT_EQ(kv::dialogs::formatClientCode(code), shown) << code;
}

// Once identified, the controller's customer is selected (only the shown
// text changes); choosing the first entry writes its first three characters.
TEST(CustomerList, TheIdentifiedCustomerIsSelectedAndChoosingWritesThreeCharacters) {
    const std::string several = "5,Acme\r\n12A,First\r\n12A,Second\r\n";
    const struct {
        std::string records;               // after the header line; empty: the shipped sample
        const char *client, *selected;     // as the controller holds it; the entry then selected, by its place
        const char *first, *writes;        // the first entry; what choosing it writes
    } cases[] = {
        {"", "005", "1 005 - Acme Refrigeration Ltd", "001 - Northwind Cold Chain", "001"},
        {several, "12A", "1 12A - First", "005 - Acme", "005"}, {several, "005", "0 005 - Acme", "005 - Acme", "005"},
        {several, "<00", "-1 ", "005 - Acme", "005"},        {several, "999", "-1 ", "005 - Acme", "005"},
        // Codes of digits are shown as numbers: leading zeros beyond three go.
        {"0005,Acme", "005", "0 005 - Acme", "005 - Acme", "005"}, {"00012,Acme", "012", "0 012 - Acme", "012 - Acme", "012"},
        {"01234,Acme", "123", "0 1234 - Acme", "1234 - Acme", "123"}, {"AB,Letters", "<00", "-1 ", "AB - Letters", "AB "},
        {"12,\"Polar Foods, Inc.\"", "012", "0 012 - Polar Foods, Inc.", "012 - Polar Foods, Inc.", "012"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records + " " + c.client);
        Rig rig;
        if (!c.records.empty()) writeFile(fs::path(rig.folders.programPath) / "varktcstlst.txt", "Code,Name\r\n" + c.records);
        rig.controller.state.client = c.client;
        rig.identify();
        auto& list = rig.main->customers.cboCLientList;
        EXPECT_EQ(std::to_string(list.listIndex()) + " " + list.text(), c.selected);
        play(rig, {{"", "*", {{"txtSetClient", ""}}},
                   {"choose cboCLientList 0", "*", {{"cboCLientList", c.first}, {"txtSetClient", c.writes}}}});
    }
}

}  // namespace
