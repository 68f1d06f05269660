// Edges the other suites leave open: replies and files at the limits of the
// parameter table, rows without a label, fixed parameters, the batch count
// crossing a power of ten, the verified column of the record, the automatic
// setting asking again after a lost reply, and the settings dialog's texts.
// All on the real main window against the virtual controller.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/ProvisioningRecord.h"
#include "sim/ProductionLine.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- helpers

// The last field of a record row, unquoted.
std::string verifiedOf(const std::string& row) {
    if (!row.empty() && row.back() == '"') {
        std::size_t open = row.rfind(",\"");
        return open == std::string::npos ? row : row.substr(open + 2, row.size() - open - 3);
    }
    return row.substr(row.rfind(',') + 1);
}

// One definition line of a type-5 parameter.
std::string definition(int number, const std::string& value, const std::string& min, const std::string& max,
                       const std::string& label) {
    char code[8];
    std::snprintf(code, sizeof code, "P%03d", number);
    return std::string(code) + ",Name," + value + "," + value + "," + min + "," + max + ",unit,PERMISSION_TYPE_5," +
           label + "\r\n";
}

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

// ---------------------------------------------------------------- reading values

// Every value a reply carries whole reaches its row, up to the window's last
// box; rows past the reply are emptied, rows past the definitions stay hidden.
TEST(ReadReplyEdges, EveryValueCarriedWholeFillsItsRowUpToTheLastBox) {
    const struct {
        const char* name;
        int defined;
        Bytes reply;
        int filled;
    } cases[] = {
        {"39 values and the list end", 39, readReply(39, 2), 39},
        {"39 values, no list end: the last pair is taken for it", 39, readReply(39, 0), 38},
        {"only the list end", 39, readReply(0, 2), 0},
        {"39 rows, 60 values", 39, readReply(60, 2), 39},
        {"39 values, the list end cut to one byte", 39, readReply(39, 1), 39},
        {"10 values, the list end cut to one byte", 39, readReply(10, 1), 10},
        {"49 rows, 49 values", 49, readReply(49, 2), 49},
        {"49 rows, 60 values", 49, readReply(60, 2), 49},
    };
    for (const auto& c : cases) {
        Rig rig;
        useDefinitions(rig, definitionLines(c.defined, 0, 32767));
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        auto& t = rig.main->params;
        ASSERT_EQ(t.iParamCount, c.defined) << c.name;
        t.txtParam(0).setText("old");
        rig.port.deliver(c.reply);
        for (int k = 0; k < 49; ++k) {
            if (k < c.filled) {
                EXPECT_EQ(t.row(k).sParamValue, std::to_string(400 + 10 * (k + 1))) << c.name << " row " << k;
                EXPECT_EQ(t.txtParam(k).text(), std::to_string(400 + 10 * (k + 1))) << c.name << " row " << k;
            } else {
                EXPECT_EQ(t.txtParam(k).text(), "") << c.name << " row " << k;
            }
            EXPECT_EQ(t.txtParam(k).visible(), k < c.defined) << c.name << " row " << k;
        }
        EXPECT_TRUE(rig.messages.shown.empty()) << c.name;
    }
}

// ---------------------------------------------------------------- saved files

// A saved file longer than the table fills the rows the definitions gave and
// nothing else: the boxes beyond them stay empty and hidden.
TEST(SavedFileEdges, LinesBeyondTheDefinedRowsAreIgnored) {
    const struct {
        int defined;
        int lines;
    } cases[] = {{39, 45}, {20, 39}, {39, 40}};
    for (const auto& c : cases) {
        Rig rig;
        useDefinitions(rig, definitionLines(c.defined, 0, 32767));
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        std::string content;
        for (int i = 1; i <= c.lines; ++i) content += "M" + std::to_string(i) + "," + std::to_string(100 + i) + "\r\n";
        fs::path p = paramFolder(rig) / "long.csv";
        writeFile(p, content);
        rig.fileDialog.answer = p.string();
        rig.main->paramFiles.mOpnFile.click();
        ASSERT_TRUE(rig.messages.shown.empty()) << rig.messages.shown.front().text;
        auto& t = rig.main->params;
        for (int k = 0; k < 49; ++k) {
            const std::string where = std::to_string(c.defined) + " rows, " + std::to_string(c.lines) + " lines, row " +
                                      std::to_string(k);
            if (k < c.defined) {
                EXPECT_EQ(t.txtParam(k).text(), std::to_string(101 + k)) << where;
                EXPECT_EQ(t.row(k).sParamValue, std::to_string(101 + k)) << where;
            } else {
                EXPECT_EQ(t.txtParam(k).text(), "") << where;
                EXPECT_FALSE(t.txtParam(k).visible()) << where;
                EXPECT_EQ(t.row(k).sParamValue, "") << where;
            }
        }
    }
}

// ---------------------------------------------------------------- definitions

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
        {"fixed at 5, the controller holds 6", "5", "5", 6, 39, "FIX Value to HIGH", "5"},
        {"fixed at 5, the controller holds 4", "5", "5", 4, 39, "FIX Value to LOW", "5"},
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

// APPLY PARAMS refuses a row it cannot write and names it: by its label, or
// by its place in the window when the definitions gave it none.
TEST(RowNames, ARowWithoutALabelIsNamedByItsPlace) {
    const struct {
        int row;  // 1 to 39
        const char* label;
        const char* named;
    } cases[] = {
        {1, "", "row 1 (P001)"},
        {5, "", "row 5 (P005)"},
        {39, "", "row 39 (P039)"},
        {5, "BIG", "BIG (P005)"},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::string defs;
        for (int i = 1; i <= 39; ++i)
            defs += i == c.row ? definition(i, "40000", "0", "50000", c.label)
                               : definition(i, "5", "0", "1000", "M" + std::to_string(i));
        useDefinitions(rig, defs);
        rig.load();
        rig.main->sequence.tmrLoopBack.setEnabled(false);
        rig.takeWritten();
        rig.main->counter.lblCounter.setCaption("3");
        rig.main->bulkWrite.cdmSetParams.click();
        // Refused before service mode is asked for; the count stays.
        EXPECT_TRUE(rig.takeWritten().empty()) << c.named;
        EXPECT_FALSE(rig.main->bulkWrite.tmrSetMultipleParams.enabled()) << c.named;
        EXPECT_EQ(rig.main->counter.lblCounter.caption(), "3") << c.named;
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.named;
        const std::string expected = std::string(c.named) + ": the value \"40000\" is not a number from 0 to 32767";
        EXPECT_NE(rig.messages.shown[0].text.find(expected), std::string::npos)
            << "want: " << expected << "\n got: " << rig.messages.shown[0].text;
        EXPECT_NE(rig.messages.shown[0].text.find("Nothing was written"), std::string::npos) << c.named;
    }
}

// ---------------------------------------------------------------- the batch count

// The count goes down by one across a power of ten as well: 10 is followed
// by 9, never by 0 or by a number with a zero too many.
TEST(BatchCount, GoesDownByOneAcrossAPowerOfTen) {
    const struct {
        const char* typed;
        const char* after;
    } cases[] = {{"10", "9"}, {"100", "99"}, {"2000", "1999"}, {"105", "104"}, {"90", "89"}, {"1", "0"},
                 // Whatever its length: never up, never a number that was not typed.
                 {"12345678901234567", "12345678901234566"},
                 {"9999999999999999999999999999999999999999", "9999999999999999999999999999999999999998"}};
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        m.identityWrite.txtSetCounter.setText(c.typed);
        m.identityWrite.cmdSetCounter.click();
        m.assetDialog.cmdExit.click();
        m.bulkWrite.cdmSetParams.click();
        ASSERT_TRUE(m.bulkWrite.tmrSetMultipleParams.enabled()) << c.typed;
        EXPECT_EQ(m.counter.lblCounter.caption(), c.after) << c.typed;
        // The controller is written and identified again; the count stays.
        ASSERT_TRUE(waitFor(rig, [&] { return !m.record.pending(); }, 30000)) << c.typed;
        EXPECT_EQ(m.counter.lblCounter.caption(), c.after) << c.typed;
    }
}

// ---------------------------------------------------------------- the record

// The verified column names what this controller was given but did not
// return; what was written to another controller, or superseded by a second
// write, is said as such.
TEST(VerifiedColumn, SaysWhatThisControllerWasGivenAndDidNotReturn) {
    struct Run {
        Rig& rig;
        kv::sim::ProductionLine& line;
    };
    const struct {
        const char* name;
        std::function<void(Run&)> act;
        std::vector<std::string> verified;  // one for each row after the header
    } cases[] = {
        {"APPLY PARAMS once",
         [](Run& r) {
             auto& m = *r.rig.main;
             m.bulkWrite.cdmSetParams.click();
             r.rig.clock.advance(30000);
         },
         {"yes"}},
        {"APPLY PARAMS again while the first write is read back: each write that lowers the count gets its row",
         [](Run& r) {
             auto& m = *r.rig.main;
             m.identityWrite.txtSetCounter.setText("5");
             m.identityWrite.cmdSetCounter.click();
             m.assetDialog.cmdExit.click();
             m.bulkWrite.cdmSetParams.click();
             ASSERT_TRUE(waitFor(r.rig, [&] { return !m.bulkWrite.tmrSetMultipleParams.enabled(); }, 30000));
             r.rig.clock.advance(2000);
             ASSERT_TRUE(m.bulkWrite.cdmSetParams.enabled());
             m.bulkWrite.cdmSetParams.click();
             r.rig.clock.advance(30000);
             EXPECT_EQ(m.counter.lblCounter.caption(), "3");
         },
         {"no: written again before it was read back", "yes"}},
        {"a client set by hand on the controller before; none for this one",
         [](Run& r) {
             auto& m = *r.rig.main;
             m.identityWrite.txtSetClient.setText("005");
             m.identityWrite.cmdSetClientID.click();
             r.rig.clock.advance(100);
             ASSERT_EQ(r.line.unit(1).client, "005");
             ASSERT_TRUE(r.line.next());
             m.serviceMode.cmdRefreshNextController.click();
             r.rig.clock.advance(8000);
             m.identityWrite.txtSetClient.setText("");
             m.identityWrite.txtSetCounter.setText("1");
             m.identityWrite.cmdSetCounter.click();
             scan(m.assetDialog.txtScannedAsset, "KV-2002");
             ASSERT_TRUE(waitFor(
                 r.rig, [&] { return crlfLines(readFile(m.record.path())).size() >= 2; }, 40000));
             r.rig.clock.advance(10000);
             EXPECT_EQ(r.line.unit(2).asset, "KV-2002");
             EXPECT_EQ(r.line.unit(2).client, "<00");  // nothing was asked of it
         },
         {"yes"}},
        {"a shorter parameter reply after the read-back's own",
         [](Run& r) {
             // While the read-back asks for the serial number, a parameter
             // reply cut after 38 values comes in: the last value is not
             // confirmed by the last reply.
             auto& m = *r.rig.main;
             auto& info = m.progress.lblCurrentINFO;
             bool asking = false;
             int id = info.listen([&] {
                 if (m.record.pending() && info.caption() == " Acquiring Serial Number.... Please Wait") asking = true;
             });
             m.bulkWrite.cdmSetParams.click();
             const bool reached = waitFor(r.rig, [&] { return asking; }, 30000);
             info.unlisten(id);
             ASSERT_TRUE(reached);
             Bytes payload;
             for (int k = 0; k < 38; ++k) {
                 std::uint16_t v = r.rig.controller.state.params[std::size_t(k)];
                 payload.push_back(static_cast<std::uint8_t>(v >> 8));
                 payload.push_back(static_cast<std::uint8_t>(v & 0xFF));
             }
             payload.insert(payload.end(), {0x99, 0x99});
             r.rig.port.deliver(kv::link::requestFrame(0x06, payload));
             r.rig.clock.advance(30000);
         },
         {"no: P039"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        kv::sim::ProductionLine line(rig.controller, 2);
        rig.identify();
        Run run{rig, line};
        c.act(run);
        auto rows = crlfLines(readFile(rig.main->record.path()));
        ASSERT_FALSE(rows.empty()) << c.name;
        EXPECT_EQ(rows[0], kv::app::ProvisioningRecord::kHeader) << c.name;
        std::vector<std::string> verified;
        for (std::size_t i = 1; i < rows.size(); ++i) verified.push_back(verifiedOf(rows[i]));
        EXPECT_EQ(verified, c.verified) << c.name << "\n" << readFile(rig.main->record.path());
    }
}

// ---------------------------------------------------------------- the automatic setting

// A reply lost on the line leaves its step waiting: the step is asked again
// after six ticks without an answer (one second each while setting, two while
// the parameters are read), and the run goes on to APPLY PARAMS.
TEST(AutoSettingRetry, AStepWhoseReplyIsLostIsAskedAgain) {
    const struct {
        const char* name;
        std::int64_t deafFrom, deafTo;  // the controller hears nothing in between
        std::vector<std::int64_t> asset, client, read;
        std::int64_t serviceMode;  // the first request of APPLY PARAMS
    } cases[] = {
        {"nothing lost", 0, 0, {1000}, {2000}, {3000}, 5000},
        {"the asset reply", 500, 1500, {1000, 8000}, {9000}, {10000}, 12000},
        {"the client reply", 1500, 2500, {1000}, {2000, 9000}, {10000}, 12000},
        {"the parameter reply", 2500, 3500, {1000}, {2000}, {3000, 17000}, 19000},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        auto& m = *rig.main;
        rig.takeWritten();
        m.identityWrite.txtSetClient.setText("007");
        m.identity.txtAssetID.setText("A100");
        const std::int64_t t0 = rig.clock.nowMs();
        m.identity.txtAssetID.keyPress(13);
        std::vector<WireLog> log;
        if (c.deafTo > 0) {
            runRecording(rig, c.deafFrom, log);
            rig.controller.modes.silent = true;
            runRecording(rig, c.deafTo - c.deafFrom, log);
            rig.controller.modes.silent = false;
        }
        runRecording(rig, 20000 - (rig.clock.nowMs() - t0), log);
        // The run's own requests: those before APPLY PARAMS asks for service
        // mode (the identification after the restart asks again).
        auto times = [&](std::uint8_t code) {
            std::vector<std::int64_t> out;
            for (const auto& w : log) {
                if (w.frame[0] == 0x08 && code != 0x08) break;
                if (w.frame[0] == code) out.push_back(w.at - t0);
            }
            return out;
        };
        EXPECT_EQ(times(0x16), c.asset) << c.name;
        EXPECT_EQ(times(0x15), c.client) << c.name;
        EXPECT_EQ(times(0x06), c.read) << c.name;
        auto service = times(0x08);
        ASSERT_FALSE(service.empty()) << c.name;
        EXPECT_EQ(service[0], c.serviceMode) << c.name;
        EXPECT_EQ(rig.controller.state.asset, "A100") << c.name;
        EXPECT_EQ(rig.controller.state.client, "007") << c.name;
    }
}

// ---------------------------------------------------------------- the settings dialog

TEST(SettingsTexts, TheDialogSaysWhatEachGroupIs) {
    Rig rig;
    rig.identify();
    rig.main->settings.CommSettings(&rig.port, "Communications Port Settings");
    auto& d = rig.main->settings;
    ASSERT_TRUE(d.window.visible());
    const struct {
        const char* control;
        const char* caption;
    } cases[] = {
        {"fraPort", "Comm Port"},        {"fraBaud", "Baud Rate"},        {"fraParity", "Parity"},
        {"fraDataBits", "Data Bits"},    {"fraStopBits", "Stop Bits"},    {"fraHandshake", "Handshaking"},
        {"optParity(0)", "Even"},        {"optParity(1)", "Odd"},         {"optParity(2)", "None"},
        {"optDataBits(0)", "7 Bit"},     {"optDataBits(1)", "8 Bit"},     {"optStopBits(0)", "1 Bit"},
        {"optHandshake(0)", "None"},     {"optHandshake(1)", "Xon"},      {"optHandshake(2)", "RTS"},
        {"optHandshake(3)", "Both"},     {"cmdAction(0)", "OK"},          {"cmdAction(1)", "Cancel"},
    };
    for (const auto& c : cases) {
        auto* control = dynamic_cast<kv::ui::Captioned*>(d.window.find(c.control));
        ASSERT_NE(control, nullptr) << c.control;
        EXPECT_EQ(control->caption(), c.caption) << c.control;
    }
    d.cmdCancel.click();
}

}  // namespace
