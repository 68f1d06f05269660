// Start-up in a temporary home: folders, the log file and its header, the
// default port, the layout rule, the settings menu and shutdown.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "tests/support/Scenario.h"

using kv::test::readFile;
using kv::test::Rig;
using kv::test::play;
using kv::test::Step;
namespace fs = std::filesystem;

namespace {

const std::string kHeaderLine =
    "Date_Time, Serial, MAC, Checksum, FW Version, Asset ID, Client ID, Custom 1, Custom 2\r\n";

// Rows reach the disk as they are written, their separators made harmless. A
// second start in the same second, in the same home, leaves the folders and
// the first log alone and takes a name of its own; a start a second later
// gets its own name too. Unload closes the log, every window and the port,
// and ends the program.
TEST(Startup, RowsReachTheDiskTheNextStartLeavesThemAloneAndUnloadEndsTheProgram) {
    Rig rig;
    rig.load();
    auto& log = rig.main->log;
    fs::path docs = rig.folders.documentsPath;
    std::ofstream(docs / "KV53_ParamFiles" / "mine.csv") << "SP,250\r\n";
    std::string error;
    const std::string rows = kHeaderLine + "14:05:09 05/12/2026, 1A 2B , , K5b 162\r\n";
    ASSERT_TRUE(log.writeRow({"14:05:09 05/12/2026", "1A 2B ", "", "K5b 162"}, error)) << error;
    EXPECT_EQ(readFile(log.path()), rows);
    ASSERT_TRUE(log.writeRow({"t", "line\r\nbreak,comma", "\x7F"}, error)) << error;
    EXPECT_EQ(readFile(log.path()), rows + "t, line??break?comma, ?\r\n");
    kv::app::frmMain second(rig.platform);
    second.Form_Load();
    EXPECT_EQ(rig.folders.documentsPath, docs.string());
    EXPECT_EQ(second.log.path().filename(), "LOG_14_05_09_05_12_2026_2.csv");
    EXPECT_EQ(readFile(docs / "KV53_LOGS" / "LOG_14_05_09_05_12_2026.csv"), rows + "t, line??break?comma, ?\r\n");
    EXPECT_EQ(readFile(second.log.path()), kHeaderLine);
    EXPECT_EQ(readFile(docs / "KV53_ParamFiles" / "mine.csv"), "SP,250\r\n");
    rig.clock.advance(1000);
    kv::app::frmMain third(rig.platform);
    third.Form_Load();
    EXPECT_EQ(third.log.path().filename(), "LOG_14_05_10_05_12_2026.csv");
    rig.main->progress.window.show();
    rig.main->startup.CommStartup(&rig.main->session, "Communications Port Settings");
    (void)rig.main->session.open();
    rig.main->window.unload();
    EXPECT_FALSE(log.isOpen());
    EXPECT_TRUE(rig.clock.quitRequested);
    for (auto* w : rig.main->windows()) EXPECT_FALSE(w->visible()) << w->name();
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_FALSE(log.writeRow({"after", "close"}, error));
    EXPECT_EQ(readFile(log.path()), rows + "t, line??break?comma, ?\r\n");
}

// A documents folder that cannot hold the log at start: one message naming
// the file and the real reason; the program runs on, and once the folder is
// put right the log and the record are created, headers first, with the rows
// written since. Without a documents folder the program runs on without log:
// identified, no row, no message.
TEST(Startup, FolderProblemsAreSaidAndTheFilesComeOnceTheFolderIsRight) {
    using Spoil = std::function<void(Rig&)>;
    const std::tuple<const char*, Spoil, Spoil, std::string> cases[] = {
        {"documents is a file", [](Rig& r) { std::ofstream(r.folders.documentsPath) << "x"; },
         [](Rig& r) { fs::remove(r.folders.documentsPath); }, " is a file, not a folder"},
        {"documents is a link to nothing",
         [](Rig& r) { fs::create_symlink(r.home.path() / "gone", r.folders.documentsPath); },
         [](Rig& r) { fs::create_directories(r.home.path() / "gone"); }, "/gone, which does not exist"},
        {"the log folder is a file",
         [](Rig& r) {
             fs::create_directories(r.folders.documentsPath);
             std::ofstream(fs::path(r.folders.documentsPath) / "KV53_LOGS") << "x";
         },
         [](Rig& r) { fs::remove(fs::path(r.folders.documentsPath) / "KV53_LOGS"); }, "/KV53_LOGS is a file, not a folder"},
        {"no documents folder", [](Rig& r) { r.folders.documentsPath.clear(); }, {}, "No documents folder"},
    };
    for (const auto& [name, spoil, mend, reason] : cases) {
        SCOPED_TRACE(name);
        Rig rig;
        auto& m = *rig.main;
        spoil(rig);
        rig.load();
        ASSERT_EQ(rig.messages.shown.size(), 1u);
        const std::string said = rig.messages.shown[0].text;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        if (!mend) {
            EXPECT_TRUE(play(rig, {{"advance 8000", "*", {{"lblCurrentINFO", " CONNECTED..OK"}}, ""}}));
            continue;
        }
        EXPECT_EQ(said.rfind("Cannot create the log file " + m.log.path().string() + ": ", 0), 0u) << said;
        EXPECT_NE(m.log.path().string().find("/KV53_LOGS/LOG_"), std::string::npos) << said;
        EXPECT_NE(said.find("Cannot create the record file " + m.record.path().string()), std::string::npos) << said;
        EXPECT_TRUE(rig.port.PortOpen());  // start-up went on
        mend(rig);
        fs::create_directories(rig.folders.documentsPath);
        // Identified (its log row), the asset set, read back (the record's row); nothing more is said.
        EXPECT_TRUE(play(rig, {{"advance 8000", "*", {}, ""}, {"type txtAssetID KV-1", "*", {}, ""},
                               {"click cmdSetAssetID", "*", {}, ""}, {"advance 2000", "*", {}, ""},
                               {"click cmdRefreshNextController", "*", {}, ""}, {"advance 8000", "*", {}, ""}}));
        const std::string log = readFile(m.log.path()), record = readFile(m.record.path());
        EXPECT_EQ(log.rfind(kHeaderLine, 0), 0u) << log;
        EXPECT_NE(log.find("\r\n14:05:1"), std::string::npos) << log;
        EXPECT_EQ(record.rfind("Date_Time,Serial,MAC,", 0), 0u) << record;
        EXPECT_NE(record.find(",KV-1,005,,,\"no: client not written"), std::string::npos) << record;
    }
}

// Start-up opens port 10 at fixed settings; the dialog closes the port to
// scan and offers port 10 again; the definition file's 39 rows are shown,
// still empty, the other boxes hidden; text written before the progress
// window shows is shown later. OK: what the technician uses is shown, the
// rest hidden. The layout rule moves the information bar and the terminal.
TEST(Startup, OpensPortTenThenLeavesThePortToTheDialogAndShowsWhatTheTechnicianUses) {
    Rig rig;
    bool openedAtStart = false;
    rig.main->indicators.lblOpen.listen([&] {
        if (rig.main->indicators.lblOpen.caption() == "Open")
            openedAtStart = rig.port.CommPort() == 10 &&
                            rig.port.lineSettings() == kv::platform::LineSettings{38400, 'N', 8, 10};
    });
    rig.main->Form_Load();
    auto& m = *rig.main;
    EXPECT_TRUE(openedAtStart);
    const auto& p = rig.port;
    EXPECT_EQ(std::to_string(p.RThreshold) + std::to_string(p.SThreshold) + std::to_string(p.InputMode), "111");
    EXPECT_FALSE(rig.port.PortOpen());
    EXPECT_EQ(m.params.iParamCount, 39);
    for (int k = 0; k < 49; ++k)
        EXPECT_EQ(std::to_string(m.params.txtParam(k).visible()) + m.params.txtParam(k).text() +
                      std::to_string(m.params.txtParam(k).enabled()),
                  k < 39 ? "10" : "00")
            << k;
    std::vector<std::pair<std::string, std::string>> holds{
        {"cmdGetParams", "Read  PARAMS"}, {"visible frmProgressInfo", "1"},
        {"lblCurrentINFO", " Setting Client and Asset..."}};
    for (auto* n : {"cmdGetAssetID", "cmdSetAssetID", "cmdSetClientID", "cmdSetCounter", "cmdRestartController",
                    "cmdRefreshNextController", "cdmSetParams", "cmdSTOPComms", "txtAssetID", "txtSetClient",
                    "txtSetCounter", "cboCLientList", "lblFWVersion", "lblMacAddress", "lblCheckSum", "lblCounter",
                    "lblGetStatus(3)", "lblGetStatus(4)", "lblTime", "picInfo", "imgCD", "imgTx", "lblSettingValue",
                    "lblSettingParam"})
        holds.push_back({std::string("visible frmMain.") + n, "1"});
    for (auto* n : {"cdmGETV", "cmdGetCheckSum", "cmdGetConfiguration", "cmdGetMACAddress", "cmdGetClientID",
                    "cmdGetStatus", "cmdGetParams", "cmdEnterServiceMode", "cmdExitServiceMode", "cmdApply",
                    "cmdDefault", "cmdUP", "cmdDown", "cmdRESET", "cmdSaveLog", "txtTerminal", "Text1",
                    "lblGetStatus(0)", "lblGetStatus(8)", "lblHeader(1)", "lblHeader(9)", "imgLed(0)"})
        holds.push_back({std::string("visible frmMain.") + n, "0"});
    EXPECT_TRUE(play(rig, {{"", "",
                            {{"lblPort", "Port 10"}, {"txtTerminal", ""}, {"enabled cdmGETV", "1"},
                             {"lblMacAddress", ""}, {"lblCurrentINFO", ""}, {"visible frmProgressInfo", "0"},
                             {"lblParam(0)", "SP"}, {"visible frmMain", "1"}, {"enabled cmdSTOPComms", "0"},
                             {"frmMain", "Varkel KV5x COMM Dashboard V1.6"}, {"frmProgressInfo", "INFO"},
                             {"visible imgRedDot", "0"}, {"visible imgGreenDot", "0"}}},
                           {"caption lblCurrentINFO  Setting Client and Asset...", "",
                            {{"visible frmProgressInfo", "0"}}},
                           {"click frmStartup.cmdAction(0)", "", holds}}));
    // Smaller than the margins: absolute values.
    using kv::ui::Rect;
    for (auto [W, H, info, terminal] : {std::tuple{5000, 4000, Rect{0, 2865, 4880, 315}, Rect{0, 0, 4880, 2865}},
                                        {15000, 9000, {0, 7865, 14880, 315}, {0, 0, 14880, 7865}},
                                        {100, 1000, {0, 135, 20, 315}, {0, 0, 20, 135}}}) {
        m.Form_Resize(W, H);
        EXPECT_EQ(*m.indicators.picInfo.geometry(), info) << W << "x" << H;
        EXPECT_EQ(*m.receive.txtTerminal.geometry(), terminal) << W << "x" << H;
    }
}

// The technician chooses COM 4 and presses OK three seconds later: the menu
// returns then, the port and the bar as chosen.
TEST(Startup, SettingsMenuReturnsWhenTheDialogIsGone) {
    Rig rig;
    rig.probe.states[4] = kv::platform::PortState::Free;
    rig.port.freePorts.insert(4);
    rig.load();
    rig.clock.at(rig.clock.nowMs() + 3000, [&] { play(rig, {{"choose frmSettings.cboPort 1"}, {"click frmSettings.cmdAction(0)"}}); });
    const std::int64_t start = rig.clock.nowMs();
    EXPECT_TRUE(play(rig, {{"caption lblError Parity"}, {"click mnuSettings", "", {{"lblPort", "Port 4"}, {"lblError", ""}}}}));
    EXPECT_EQ(rig.clock.nowMs() - start, 3000);
}

// Each control has one owner: a part of the program that asks another
// folder's control by its name is refused (the same folder, a test binding by
// name and a window made outside the program are not), and a made window
// asked for a name it does not have says so instead of making one.
TEST(Window, AControlIsReachedThroughItsOwnerAndNeverMadeByAMistypedName) {
    kv::test::VirtualClock clock;
    kv::ui::Window w("frmMain", clock);
    const char *link = "/work/src/link/ReceivePath.cpp", *desktop = "/work/desktop/Dashboard.cpp";
    (void)w.get("lblError", desktop);
    for (auto [name, from, sealed, refused] :
         {std::tuple{"lblTime", link, false, false}, {"lblTime", "/work/src/link/ConnectionSequence.cpp", false, false},
          {"lblTime", "/work/src/controller/Identity.cpp", false, true},
          {"lblTime", "/work/tests/core/SequenceTest.cpp", false, false},
          {"lblError", "/work/src/params/BulkWrite.cpp", false, false}, {"lblTmie", link, true, true},
          {"lblTmie", desktop, true, true}}) {
        if (sealed) w.seal();
        bool thrown = false;
        try {
            (void)w.get(name, from);
        } catch (const std::logic_error&) {
            thrown = true;
        }
        EXPECT_EQ(thrown, refused) << name << " from " << from;
    }
    EXPECT_EQ(w.find("lblTmie"), nullptr);
}

}  // namespace
