// The definition file, the saved parameter files and the reading of values
// from the controller, on the real main window with a virtual controller.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <sstream>

#include "tests/support/BatchHelpers.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

// A read reply carrying `values` values 410, 420, ... then `endBytes` bytes
// of the list end 99.
Bytes readReply(int values, int endBytes) {
    Bytes payload;
    for (int i = 0; i < values; ++i) {
        int v = 400 + 10 * (i + 1);
        payload.push_back(static_cast<std::uint8_t>(v >> 8));
        payload.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    for (int i = 0; i < endBytes; ++i) payload.push_back(0x99);
    return kv::link::requestFrame(0x06, payload);
}

bool mentions(const Rig& rig, const std::string& text) {
    for (const auto& m : rig.messages.shown)
        if (m.text.find(text) != std::string::npos) return true;
    return false;
}

TEST(Definitions, LoadingStopsAtTheFirstFaultAndSaysWhere) {
    std::string good3 = definitionLines(3);
    const struct {
        const char* name;
        std::string content;
        int rows;
        std::vector<std::string> message;  // parts of the one message; empty: no message
    } cases[] = {
        {"39 rows", definitionLines(39), 39, {}},
        {"60 lines load 49", definitionLines(60), 49, {"KV5x_Params.txt, line 50", "49 parameters were loaded"}},
        {"LF line ends and blank lines at the end", "P001,a,1,1,0,9,u,PERMISSION_TYPE_5,A\nP002,a,1,1,0,9,u,X,B\n\n\n",
         2, {}},
        {"fewer than nine fields", good3 + "P004,a,1,1,0,9,u,PERMISSION_TYPE_5\r\n" + good3, 3,
         {"line 4", "8 fields where 9 are needed", "3 parameters were loaded"}},
        {"a blank line inside", good3 + "\r\n" + good3, 3, {"line 4"}},
        {"empty file", "", 0, {"is empty"}},
        {"a code without a number", "PXY,a,1,1,0,9,u,PERMISSION_TYPE_5,A\r\n", 0, {"line 1", "\"PXY\""}},
        {"a parameter number above 255", "P300,a,1,1,0,9,u,PERMISSION_TYPE_5,A\r\n", 0, {"line 1"}},
        {"a limit that is not a number", good3 + "P004,a,1,1,0,lots,u,PERMISSION_TYPE_5,D\r\n", 3,
         {"line 4", "upper limit \"lots\""}},
        {"1e400 as a default", "P001,a,1,1e400,0,9,u,PERMISSION_TYPE_5,A\r\n", 0, {"default \"1e400\""}},
        {"limits the wrong way round", "P001,a,1,1,9,0,u,PERMISSION_TYPE_5,A\r\n", 0, {"lower limit is above"}},
        {"CR only line ends", "P001,a,1,1,0,9,u,PERMISSION_TYPE_5,A\rP002,a,1,1,0,9,u,PERMISSION_TYPE_5,B\r", 2, {}},
        {"a byte-order mark first", "\xEF\xBB\xBF" + definitionLines(3), 3, {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        useDefinitions(rig, c.content);
        rig.load();
        auto& t = rig.main->params;
        EXPECT_EQ(t.iParamCount, c.rows) << c.name;
        for (int k = 0; k < 49; ++k) EXPECT_EQ(t.txtParam(k).visible(), k < c.rows) << c.name << " row " << k;
        if (c.message.empty()) {
            EXPECT_TRUE(rig.messages.shown.empty()) << c.name << ": " << rig.messages.shown.front().text;
        } else {
            ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
            for (const auto& part : c.message) EXPECT_TRUE(mentions(rig, part)) << c.name << ": " << part << " in "
                                                                              << rig.messages.shown[0].text;
            EXPECT_EQ(rig.messages.shown[0].title, "KV53_Varkel_Comms");
        }
    }
}

TEST(Definitions, FieldsGoWhereTheyBelong) {
    Rig rig;
    useDefinitions(rig, " P7 , unused , 12 , 34 , 5 , 60 , unused , PERMISSION_TYPE_3 , SP \r\n"
                        "P123x,x,1,2,0,9,x,PERMISSION_TYPE_5,LONGNAME,extra,fields\r\n");
    rig.load();
    const auto& r = rig.main->params.row(0);
    EXPECT_EQ(r.sParamID, "7");
    EXPECT_EQ(r.number.value_or(0), 7);
    EXPECT_EQ(r.sParamValue, "12");
    EXPECT_EQ(r.sParamDefault, "34");
    EXPECT_EQ(r.sParamMin, "5");
    EXPECT_EQ(r.sParamMax, "60");
    EXPECT_EQ(r.sParamPermission, "PERMISSION_TYPE_3");
    EXPECT_EQ(r.sParamLabel, "SP");
    EXPECT_EQ(rig.main->params.lblParam(0).caption(), "SP");
    EXPECT_EQ(rig.main->params.txtParam(0).text(), "");  // until a value is read or opened
    EXPECT_EQ(rig.main->params.row(1).number.value_or(0), 123);
    EXPECT_EQ(rig.main->params.lblParam(1).caption(), "LONGNAME");
}

TEST(Definitions, AMissingFileIsReportedWithWhereItWasLookedFor) {
    Rig rig;
    fs::remove(fs::path(rig.folders.programPath) / "KV5x_Params.txt");
    rig.load();
    EXPECT_EQ(rig.main->params.iParamCount, 0);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_TRUE(mentions(rig, rig.folders.programPath + "/KV5x_Params.txt"));
    EXPECT_TRUE(mentions(rig, "cannot be read"));
    EXPECT_EQ(rig.messages.shown[0].icon, kv::platform::MsgIcon::Critical);
    // The program runs on: the controller is identified all the same.
    rig.clock.advance(8000);
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK");
}

TEST(Definitions, TheShippedFileFitsTheControllersFactoryValues) {
    Rig rig;
    rig.identify();
    auto& t = rig.main->params;
    ASSERT_EQ(t.iParamCount, 39);
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.shown.front().text;
    std::set<kv::params::Permission> types;
    for (int k = 0; k < 39; ++k) {
        const auto& r = t.row(k);
        EXPECT_EQ(r.number.value_or(0), k + 1) << k;
        EXPECT_EQ(r.sParamValue, std::to_string(kv::sim::kFactoryParams[static_cast<std::size_t>(k)])) << k;
        EXPECT_FALSE(t.txtParam(k).text().empty()) << k;
        types.insert(r.permission);
    }
    EXPECT_EQ(types.size(), 5u);  // every way of showing a value is on screen
    const struct {
        int row;
        const char* shown;
    } shown[] = {{0, "4.0"}, {1, "2.0"}, {4, "0.0"}, {7, "1"}, {11, "08"}, {14, "1"}, {38, "53"}};
    for (const auto& s : shown) EXPECT_EQ(t.txtParam(s.row).text(), s.shown) << s.row;
}

// The lines of the one message about values outside their limits, or none.
std::vector<std::string> limitLines(const Rig& rig) {
    std::vector<std::string> lines;
    if (rig.messages.open.empty()) return lines;
    std::istringstream text(rig.messages.open.back().message.text);
    std::string line;
    std::getline(text, line);  // what holds them
    while (std::getline(text, line)) lines.push_back(line);
    return lines;
}

TEST(ReadParams, ValuesOutsideTheirLimitsAreNamedInOneMessageThatStopsNothing) {
    const struct {
        const char* name;
        std::map<int, std::uint16_t> holds;  // row: raw value the controller holds
        std::vector<std::string> lines;      // the message's rows; empty: no message
        std::map<int, std::string> shown;    // row: what its box shows then
    } cases[] = {
        {"none", {}, {}, {{0, "4.0"}}},
        {"one above", {{0, 900}}, {"SP 50.0 (at most 30.0)"}, {{0, "30.0"}}},
        {"one below", {{7, 300}}, {"ODS -10 (at least 0)"}, {{7, "0"}}},
        {"four",
         {{0, 900}, {7, 300}, {14, 5}, {38, 1000}},
         {"SP 50.0 (at most 30.0)", "ODS -10 (at least 0)", "DFD 5 (at most 2)", "PTB 1000 (at most 999)"},
         {{14, "2"}, {38, "999"}}},
    };
    for (const auto& c : cases) {
        Rig rig;
        for (auto [row, v] : c.holds) rig.controller.state.params[std::size_t(row)] = v;
        rig.identify();  // nobody touches the message
        EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK") << c.name;
        EXPECT_EQ(rig.main->identity.lblMacAddress.caption(), " " + rig.controller.state.mac) << c.name;
        EXPECT_EQ(rig.messages.shown.size(), c.lines.empty() ? 0u : 1u) << c.name;
        EXPECT_EQ(limitLines(rig), c.lines) << c.name;
        for (auto [row, text] : c.shown) EXPECT_EQ(rig.main->params.txtParam(row).text(), text) << c.name;
        // A second read while the message is open says it again, in place of it.
        rig.main->paramRead.cmdGetParams.press();
        rig.clock.advance(500);
        EXPECT_EQ(rig.messages.open.size(), c.lines.empty() ? 0u : 1u) << c.name;
        EXPECT_EQ(limitLines(rig), c.lines) << c.name;
    }
}

TEST(ReadParams, EveryRowOutsideItsLimitsStillEndsTheIdentificationWithOneMessage) {
    Rig rig;
    std::fill(rig.controller.state.params.begin(), rig.controller.state.params.end(), 65535);
    rig.identify();
    EXPECT_EQ(rig.main->progress.lblCurrentINFO.caption(), " CONNECTED..OK");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(limitLines(rig).size(), 39u);
    EXPECT_EQ(limitLines(rig).front(), "SP 6513.5 (at most 30.0)");
    EXPECT_EQ(rig.main->params.row(38).sParamValue, "999");
}

struct Saved : ::testing::Test {
    void SetUp() override {
        rig.controller.state.params[0] = 650;
        rig.identify();
        rig.messages.shown.clear();
    }
    std::string save(const fs::path& p) {
        rig.fileDialog.answer = p.string();
        rig.main->paramFiles.mSaveFile.click();
        return readFile(p);
    }
    void open(const fs::path& p) {
        rig.fileDialog.answer = p.string();
        rig.main->paramFiles.mOpnFile.click();
    }
    kv::params::ParamTable& t() { return rig.main->params; }
    Rig rig;
};

TEST_F(Saved, SaveWritesEveryRowAndOpenBringsTheValuesBack) {
    fs::path p = paramFolder(rig) / "batch.csv";
    std::string text = save(p);
    EXPECT_EQ(text.rfind("SP,250\r\nDIF,20\r\nHSE,300\r\n", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 39);
    EXPECT_NE(text.find("\r\nDFD,1\r\n"), std::string::npos);
    EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), "batch.csv");
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(rig.fileDialog.last.title, "Select File");
    EXPECT_EQ(rig.fileDialog.last.initialFolder, paramFolder(rig).string());
    EXPECT_EQ(rig.fileDialog.last.filter, "Param Files (*.csv)|*.csv|All files (*.*)|*.*");
    EXPECT_EQ(rig.fileDialog.last.defaultExtension, "csv");

    // Step SP away, then open the file: 25.0 again, 650 to write.
    rig.main->paramEdit.lblParam_Click(0);
    rig.main->paramEdit.imgKV53UP.click();
    EXPECT_EQ(t().row(0).sParamValue, "651");
    open(p);
    EXPECT_EQ(t().txtParam(0).text(), "25.0");
    EXPECT_EQ(t().row(0).sParamValue, "650");
    EXPECT_EQ(t().row(0).sParamFileValue, "250");
    EXPECT_EQ(t().txtParam(11).text(), "08");  // IDF from its file value 80: "00"
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Saved, LinesGiveValuesByPositionAndMustNameTheirRows) {
    std::string allSP, allZZZ, swapped = "DIF,20\r\nSP,250\r\n";
    for (int k = 0; k < 39; ++k) allSP += "SP,50\r\n", allZZZ += "ZZZ,50\r\n";
    const struct {
        const char* name;
        std::string content;
        std::vector<std::string> values;  // values to write of rows 0, 1, 2 afterwards
        const char* refused;              // the line named; nullptr: taken
    } cases[] = {
        {"a line without a comma uses no row", "SP\r\nSP,10\r\n", {"410", "420", "700"}, nullptr},
        {"blanks around a name and a value", " SP , 12 \r\n", {"412", "420", "700"}, nullptr},
        {"LF line ends", "SP,1\nDIF,2\n", {"401", "402", "700"}, nullptr},
        {"CR line ends", "SP,1\rDIF,2\r", {"401", "402", "700"}, nullptr},
        {"a byte-order mark first", "\xEF\xBB\xBFSP,1\r\n", {"401", "420", "700"}, nullptr},
        {"lines in another order", swapped, {"650", "420", "700"}, "line 1 names \"DIF\" where row 1 is \"SP\""},
        {"every line SP", allSP, {"650", "420", "700"}, "line 2 names \"SP\" where row 2 is \"DIF\""},
        {"names of another table", allZZZ, {"650", "420", "700"}, "line 1 names \"ZZZ\""},
        {"three fields give a value to two rows", "SP,25,30\r\n", {"650", "420", "700"}, "line 1 names \"SP\" where row 2"},
        {"a value with a fraction", "SP,250.5\r\n", {"650", "420", "700"}, "\"250.5\", which is not a whole number"},
    };
    for (const auto& c : cases) {
        for (int k = 0; k < 3; ++k) t().row(k).sParamValue = std::to_string(kv::sim::kFactoryParams[std::size_t(k)]);
        t().row(0).sParamValue = "650";
        rig.messages.shown.clear();
        fs::path p = paramFolder(rig) / "lines.csv";
        writeFile(p, c.content);
        open(p);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(t().row(k).sParamValue, c.values[std::size_t(k)]) << c.name << " " << k;
        if (!c.refused) {
            EXPECT_TRUE(rig.messages.shown.empty()) << c.name << ": " << rig.messages.shown.front().text;
            continue;
        }
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
        EXPECT_TRUE(mentions(rig, c.refused)) << c.name << ": " << rig.messages.shown[0].text;
        EXPECT_TRUE(mentions(rig, "No value was changed")) << c.name;
    }
}

// A file that is no parameter file, definition file or customer list is not
// read: a pipe would hold the window until something wrote to it, a device
// or a huge file would fill the memory. Each is refused at once, with why.
TEST(FilesOfAnotherKind, AreRefusedAtOnceAndSaid) {
    enum Which { ParamFile, Definitions, Customers };
    enum Kind { Pipe, Device, TooLarge };
    const struct {
        Which which;
        Kind kind;
        const char* why;
    } cases[] = {
        {ParamFile, Pipe, "not a regular file"},     {ParamFile, Device, "not a regular file"},
        {ParamFile, TooLarge, "at most 64 KiB"},     {Definitions, Pipe, "not a regular file"},
        {Definitions, Device, "not a regular file"}, {Definitions, TooLarge, "at most 64 KiB"},
        {Customers, Pipe, "not a regular file"},     {Customers, Device, "not a regular file"},
        {Customers, TooLarge, "at most 1 MiB"},
    };
    for (const auto& c : cases) {
        Rig rig;
        fs::path program(rig.folders.programPath);
        fs::path p = c.which == ParamFile     ? rig.home.path() / "odd.csv"
                     : c.which == Definitions ? program / "KV5x_Params.txt"
                                              : program / "varktcstlst.txt";
        fs::remove(p);
        if (c.kind == Pipe) {
            ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
        }
        if (c.kind == Device) fs::create_symlink("/dev/zero", p);
        if (c.kind == TooLarge) {
            std::string big = c.which == Customers ? "C,N\r\n" : "SP,1\r\n";
            big.resize(c.which == Customers ? 1024 * 1024 + 1 : 64 * 1024 + 1, ' ');
            writeFile(p, big);
        }
        // What is read goes on in the window's thread: a file that held it
        // would hold the test here.
        rig.load();
        if (c.which == ParamFile) {
            rig.messages.shown.clear();
            rig.fileDialog.answer = p.string();
            rig.main->paramFiles.mOpnFile.click();
            EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), "") << p;
        }
        ASSERT_EQ(rig.messages.shown.size(), 1u) << p;
        EXPECT_TRUE(mentions(rig, p.string() + " cannot be read: it")) << rig.messages.shown[0].text;
        EXPECT_TRUE(mentions(rig, c.why)) << rig.messages.shown[0].text;
        EXPECT_EQ(rig.main->params.iParamCount, c.which == Definitions ? 0 : 39) << p;
    }
}

// What goes to the controller is what the table shows: APPLY PARAMS, by hand
// or as the automatic setting's last step, sends nothing while a row shows
// no value, and names those rows in one message.
TEST(ApplyParams, SendsNothingWhileARowShowsNoValue) {
    const struct {
        const char* name;
        bool silent;       // the controller never answers
        int shortRead;     // its reads give this many values; 0: all
        Bytes delivered;   // a reply arriving after the identification
        bool automatic;    // the automatic setting presses APPLY PARAMS
        const char* first; // the first row named, and the last one shown
        const char* shown;
    } cases[] = {
        {"never answered the read", true, 0, {}, false, "SP (P001)", nullptr},
        {"a short reply after a whole one", false, 0, readReply(20, 2), false, "(P021)", "(P020)"},
        {"the automatic setting after a short read", false, 20, {}, true, "(P021)", "(P020)"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.controller.modes.silent = c.silent;
        rig.controller.modes.shortRead = c.shortRead;
        rig.identify();
        auto& m = *rig.main;
        if (!c.delivered.empty()) rig.port.deliver(c.delivered);
        rig.messages.shown.clear();
        rig.takeWritten();
        if (c.automatic) {
            scan(m.identity.txtAssetID, "KV-77");
            waitFor(rig, [&] { return !m.autoSetting.tmrSetAutoAssetClientParam.enabled(); }, 20000);
        } else {
            m.bulkWrite.cdmSetParams.click();
        }
        for (const auto& f : rig.takeWritten())
            EXPECT_TRUE(f[0] != 0x07 && f[0] != 0x08) << c.name << ": " << kv::sim::hexText(f);
        EXPECT_FALSE(m.bulkWrite.tmrSetMultipleParams.enabled()) << c.name;
        EXPECT_TRUE(m.bulkWrite.cdmSetParams.enabled()) << c.name;
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
        const std::string& text = rig.messages.shown[0].text;
        EXPECT_NE(text.find("No value is shown for "), std::string::npos) << c.name << ": " << text;
        EXPECT_NE(text.find(c.first), std::string::npos) << c.name << ": " << text;
        EXPECT_NE(text.find("(P039)"), std::string::npos) << c.name << ": " << text;
        if (c.shown) {
            EXPECT_EQ(text.find(c.shown), std::string::npos) << c.name << ": " << text;
        }
        EXPECT_NE(text.find("Nothing was written"), std::string::npos) << c.name;
    }
}

TEST_F(Saved, ValuesOutsideTheirLimitsAreNamedInOneMessageAndWrittenAsTheLimit) {
    fs::path p = paramFolder(rig) / "high.csv";
    writeFile(p, "SP,900\r\nDIF,-100\r\n");  // raw 1300 above 700; raw 300 below 401
    open(p);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find("The file " + p.string()), std::string::npos);
    EXPECT_EQ(limitLines(rig), (std::vector<std::string>{"SP 90.0 (at most 30.0)", "DIF -10.0 (at least 0.1)"}));
    EXPECT_EQ(t().txtParam(0).text(), "30.0");
    EXPECT_EQ(t().row(0).sParamValue, "700");
    EXPECT_EQ(t().row(0).sParamFileValue, "300");
    EXPECT_EQ(t().row(1).sParamValue, "401");
}

TEST_F(Saved, CancelAndFaultsChangeNothingAndFaultsAreNamed) {
    fs::path good = paramFolder(rig) / "good.csv";
    save(good);
    std::string before = t().row(0).sParamValue;
    fs::path bad = paramFolder(rig) / "bad.csv";
    writeFile(bad, "SP,1\r\nDIF,abc\r\n");
    fs::path empty = paramFolder(rig) / "empty.csv";
    writeFile(empty, "");
    const struct {
        const char* name;
        std::string path;
        std::vector<std::string> message;
    } cases[] = {
        {"cancel", "", {}},
        {"missing file", (paramFolder(rig) / "gone.csv").string(), {"gone.csv", "cannot be read", "No such file"}},
        {"a folder", paramFolder(rig).string(), {"cannot be read"}},
        {"not a number", bad.string(), {"bad.csv", "line 2", "\"abc\"", "No value was changed"}},
        {"empty", empty.string(), {"holds no parameter values"}},
    };
    for (const auto& c : cases) {
        rig.messages.shown.clear();
        open(c.path);
        EXPECT_EQ(t().row(0).sParamValue, before) << c.name;
        EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), "good.csv") << c.name;
        EXPECT_EQ(rig.messages.shown.size(), c.message.empty() ? 0u : 1u) << c.name;
        for (const auto& part : c.message) EXPECT_TRUE(mentions(rig, part)) << c.name << ": " << part;
    }
}

TEST_F(Saved, AFailedSaveSaysWhyAndLeavesTheOldFile) {
    fs::path p = paramFolder(rig) / "keep.csv";
    writeFile(p, "OLD,1\r\n");
    rig.main->paramFiles.lblSelectedFilename.setCaption("");

    {
        FileSizeLimit full(64);  // the disk fills up: the write fails the same way
        save(p);
    }

    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_TRUE(mentions(rig, p.string() + " was not saved"));
    EXPECT_TRUE(mentions(rig, "too large")) << rig.messages.shown[0].text;
    EXPECT_EQ(readFile(p), "OLD,1\r\n");
    EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), "");
    EXPECT_FALSE(fs::exists(p.string() + ".saving"));

    rig.messages.shown.clear();
    save(paramFolder(rig) / "no" / "such" / "folder.csv");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_TRUE(mentions(rig, "folder.csv was not saved: No such file or directory"));
    EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), "");

    rig.messages.shown.clear();
    rig.fileDialog.answer = "";
    rig.main->paramFiles.mSaveFile.click();  // cancel
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(SavedBeforeReading, WhatIsSavedCanBeOpenedAndWritten) {
    // Rows beyond 39 are never read, and before identification none is: a
    // saved file still holds a value for each.
    Rig rig;
    useDefinitions(rig, definitionLines(45, 0, 900, "PERMISSION_TYPE_1"));
    rig.load();
    rig.main->startup.cmdOK.click();
    fs::path p = paramFolder(rig) / "early.csv";
    rig.fileDialog.answer = p.string();
    rig.main->paramFiles.mSaveFile.click();
    std::string text = readFile(p);
    EXPECT_EQ(text.rfind("M1,-395\r\nM2,-395\r\n", 0), 0u) << text;  // raw 5 less the offset
    rig.clock.advance(8000);
    rig.main->paramFiles.mSaveFile.click();
    text = readFile(p);
    EXPECT_NE(text.find("\r\nM45,-395\r\n"), std::string::npos) << text;
    rig.main->paramFiles.mOpnFile.click();
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.shown.front().text;
    rig.takeWritten();
    rig.main->bulkWrite.cdmSetParams.press();
    EXPECT_EQ(rig.takeWritten().size(), 1u);  // the service-mode request: the write goes ahead
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Saved, AFileOutsideTheFolderKeepsItsWholePath) {
    fs::path elsewhere = rig.home.path() / "usb" / "line7.csv";
    fs::create_directories(elsewhere.parent_path());
    save(elsewhere);
    EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), elsewhere.string());
    EXPECT_EQ(rig.main->paramFiles.selectedPath(), elsewhere.string());
    // A name in the folder's parent that shares its length is not cut either.
    fs::path sibling = fs::path(rig.folders.documentsPath) / "x.csv";
    save(sibling);
    EXPECT_EQ(rig.main->paramFiles.lblSelectedFilename.caption(), sibling.string());
}

// Values reaching the rows from a read reply or an opened file: every value
// carried whole fills its row, up to the window's last box and the rows the
// definitions gave; the other rows are emptied, those past the definitions
// stay hidden and without a value.
TEST(RowsFilled, FromAReadReplyOrASavedFileUpToTheLastRow) {
    const struct {
        const char* name;
        int defined;
        Bytes reply;  // none: a saved file of `lines` lines M1,101 M2,102 ... is opened
        int lines;
        int filled;
    } cases[] = {
        {"39 values and the list end", 39, readReply(39, 2), 0, 39},
        {"39 values, no list end: the last pair is taken for it", 39, readReply(39, 0), 0, 38},
        {"only the list end", 39, readReply(0, 2), 0, 0},
        {"39 rows, 60 values", 39, readReply(60, 2), 0, 39},
        {"39 values, the list end cut to one byte", 39, readReply(39, 1), 0, 39},
        {"10 values, the list end cut to one byte", 39, readReply(10, 1), 0, 10},
        {"49 rows, 49 values", 49, readReply(49, 2), 0, 49},
        {"49 rows, 60 values", 49, readReply(60, 2), 0, 49},
        {"39 rows, a file of 45 lines", 39, {}, 45, 39},
        {"20 rows, a file of 39 lines", 20, {}, 39, 20},
        {"39 rows, a file of 40 lines", 39, {}, 40, 39},
    };
    for (const auto& c : cases) {
        Rig rig;
        useDefinitions(rig, definitionLines(c.defined, 0, 32767));
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        auto& t = rig.main->params;
        ASSERT_EQ(t.iParamCount, c.defined) << c.name;
        t.txtParam(0).setText("old");
        int first = 410, step = 10;  // the reply's values
        if (!c.reply.empty()) {
            rig.port.deliver(c.reply);
        } else {
            std::string content;
            for (int i = 1; i <= c.lines; ++i) content += "M" + std::to_string(i) + "," + std::to_string(100 + i) + "\r\n";
            fs::path p = paramFolder(rig) / "long.csv";
            writeFile(p, content);
            rig.fileDialog.answer = p.string();
            rig.main->paramFiles.mOpnFile.click();
            first = 101, step = 1;
        }
        for (int k = 0; k < 49; ++k) {
            if (k < c.filled) {
                EXPECT_EQ(t.row(k).sParamValue, std::to_string(first + step * k)) << c.name << " row " << k;
                EXPECT_EQ(t.txtParam(k).text(), std::to_string(first + step * k)) << c.name << " row " << k;
            } else {
                EXPECT_EQ(t.txtParam(k).text(), "") << c.name << " row " << k;
            }
            EXPECT_EQ(t.txtParam(k).visible(), k < c.defined) << c.name << " row " << k;
            if (k >= c.defined) {
                EXPECT_EQ(t.row(k).sParamValue, "") << c.name << " row " << k;
            }
        }
        EXPECT_TRUE(rig.messages.shown.empty()) << c.name << ": " << rig.messages.shown.front().text;
    }
}

// A parameter whose limits are equal is fixed at that value: it loads, reads
// without a complaint, and anything else is held at it.
TEST(DefinitionLimits, EqualLimitsMakeAFixedParameter) {
    const struct {
        const char* name;
        const char* min;
        const char* max;
        std::uint16_t controllerHolds;
        int rows;                 // rows loaded
        const char* message;      // the one message shown, or nullptr
        const char* value;        // row 0's value to write once identified
    } cases[] = {
        {"fixed at 5, the controller holds 5", "5", "5", 5, 39, nullptr, "5"},
        {"fixed at 5, the controller holds 6", "5", "5", 6, 39, "FIX 6 (at most 5)", "5"},
        {"fixed at 5, the controller holds 4", "5", "5", 4, 39, "FIX 4 (at least 5)", "5"},
        {"fixed at 0", "0", "0", 0, 39, nullptr, "0"},
        {"4 to 5", "4", "5", 5, 39, nullptr, "5"},
        {"6 to 5", "6", "5", 5, 0, "the lower limit is above the upper limit", nullptr},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::string rest = definitionLines(39, 0, 32767);
        useDefinitions(rig, definition(1, "5", c.min, c.max, "FIX") + rest.substr(rest.find("\r\n") + 2));
        rig.controller.state.params[0] = c.controllerHolds;
        rig.identify();
        auto& t = rig.main->params;
        EXPECT_EQ(t.iParamCount, c.rows) << c.name;
        if (c.message) {
            ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
            if (c.rows) {
                EXPECT_EQ(limitLines(rig), std::vector<std::string>{c.message}) << c.name;
            }
            EXPECT_NE(rig.messages.shown[0].text.find(c.message), std::string::npos)
                << c.name << ": " << rig.messages.shown[0].text;
        } else {
            EXPECT_TRUE(rig.messages.shown.empty()) << c.name << ": " << rig.messages.shown.front().text;
        }
        if (c.value) {
            EXPECT_EQ(t.row(0).sParamValue, c.value) << c.name;
            EXPECT_EQ(t.txtParam(0).text(), c.value) << c.name;
        }
    }
}

}  // namespace
