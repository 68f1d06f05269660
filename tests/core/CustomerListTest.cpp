// The customer list: reading varktcstlst.txt, where it is looked for, and
// choosing a customer.
#include <gtest/gtest.h>

#include "dialogs/CustomerList.h"
#include "tests/support/ParamHelpers.h"

using namespace kv::test;
using kv::dialogs::Customer;
namespace fs = std::filesystem;

namespace {

std::string entries(const std::vector<Customer>& list) {
    std::string s;
    for (const auto& c : list) s += "[" + c.code + "|" + c.name + "]";
    return s;
}

TEST(CustomerList, ReadsFieldsAsTheFileHoldsThem) {
    const struct {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"CR LF", "Code,Name\r\n7,Acme\r\n12,Polar Foods\r\n", "[7|Acme][12|Polar Foods]"},
        {"LF only", "Code,Name\n7,Acme\n12,Polar Foods", "[7|Acme][12|Polar Foods]"},
        {"header only", "Code,Name\r\n", ""},
        {"empty file", "", ""},
        {"one header field", "Code", ""},
        {"quoted name with a comma", "C,N\r\n5,\"Polar Foods, Inc.\"\r\n", "[5|Polar Foods, Inc.]"},
        {"doubled quote inside quotes", "C,N\r\n5,\"The \"\"Best\"\" Ice\"\r\n", "[5|The \"Best\" Ice]"},
        {"an unquoted comma leaves its line out", "C,N\r\n5,Polar Foods, Inc.\r\n9,Next\r\n", "[9|Next]"},
        {"incomplete last record", "C,N\r\n5,Acme\r\n6\r\n", "[5|Acme]"},
        {"blanks around fields", "C , N\r\n 5 ,  Acme Ltd  \r\n", "[5|Acme Ltd]"},
        {"empty lines skipped", "C,N\r\n\r\n5,Acme\r\n\r\n\r\n6,Bravo\r\n", "[5|Acme][6|Bravo]"},
        {"empty name", "C,N\r\n5,\r\n6,Bravo\r\n", "[5|][6|Bravo]"},
        {"a code without a name is left out", "C,N\n12\n5,Acme\n", "[5|Acme]"},
        {"a quote inside a quoted name", "C,N\r\n12,\"Polar \"Foods\", Inc.\"\r\n5,Acme\r\n", "[5|Acme]"},
        {"the first line is the header, whatever it holds", std::string("C,\0\n5,Acme\n", 11), "[5|Acme]"},
        // A line that cannot be read is left out; the lines after it stay.
        {"unterminated quote", "C,N\r\n12,\"Polar Foods, Inc.\r\n5,Acme\r\n6,Bravo\r\n", "[5|Acme][6|Bravo]"},
        {"NUL in a name", std::string("C,N\r\n7,\0\0\r\n5,Acme\r\n", 19), "[5|Acme]"},
        {"latin-1 name", "C,N\r\n5,Caf\xE9 Gel\xE9\r\n", "[5|Caf\xE9 Gel\xE9]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entries(kv::dialogs::parseCustomerList(c.text)), c.expected) << c.name;
}

TEST(CustomerList, CodesAreShownWithThreeDigits) {
    const struct {
        const char* code;
        const char* shown;
    } cases[] = {{"7", "007"},    {"5", "005"},       {"12", "012"},  {"123", "123"}, {"1234", "1234"},
                 {"007", "007"},  {"0", "000"},       {"AB", "AB"},   {"12A", "12A"}, {"", ""},
                 {"-5", "-005"},  {"7.6", "008"},     {"2.5", "003"}, {"1e3", "1e3"},
                 {"123456789012345678901234", "123456789012345678901234"}};
    for (const auto& c : cases) EXPECT_EQ(kv::dialogs::formatClientCode(c.code), c.shown) << c.code;
}

TEST(CustomerList, LoadsTheShippedSampleAndChoosingFillsTheClientBox) {
    Rig rig;
    rig.load();
    auto& list = rig.main->customers.cboCLientList;
    ASSERT_EQ(list.items().size(), 6u);
    EXPECT_EQ(list.items()[0], "001 - Northwind Cold Chain");
    EXPECT_EQ(list.items()[2], "012 - Polar Foods, Inc.");
    EXPECT_TRUE(rig.messages.shown.empty());
    // The virtual controller's client is in it, and selected once identified.
    rig.clock.advance(8000);
    EXPECT_EQ(list.text(), "005 - Acme Refrigeration Ltd");
    EXPECT_EQ(rig.main->identityWrite.txtSetClient.text(), "");
}

// The identified controller's customer is selected (only the shown text
// changes), and choosing an entry writes its first three characters.
TEST(CustomerList, TheIdentifiedCustomerIsSelectedAndChoosingWritesThreeCharacters) {
    const std::string several = "5,Acme\r\n12A,First\r\n12A,Second\r\n";
    const struct {
        std::string records;  // after the header line
        const char* client;   // as the controller holds it
        int selected;         // -1: none
        const char* entry;    // the first entry as shown
        const char* writes;   // choosing the first entry
    } cases[] = {
        {several, "12A", 1, "005 - Acme", "005"},
        {several, "005", 0, "005 - Acme", "005"},
        {several, "<00", -1, "005 - Acme", "005"},
        {several, "999", -1, "005 - Acme", "005"},
        // Codes of digits are shown as numbers: leading zeros beyond three go.
        {"0005,Acme", "005", 0, "005 - Acme", "005"},
        {"00012,Acme", "012", 0, "012 - Acme", "012"},
        {"01234,Acme", "123", 0, "1234 - Acme", "123"},
        {"AB,Letters", "<00", -1, "AB - Letters", "AB "},
        {"12,\"Polar Foods, Inc.\"", "012", 0, "012 - Polar Foods, Inc.", "012"},
    };
    for (const auto& c : cases) {
        Rig rig;
        writeFile(fs::path(rig.folders.programPath) / "varktcstlst.txt", "Code,Name\r\n" + c.records);
        rig.controller.state.client = c.client;
        rig.identify();
        auto& list = rig.main->customers.cboCLientList;
        ASSERT_FALSE(list.items().empty()) << c.records;
        EXPECT_EQ(list.listIndex(), c.selected) << c.records << " " << c.client;
        if (c.selected >= 0) {
            EXPECT_EQ(list.text(), list.items()[static_cast<std::size_t>(c.selected)]) << c.client;
        }
        EXPECT_EQ(rig.main->identityWrite.txtSetClient.text(), "") << c.client;
        EXPECT_EQ(list.items()[0], c.entry) << c.records;
        list.choose(0);
        EXPECT_EQ(rig.main->identityWrite.txtSetClient.text(), c.writes) << c.records;
    }
}

TEST(CustomerList, IsLookedForInTheUsersDataThenBesideTheProgramThenInstalled) {
    const struct {
        const char* name;
        bool user, program, installed;
        const char* first;  // the entry read, empty when none is found
    } cases[] = {
        {"user data first", true, true, true, "001 - User"},
        {"then beside the program", false, true, true, "002 - Program"},
        {"then installed", false, false, true, "003 - Installed"},
        {"nowhere", false, false, false, ""},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.folders.installedPath = (rig.home.path() / "share").string();
        fs::remove(fs::path(rig.folders.programPath) / "varktcstlst.txt");
        auto put = [](const std::string& folder, const char* line) {
            fs::create_directories(folder);
            kv::test::writeFile(fs::path(folder) / "varktcstlst.txt", std::string("C,N\r\n") + line + "\r\n");
        };
        if (c.user) put(rig.folders.userDataPath, "1,User");
        if (c.program) put(rig.folders.programPath, "2,Program");
        if (c.installed) put(rig.folders.installedPath, "3,Installed");
        rig.load();
        auto& list = rig.main->customers.cboCLientList;
        if (*c.first) {
            ASSERT_EQ(list.items().size(), 1u) << c.name;
            EXPECT_EQ(list.items()[0], c.first) << c.name;
            EXPECT_TRUE(rig.messages.shown.empty()) << c.name;
        } else {
            EXPECT_TRUE(list.items().empty());
            ASSERT_EQ(rig.messages.shown.size(), 1u);
            EXPECT_EQ(rig.messages.shown[0].text, "CustomerList.csv file does not exist.");
            EXPECT_EQ(rig.messages.shown[0].title, "Error");
            EXPECT_EQ(rig.messages.shown[0].icon, kv::platform::MsgIcon::Critical);
            // Start-up went on to the port dialog and the definitions.
            EXPECT_TRUE(rig.port.PortOpen());
            EXPECT_EQ(rig.main->params.iParamCount, 39);
        }
    }
}

TEST(CustomerList, AFolderSetForTheListComesFirst) {
    Rig rig;
    fs::path folder = rig.home.path() / "lists";
    fs::create_directories(folder);
    kv::test::writeFile(folder / "varktcstlst.txt", "C,N\r\n9,Chosen\r\n");
    rig.main->customers.sListFolder = folder.string();
    rig.load();
    ASSERT_EQ(rig.main->customers.cboCLientList.items().size(), 1u);
    EXPECT_EQ(rig.main->customers.cboCLientList.items()[0], "009 - Chosen");
}

TEST(CustomerList, AListThatCannotBeReadIsSaidOnceAndTheListStaysEmpty) {
    Rig rig;
    fs::path list = fs::path(rig.folders.programPath) / "varktcstlst.txt";
    fs::remove(list);
    fs::create_directories(list);  // a folder where the file should be
    rig.load();
    EXPECT_TRUE(rig.main->customers.cboCLientList.items().empty());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find(list.string()), std::string::npos) << rig.messages.shown[0].text;
    EXPECT_EQ(rig.messages.shown[0].title, "Error");
}

}  // namespace

namespace {

TEST(CustomerList, LinesThatCannotBeReadAreNamedOnceAndTheRestStays) {
    Rig rig;
    writeFile(fs::path(rig.folders.programPath) / "varktcstlst.txt",
              std::string("Code,Name\r\n12,\"Polar Foods, Inc.\r\n5,Acme\r\n7,\0\0\r\n12,Polar Foods, Inc.\r\n6,Bravo\r\n", 79));
    rig.load();
    EXPECT_EQ(rig.main->customers.cboCLientList.items(),
              (std::vector<std::string>{"005 - Acme", "006 - Bravo"}));
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    const std::string& text = rig.messages.shown[0].text;
    EXPECT_NE(text.find("varktcstlst.txt has lines that cannot be read"), std::string::npos) << text;
    EXPECT_NE(text.find("line 2 (a quote is not closed)\nline 4 (it holds a control character)\n"
                        "line 5 (3 fields where 2 are needed; a name with a comma goes in double quotes)"),
              std::string::npos)
        << text;
}

}  // namespace
