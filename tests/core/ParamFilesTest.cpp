// The files the parameter table is made of and saved to: the definition file
// and the customer list read at start-up (and the customer chosen from it),
// Open and Save Param File, and the values outside their limits that a read
// or a file brings, on the real main window with a virtual controller.
// Messages are compared whole.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "dialogs/CustomerList.h"
#include "tests/support/BatchHelpers.h"
#include "tests/support/Scenario.h"

using namespace kv::test;
using namespace std::string_literals;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

// Puts `content` at `p`, or what it names: "<none>", "<folder>", "<pipe>", "<device>".
void put(const fs::path& p, const std::string& content) {
    fs::remove(p);
    if (content == "<folder>") fs::create_directories(p);
    else if (content == "<pipe>") ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
    else if (content == "<device>") fs::create_symlink("/dev/zero", p);
    else if (content != "<none>") writeFile(p, content);
}

// `text` with %p replaced by `p`, %h by `home`.
std::string at(std::string text, const fs::path& p, const fs::path& home = {}) {
    for (auto [mark, with] : {std::pair{"%p", p.string()}, {"%h", home.string()}})
        for (auto i = text.find(mark); i != std::string::npos; i = text.find(mark)) text.replace(i, 2, with);
    return text;
}

// The messages put up, each "title (icon): text" and a line end.
std::string said(Rig& rig) {
    const char* icons[] = {"", "Critical", "Question", "Exclamation", "Information"};
    std::string out;
    for (const auto& m : rig.messages.shown) out += m.title + " (" + icons[int(m.icon)] + "): " + m.text + "\n";
    return out;
}

// What Save Param File writes of the shipped table read from a factory
// controller whose SP holds 650: each row's label and file value.
const std::string kSaved =
    "SP,250\r\nDIF,20\r\nHSE,300\r\nLSE,-300\r\nOF1,0\r\nOF2,0\r\nOF3,0\r\nODS,10\r\nAC,30\r\nCON,150\r\n"
    "COF,300\r\nIDF,80\r\nMDF,300\r\nDTE,80\r\nDFD,1\r\nDAD,300\r\nFDT,20\r\nTDF,0\r\nDPO,0\r\nFNC,1\r\n"
    "FSU,100\r\nFND,50\r\nALU,100\r\nALL,100\r\nAFH,20\r\nALD,150\r\nDAO,20\r\nDOD,2\r\nDOA,50\r\nLIT,1\r\n"
    "O4M,0\r\nHTS,-20\r\nHDF,10\r\nP2P,1\r\nP3P,1\r\nCF,0\r\nRES,1\r\nADR,1\r\nPTB,53\r\n";

// At start-up the definition file (defs, beside the program) is loaded up to
// the first line that cannot be used; the customer list is looked for in a
// folder set for it (lists), else the user's data (data), then beside the
// program (program), then where the program is installed (share): a case
// with a list starts without the one beside the program. What cannot be read is said
// once (%p: the file, %h: the home folder); the controller is identified all
// the same. Items "*": the list is not looked at.
TEST(FilesAtStartUp, TheDefinitionsAndTheCustomerListAreReadOrWhyNotIsSaidAndTheCustomerIsSelected) {
    const std::string good3 = definitionLines(3), type5 = ",u,PERMISSION_TYPE_5,A\r\n";
    const std::string notRegular = "it is not a regular file (a pipe, a device or a socket)";
    const std::string none = ".\nNo parameters are shown and none can be written.\n";
    const std::string cannot = "KV53_Varkel_Comms (Critical): The parameter definition file %p (nor "
                               "%h/share/KV5x_Params.txt) cannot be read: ";
    const std::string list = "Error (Critical): The customer list %p cannot be read: ";
    auto line = [](int n, const std::string& why, int loaded) {
        return "KV53_Varkel_Comms (Exclamation): The parameter definition file %p, line " + std::to_string(n) +
               ", cannot be used: " + why + ".\n" + std::to_string(loaded) +
               " parameters were loaded from the lines before it.\n";
    };
    auto noNumber = [&](const char* code) {
        return line(1, "the code \""s + code + "\" gives no parameter number from 0 to 255", 0);
    };
    using Files = std::vector<std::pair<std::string, std::string>>;  // where, content
    const std::string several = "C,N\r\n5,Acme\r\n12A,First\r\n12A,Second\r\n";
    const std::string three = "005 - Acme; 12A - First; 12A - Second";
    // Chosen: the client the controller holds, the entry then selected (by its place), and what choosing the
    // first entry writes (its first three characters). Fields: the first two rows' number text, number, value,
    // default, limits, type, label, caption and text.
    struct { const char* name; Files files; int rows; std::string says, items = "*", chosen{}, fields{}; } cases[] = {
        {"39 rows", {{"defs", definitionLines(39)}}, 39, ""},
        {"blanks around fields; a code's number from its second to fourth characters; fields past the ninth left",
         {{"defs", " P7 , unused , 12 , 34 , 5 , 60 , unused , PERMISSION_TYPE_3 , SP \r\n"
                   "P123x,x,1,2,0,9,x,PERMISSION_TYPE_5,LONGNAME,extra,fields\r\n"}}, 2, "", "*", "",
         "7 7 12 34 5 60 PERMISSION_TYPE_3 SP SP [] | 123 123 1 2 0 9 PERMISSION_TYPE_5 LONGNAME LONGNAME []"},
        {"60 lines load 49", {{"defs", definitionLines(60)}}, 49, line(50, "the window has boxes for 49 parameters only", 49)},
        {"a byte-order mark, LF, CR and CR LF line ends, blank lines at the end",
         {{"defs", "\xEF\xBB\xBFP001,a,1,1,0,9,u,PERMISSION_TYPE_5,A\nP002,a,1,1,0,9,u,X,B\rP003,a,1,1,0,9" + type5 +
                       "\n\r\n"}},
         3, ""},
        {"fewer than nine fields", {{"defs", good3 + "P004,a,1,1,0,9,u,PERMISSION_TYPE_5\r\n" + good3}}, 3,
         line(4, "it has 8 fields where 9 are needed", 3)},
        {"a blank line inside", {{"defs", good3 + "\r\n" + good3}}, 3, line(4, "it has 1 fields where 9 are needed", 3)},
        {"a code without a number", {{"defs", "PXY,a,1,1,0,9" + type5}}, 0, noNumber("PXY")},
        {"a number above 255", {{"defs", "P300,a,1,1,0,9" + type5}}, 0, noNumber("P300")},
        {"a limit that is not a number", {{"defs", good3 + "P004,a,1,1,0,lots" + type5}}, 3,
         line(4, "the upper limit \"lots\" is not a number", 3)},
        {"1e400 as a default", {{"defs", "P001,a,1,1e400,0,9" + type5}}, 0, line(1, "the default \"1e400\" is not a number", 0)},
        {"limits the wrong way round", {{"defs", "P001,a,1,1,6,5" + type5}}, 0, line(1, "the lower limit is above the upper limit", 0)},
        {"no definitions", {{"defs", ""}}, 0, "KV53_Varkel_Comms (Critical): The parameter definition file %p is empty" + none},
        {"no definition file", {{"defs", "<none>"}}, 0, cannot + "No such file or directory" + none},
        {"a pipe for the definitions", {{"defs", "<pipe>"}}, 0, cannot + notRegular + none},
        {"a device for the definitions", {{"defs", "<device>"}}, 0, cannot + notRegular + none},
        {"definitions larger than 64 KiB", {{"defs", std::string(65537, ' ')}}, 0,
         cannot + "it holds 65537 bytes, more than such a file can (at most 64 KiB)" + none},
        {"the shipped customer list", {{"program", readFile(fs::path(KV_SOURCE_DIR) / "data" / "varktcstlst.txt")}}, 39, "",
         "001 - Northwind Cold Chain; 005 - Acme Refrigeration Ltd; 012 - Polar Foods, Inc.; "
         "027 - Harbour Dairy Co-op; 104 - Glacier Ice Cream; 230 - Summit Beverages",
         "005: 1 005 - Acme Refrigeration Ltd > 001"},
        {"12A", {{"program", several}}, 39, "", three, "12A: 1 12A - First > 005"},
        {"005", {{"program", several}}, 39, "", three, "005: 0 005 - Acme > 005"},
        {"<00", {{"program", several}}, 39, "", three, "<00: -1  > 005"},
        {"999", {{"program", several}}, 39, "", three, "999: -1  > 005"},
        // Codes of digits are shown as numbers: leading zeros beyond three go.
        {"0005", {{"program", "C,N\r\n0005,Acme"}}, 39, "", "005 - Acme", "005: 0 005 - Acme > 005"},
        {"00012", {{"program", "C,N\r\n00012,Acme"}}, 39, "", "012 - Acme", "012: 0 012 - Acme > 012"},
        {"01234", {{"program", "C,N\r\n01234,Acme"}}, 39, "", "1234 - Acme", "123: 0 1234 - Acme > 123"},
        {"AB", {{"program", "C,N\r\nAB,Letters"}}, 39, "", "AB - Letters", "<00: -1  > AB "},
        {"a comma in quotes", {{"program", "C,N\r\n12,\"Polar Foods, Inc.\""}}, 39, "", "012 - Polar Foods, Inc.",
         "012: 0 012 - Polar Foods, Inc. > 012"},
        {"the user's list first", {{"data", "C,N\r\n1,User"}, {"program", "C,N\r\n2,Prog"}, {"share", "C,N\r\n3,Inst"}},
         39, "", "001 - User"},
        {"then the one beside the program", {{"program", "C,N\r\n2,Prog"}, {"share", "C,N\r\n3,Inst"}}, 39, "", "002 - Prog"},
        {"then the installed one", {{"share", "C,N\r\n3,Inst"}}, 39, "", "003 - Inst"},
        {"a folder set for it before all", {{"lists", "C,N\r\n9,Set"}, {"data", "C,N\r\n1,User"}}, 39, "", "009 - Set"},
        {"no customer list", {}, 39, "Error (Critical): CustomerList.csv file does not exist.\n", ""},
        {"a folder for the list", {{"program", "<folder>"}}, 39, list + "it is a folder, not a file\n", ""},
        {"a pipe for the list", {{"program", "<pipe>"}}, 39, list + notRegular + "\n", ""},
        {"a device for the list", {{"program", "<device>"}}, 39, list + notRegular + "\n", ""},
        {"a list larger than 1 MiB", {{"program", std::string(1024 * 1024 + 1, ' ')}}, 39,
         list + "it holds 1048577 bytes, more than such a file can (at most 1 MiB)\n", ""},
        {"list lines that cannot be read",
         {{"program", "C,N\r\n12,\"Polar, Inc.\r\n5,Acme\r\n7,\0\0\r\n12,Polar, Inc.\r\n6,Bravo\r\n"s}}, 39,
         "Error (Exclamation): The customer list %p has lines that cannot be read; their customers are not in the "
         "list:\nline 2 (a quote is not closed)\nline 4 (it holds a control character)\nline 5 (3 fields where 2 are "
         "needed; a name with a comma goes in double quotes)\n",
         "005 - Acme; 006 - Bravo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (!c.chosen.empty()) rig.controller.state.client = c.chosen.substr(0, c.chosen.find(':'));
        rig.folders.installedPath = (rig.home.path() / "share").string();
        if (c.items != "*") fs::remove(rig.home.path() / "program" / "varktcstlst.txt");
        fs::path p;  // the file put last
        for (const auto& [where, content] : c.files) {
            p = rig.home.path() / (where == "defs" ? "program/KV5x_Params.txt" : where + "/varktcstlst.txt");
            fs::create_directories(p.parent_path());
            if (where == "lists") rig.main->customers.sListFolder = p.parent_path().string();
            put(p, content);
        }
        rig.load();  // a file that held the window's thread would hold the test here
        auto& list = rig.main->customers.cboCLientList;
        std::string items;
        for (const auto& i : list.items()) items += (items.empty() ? "" : "; ") + i;
        EXPECT_EQ(std::to_string(rig.main->params.iParamCount) + " " + (c.items == "*" ? "*" : items),
                  std::to_string(c.rows) + " " + c.items);
        for (int k = 0; k < 49; ++k) EXPECT_EQ(rig.main->params.txtParam(k).visible(), k < c.rows) << k;
        EXPECT_EQ(said(rig), at(c.says, p, rig.home.path()));
        std::string fields;  // before any read: no text
        for (int k = 0; k < 2 && !c.fields.empty(); ++k) {
            const auto& r = rig.main->params.row(k);
            fields += (k ? " | " : "") + r.sParamID + " " + std::to_string(r.number.value_or(0)) + " " + r.sParamValue +
                      " " + r.sParamDefault + " " + r.sParamMin + " " + r.sParamMax + " " + r.sParamPermission + " " +
                      r.sParamLabel + " " + rig.main->params.lblParam(k).caption() + " [" +
                      rig.main->params.txtParam(k).text() + "]";
        }
        EXPECT_EQ(fields, c.fields);
        // Once identified, the controller's customer is selected: only the shown text changes.
        play(rig, {{"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}, {"txtSetClient", ""}}}});
        if (c.chosen.empty()) continue;
        const std::string sel = std::to_string(list.listIndex()) + " " + list.text();
        play(rig, {{"choose cboCLientList 0", "*", {{"cboCLientList", list.items()[0]}}}});
        EXPECT_EQ(sel + " > " + rig.main->identityWrite.txtSetClient.text(), c.chosen.substr(c.chosen.find(':') + 2));
    }
}

// Values read outside their limits: the table shows, and will write, the
// limit; one message names them all and stops nothing; the next read's
// message takes its place. FIX: P001 defined with the limits given, the
// others 0 to 32767; else the shipped file, with every way of showing a
// value (all five types) among its rows.
TEST(Limits, ValuesReadOutsideTheirLimitsAreHeldAtThemAndNamedInOneMessage) {
    const std::string rest = definitionLines(39, 0, 32767).substr(definitionLines(1, 0, 32767).size());
    const std::string tail = " outside the limits of the parameter definitions. The table shows the limit, which is "
                             "what gets written:\n";
    const struct {
        const char* name;
        std::pair<const char*, const char*> limits;  // of FIX; none: the shipped file
        std::map<int, std::uint16_t> holds;          // row: raw value the controller holds; row -1: every row
        std::string lines;                           // the message's lines ("" none)
        std::map<int, std::string> shown;            // row: its text and value to write
    } cases[] = {
        {"none", {}, {}, "", {{0, "4.0 440"}, {1, "2.0 420"}, {4, "0.0 400"}, {7, "1 410"}, {11, "08 480"}, {14, "1 1"}, {38, "53 53"}}},
        {"one above", {}, {{0, 900}}, "SP 50.0 (at most 30.0)", {{0, "30.0 700"}}},
        {"one below", {}, {{7, 300}}, "ODS -10 (at least 0)", {{7, "0 400"}}},
        {"four", {}, {{0, 900}, {7, 300}, {14, 5}, {38, 1000}},
         "SP 50.0 (at most 30.0)\nODS -10 (at least 0)\nDFD 5 (at most 2)\nPTB 1000 (at most 999)",
         {{14, "2 2"}, {38, "999 999"}}},
        {"every one: the first, 38 more", {}, {{-1, 65535}}, "SP 6513.5 (at most 30.0)", {{0, "30.0 700"}, {38, "999 999"}}},
        {"fixed at 5, holding 5", {"5", "5"}, {{0, 5}}, "", {{0, "5 5"}}},
        {"fixed at 5, holding 6", {"5", "5"}, {{0, 6}}, "FIX 6 (at most 5)", {{0, "5 5"}}},
        {"fixed at 5, holding 4", {"5", "5"}, {{0, 4}}, "FIX 4 (at least 5)", {{0, "5 5"}}},
        {"fixed at 0", {"0", "0"}, {{0, 0}}, "", {{0, "0 0"}}},
        {"4 to 5", {"4", "5"}, {{0, 5}}, "", {{0, "5 5"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.limits.first) useDefinitions(rig, definition(1, "5", c.limits.first, c.limits.second, "FIX") + rest);
        auto& held = rig.controller.state.params;
        for (auto [row, v] : c.holds) std::fill(held.begin() + std::max(row, 0), row < 0 ? held.end() : held.begin() + row + 1, v);
        rig.identify();  // nobody touches the message
        auto& t = rig.main->params;
        const bool all = c.holds.count(-1);
        const bool some = all || c.lines.find('\n') != std::string::npos;
        const std::string says =
            c.lines.empty() ? "" : "The controller holds " + std::string(some ? "values" : "a value") + tail + c.lines;
        for (std::size_t read = 1; read <= 2; ++read) {  // the second read while the message is open
            SCOPED_TRACE(read);
            std::string open;
            for (const auto& b : rig.messages.open) open += b.message.text;
            // Every one: the first line, then 38 more.
            EXPECT_EQ(all ? open.substr(0, says.size() + 1) + std::to_string(std::count(open.begin(), open.end(), '\n')) : open,
                      all ? says + "\n39" : says);
            EXPECT_EQ(rig.messages.shown.size(), says.empty() ? 0 : read);
            for (auto [row, text] : c.shown) EXPECT_EQ(t.txtParam(row).text() + " " + t.row(row).sParamValue, text) << row;
            play(rig, {{"press cmdGetParams", "*",
                        {{"lblCurrentINFO", " CONNECTED..OK"}, {"lblMacAddress", " 0004A3B1C2D3"}}},
                       {"advance 500"}});
        }
    }
}

// Open and Save Param File. Each case: SP read as raw 650, good.csv saved,
// SP stepped UP to 651; then the item, with `path` answered in its dialog
// (inside the folder, or from the home folder when it starts with /; empty:
// cancelled) holding `content` first. Open takes a file whose lines name the
// rows in the table's order; Save writes each row's label and file value;
// the file is then selected, by name inside the folder, else by its whole
// path. Anything else is refused, with why (%p: the path), and changes
// nothing. Values: SP's to write and its file value, DIF's and HSE's to write.
TEST(ParamFiles, OpenAndSaveTakeWhatTheyCanAndSayWhyNot) {
    std::string allSP, allZZZ;
    for (int k = 0; k < 39; ++k) allSP += "SP,50\r\n", allZZZ += "ZZZ,50\r\n";
    const std::string unchanged = ".\nNo value was changed.", cannot = "The parameter file %p cannot be read: ";
    const std::string refused = "The parameter file %p cannot be used: line ", notSaved = "The parameter file %p was not saved: ";
    const std::string order = ". Its lines must name the parameters in the order of the table, as a saved file does" + unchanged;
    const std::string notRegular = cannot + "it is not a regular file (a pipe, a device or a socket)" + unchanged;
    struct Case {
        std::string name, content, says, values = "651 251 420 700";
        std::vector<std::pair<std::string, std::string>> holds = {};
        std::string path = "a.csv";
    };
    const std::vector<Case> opens = {
        {"the saved file", kSaved, "", "650 250 420 700", {{"txtParam(0)", "25.0"}, {"txtParam(11)", "08"}}},
        {"a line without a comma gives no value", "SP\r\nSP,10\r\n", "", "410 10 420 700", {{"txtParam(0)", "1.0"}}},
        {"a byte-order mark, blanks, LF, CR, CR LF", "\xEF\xBB\xBF SP , 12 \nDIF,2\rHSE,3\r\n", "", "412 12 402 403"},
        {"a file outside the folder", "SP,1\r\n", "", "401 1 420 700", {}, "/usb/a.csv"},
        {"values outside their limits", "SP,900\r\nDIF,-100\r\n",
         "The file %p holds values outside the limits of the parameter definitions. The table shows the limit, which "
         "is what gets written:\nSP 90.0 (at most 30.0)\nDIF -10.0 (at least 0.1)",
         "700 300 401 700", {{"txtParam(0)", "30.0"}}},
        {"lines in another order", "DIF,20\r\nSP,250\r\n", refused + "1 names \"DIF\" where row 1 is \"SP\"" + order},
        {"every line SP", allSP, refused + "2 names \"SP\" where row 2 is \"DIF\"" + order},
        {"names of another table", allZZZ, refused + "1 names \"ZZZ\" where row 1 is \"SP\"" + order},
        {"three fields: a value for two rows", "SP,25,30\r\n", refused + "1 names \"SP\" where row 2 is \"DIF\"" + order},
        {"a value with a fraction", "SP,250.5\r\n", refused + "1 holds \"250.5\", which is not a whole number" + unchanged},
        {"a value that is no number", "SP,1\r\nDIF,abc\r\n", refused + "2 holds \"abc\", which is not a number" + unchanged},
        {"no values", "", "The parameter file %p holds no parameter values" + unchanged},
        {"cancelled", "", "", "651 251 420 700", {}, ""},
        {"missing", "<none>", cannot + "No such file or directory" + unchanged},
        {"a folder", "<folder>", cannot + "it is a folder, not a file" + unchanged},
        {"a pipe", "<pipe>", notRegular},
        {"a device", "<device>", notRegular},
        {"larger than 64 KiB", "SP,1\r\n" + std::string(65531, ' '),
         cannot + "it holds 65537 bytes, more than such a file can (at most 64 KiB)" + unchanged},
    };
    const std::vector<Case> saves = {
        {"over a file", "OLD,1\r\n", ""},
        {"outside the folder", "<none>", "", "651 251 420 700", {}, "/usb/a.csv"},
        {"beside the folder, a name of its length", "<none>", "", "651 251 420 700", {}, "/Documents/a.csv"},
        {"onto a full disk", "OLD,1\r\n", notSaved + "File too large."},
        {"into no folder", "<none>", notSaved + "No such file or directory.", "651 251 420 700", {}, "no/a.csv"},
        {"cancelled", "", "", "651 251 420 700", {}, ""},
    };
    for (const auto& [item, cases] : {std::pair{"mOpnFile", &opens}, {"mSaveFile", &saves}}) {
        for (const auto& c : *cases) {
            SCOPED_TRACE(item + (" " + c.name));
            Rig rig;
            rig.controller.state.params[0] = 650;
            rig.identify();
            const fs::path folder = paramFolder(rig), good = folder / "good.csv";
            const fs::path p = c.path.empty() ? "" : c.path[0] == '/' ? rig.home.path() / c.path.substr(1) : folder / c.path;
            rig.fileDialog.answer = good.string();
            play(rig, {{"click mSaveFile", "*", {{"lblSelectedFilename", "good.csv"}}, ""}, {"click lblParam(0)"},
                       {"click imgKV53UP", "*", {{"txtParam(0)", "25.1"}}}});
            EXPECT_EQ(readFile(good), kSaved);
            fs::create_directories(rig.home.path() / "usb");
            if (!p.empty()) put(p, c.content);
            rig.fileDialog.answer = p.string();
            // The disk fills up: the write fails the same way.
            auto full = c.name == "onto a full disk" ? std::make_unique<FileSizeLimit>(64) : nullptr;
            rig.main->window.menu(item).click();
            full.reset();
            EXPECT_EQ(said(rig), c.says.empty() ? "" : "KV53_Varkel_Comms (Exclamation): " + at(c.says, p) + "\n");
            const bool taken = !p.empty() && (c.says.empty() || c.says.rfind("The file", 0) == 0);
            const fs::path selected = taken ? p : good;
            play(rig, {{"", "*", c.holds}});
            const fs::path shown = selected.parent_path() == folder ? selected.filename() : selected;
            EXPECT_EQ(seen(rig, "lblSelectedFilename"), shown.string());
            const auto& t = rig.main->params;
            EXPECT_EQ(t.row(0).sParamValue + " " + t.row(0).sParamFileValue + " " + t.row(1).sParamValue + " " + t.row(2).sParamValue,
                      c.values);
            EXPECT_EQ(rig.main->paramFiles.selectedPath(), selected);
            if (item == "mSaveFile"s) {
                const std::string before = c.content == "<none>" ? "" : c.content;
                EXPECT_EQ(fs::exists(p) ? readFile(p) : "", taken ? "SP,251" + kSaved.substr(6) : before);
            }
            EXPECT_FALSE(fs::exists(p.string() + ".saving"));
            const auto& d = rig.fileDialog.last;
            EXPECT_EQ(d.title + "|" + d.initialFolder + "|" + d.filter + "|" + d.defaultExtension,
                      "Select File|" + folder.string() + "|Param Files (*.csv)|*.csv|All files (*.*)|*.*|csv");
        }
    }
}

// Before the first read, and for rows no read reaches (past 39), a saved file
// holds each row's value from the definitions; opened, it can be written.
TEST(ParamFiles, WhatIsSavedBeforeReadingCanBeOpenedAndWritten) {
    Rig rig;
    useDefinitions(rig, definitionLines(45, 0, 900, "PERMISSION_TYPE_1"));
    rig.load();
    const fs::path p = paramFolder(rig) / "early.csv";
    rig.fileDialog.answer = p.string();
    play(rig, {{"click mSaveFile", "*", {}, "",  // raw 5 less the offset
                [&](Rig&) { EXPECT_EQ(readFile(p).rfind("M1,-395\r\nM2,-395\r\n", 0), 0u) << readFile(p); }},
               {"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}}},
               {"click mSaveFile", "*", {}, "", [&](Rig&) { EXPECT_NE(readFile(p).find("\r\nM45,-395\r\n"), std::string::npos); }},
               {"click mOpnFile", "*", {}, ""},
               {"press cdmSetParams", "08 01 01 01", {}, ""}});  // the service-mode request: the write goes ahead
}

// A read reply of `values` values 410, 420, ... then `endBytes` bytes of the list end.
Bytes readReply(int values, int endBytes) {
    Bytes payload;
    for (int v = 410; v < 410 + 10 * values; v += 10) payload.insert(payload.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
    payload.insert(payload.end(), std::size_t(endBytes), 0x99);
    return kv::link::requestFrame(0x06, payload);
}

// Every value a read reply or an opened file carries whole fills its row, up
// to the window's last box and the rows defined; the other rows are emptied;
// those past the definitions stay hidden and without a value. No reply: a
// file of `lines` lines M1,101 M2,102 ... is opened.
TEST(RowsFilled, FromAReadReplyOrASavedFileUpToTheLastRow) {
    const struct { const char* name; int defined; Bytes reply; int lines, filled; } cases[] = {
        {"39 values and the list end", 39, readReply(39, 2), 0, 39}, {"only the list end", 39, readReply(0, 2), 0, 0},
        {"39 values, no list end: the last pair is taken for it", 39, readReply(39, 0), 0, 38},
        {"39 values, the list end cut to one byte", 39, readReply(39, 1), 0, 39},
        {"10 values, the list end cut to one byte", 39, readReply(10, 1), 0, 10},
        {"39 rows, 60 values", 39, readReply(60, 2), 0, 39}, {"49 rows, 49 values", 49, readReply(49, 2), 0, 49},
        {"49 rows, 60 values", 49, readReply(60, 2), 0, 49}, {"39 rows, a file of 45 lines", 39, {}, 45, 39},
        {"20 rows, a file of 39 lines", 20, {}, 39, 20},     {"39 rows, a file of 40 lines", 39, {}, 40, 39},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        useDefinitions(rig, definitionLines(c.defined, 0, 32767));
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        auto& t = rig.main->params;
        t.txtParam(0).setText("old");
        std::string content;
        for (int i = 1; i <= c.lines; ++i) content += "M" + std::to_string(i) + "," + std::to_string(100 + i) + "\r\n";
        writeFile(paramFolder(rig) / "long.csv", content);
        rig.fileDialog.answer = (paramFolder(rig) / "long.csv").string();
        c.lines ? rig.main->paramFiles.mOpnFile.click() : rig.port.deliver(c.reply);
        for (int k = 0; k < 49; ++k) {
            const std::string v = k < c.filled ? std::to_string(c.lines ? 101 + k : 410 + 10 * k) : "";
            EXPECT_EQ(t.txtParam(k).text() + (t.txtParam(k).visible() ? "" : " hidden"), v + (k < c.defined ? "" : " hidden")) << k;
            EXPECT_EQ(k < c.filled || k >= c.defined ? t.row(k).sParamValue : v, v) << k;
        }
        EXPECT_EQ(said(rig), "");
    }
}

// The customer list as the file holds it: entries as [code|name], then the
// lines left out (more in FilesAtStartUp); codes shown with three digits.
TEST(CustomerList, ReadsFieldsAsTheFileHoldsThemAndNamesTheLinesLeftOut) {
    const std::string k1 = " (1 field where 2 are needed; a name with a comma goes in double quotes)";
    const struct { const char* name; std::string text, expected; } cases[] = {
        {"CR LF", "Code,Name\r\n7,Acme\r\n12,Polar Foods\r\n", "[7|Acme][12|Polar Foods]"},
        {"LF, CR, no end to the last line", "Code,Name\n7,Acme\r12,Polar Foods", "[7|Acme][12|Polar Foods]"},
        {"header only", "Code,Name\r\n", ""}, {"empty file", "", ""}, {"one header field", "Code", ""},
        {"blanks around fields, empty lines, an empty name", "C , N\r\n\r\n 5 ,  Acme Ltd  \r\n\r\n\r\n6,\r\n", "[5|Acme Ltd][6|]"},
        {"quoted name with a comma", "C,N\r\n5,\"Polar Foods, Inc.\"\r\n", "[5|Polar Foods, Inc.]"},
        {"doubled quote inside quotes", "C,N\r\n5,\"The \"\"Best\"\" Ice\"\r\n", "[5|The \"Best\" Ice]"},
        {"a code without a name, last", "C,N\r\n5,Acme\r\n6\r\n", "[5|Acme] line 3" + k1},
        {"a code without a name, first", "C,N\n12\n5,Acme\n", "[5|Acme] line 2" + k1},
        {"a quote inside a quoted name", "C,N\r\n12,\"Polar \"Foods\", Inc.\"\r\n5,Acme\r\n",
         "[5|Acme] line 2 (3 fields where 2 are needed; a name with a comma goes in double quotes)"},
        {"the first line is the header, whatever it holds", "C,\0\n5,Acme\n"s, "[5|Acme]"},
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
        {"7", "007"}, {"5", "005"}, {"12", "012"}, {"123", "123"}, {"1234", "1234"}, {"007", "007"}, {"0", "000"},
        {"AB", "AB"}, {"12A", "12A"}, {"", ""}, {"-5", "-005"}, {"7.6", "008"}, {"2.5", "003"}, {"1e3", "1e3"},
        {"123456789012345678901234", "123456789012345678901234"}};
    for (const auto& [code, shown] : codes) EXPECT_EQ(kv::dialogs::formatClientCode(code), shown) << code;
}

}  // namespace
