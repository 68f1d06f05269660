// The record of provisioned controllers, a batch provisioned from the
// outside (what reaches the controller and what the files hold on disk, with
// the real main window against the virtual line on the virtual clock), and
// the durability of every line the log and the record write.
#include <gtest/gtest.h>

#include <cstring>

#include <set>

#include "app/ProvisioningLog.h"
#include "app/ProvisioningRecord.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
using kv::sim::Bytes;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> fieldsOf(const std::string& row) {
    std::vector<std::string> out(1);
    for (char c : row) {
        if (c == ',') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

// The last field of a record row, unquoted.
std::string verifiedOf(const std::string& row) {
    if (!row.empty() && row.back() == '"') {
        std::size_t open = row.rfind(",\"");
        return open == std::string::npos ? row : row.substr(open + 2, row.size() - open - 3);
    }
    return row.substr(row.rfind(',') + 1);
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Record, FieldsAreQuotedOnlyWhereCsvNeedsIt) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"A100", "A100"},
        {"", ""},
        {" 005 ", " 005 "},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"lf\nonly", "\"lf\nonly\""},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
        {"\xE9t\xE9", "\xE9t\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(kv::app::csvField(c.in), c.out) << c.in;
}

TEST(Record, ARowThatCannotBeWrittenIsSaidAndNeverLeavesAFragment) {
    const struct {
        const char* name;
        rlim_t room;  // bytes the file may still grow by
    } cases[] = {{"write fails", 0}, {"write comes up short", 10}};
    for (const auto& c : cases) {
        Rig rig;
        rig.load();
        auto& m = *rig.main;
        m.sequence.tmrLoopBack.setEnabled(false);
        fs::path log = m.log.path();
        const std::string before = readFile(log);
        {
            FileSizeLimit limit(static_cast<rlim_t>(before.size()) + c.room);
            m.identity.cmdGetCheckSum.press();  // empty asset box: the reply writes a row
            rig.clock.advance(100);
        }
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
        const std::string& text = rig.messages.shown[0].text;
        EXPECT_NE(text.find(log.string()), std::string::npos) << text;
        EXPECT_NE(text.find("File too large"), std::string::npos) << text;
        EXPECT_NE(text.find("1A 2B"), std::string::npos) << text;  // the row itself, to note by hand
        EXPECT_EQ(readFile(log), before) << c.name;
        // Space is back: the next row is whole, on its own line.
        m.identity.cmdGetCheckSum.press();
        rig.clock.advance(100);
        EXPECT_EQ(rig.messages.shown.size(), 1u) << c.name;
        std::string after = readFile(log);
        ASSERT_GT(after.size(), before.size());
        EXPECT_EQ(after.substr(0, before.size()), before);
        std::string row = after.substr(before.size());
        EXPECT_EQ(row.find("\r\n"), row.size() - 2) << row;
        EXPECT_NE(row.find(", 1A 2B , , Not Connected"), std::string::npos) << row;
    }
}

struct Batch : ::testing::Test, Line {};

TEST_F(Batch, ThreeControllersFromScansAloneEachWithAVerifiedRow) {
    begin(3, true);
    const std::string assets[] = {"KV-1001", "KV-1002", "KV-1003"};
    const std::string imeis[] = {"356938035643801", "356938035643802", "356938035643803"};
    for (int k = 0; k < 3; ++k) provision(assets[k], imeis[k]);
    auto& m = *rig.main;
    EXPECT_EQ(m.counter.lblCounter.caption(), "0");
    rig.clock.advance(10000);
    EXPECT_FALSE(m.assetDialog.window.visible());  // the batch is done

    EXPECT_EQ(recordPath().parent_path(), m.log.path().parent_path());
    EXPECT_EQ(recordPath().filename().string(), "RECORD_14_05_09_05_12_2026.csv");
    auto rows = record();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified");
    for (int k = 0; k < 3; ++k) {
        const auto& unit = line->unit(k + 1);
        EXPECT_EQ(unit.asset, assets[k]);
        EXPECT_EQ(unit.client, "005");
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%02X %02X", unit.checksum >> 8, unit.checksum & 0xFF);
        std::string row = rows[static_cast<std::size_t>(k) + 1];
        std::string expected = "," + unit.mac + "," + unit.mac + "," + checksum + ",K5b 162," + assets[k] +
                               ",005," + imeis[k] + ",,yes";
        ASSERT_GT(row.size(), expected.size());
        EXPECT_EQ(row.substr(row.size() - expected.size()), expected) << row;
        EXPECT_EQ(row.find(','), 19u) << row;  // hh:mm:ss dd/MM/yyyy
    }
    EXPECT_NE(line->unit(1).mac, line->unit(2).mac);
    // The provisioning log keeps its own four-field rows.
    EXPECT_EQ(crlfLines(readFile(m.log.path()))[0], kv::app::ProvisioningLog::kHeader);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Batch, AParameterTheControllerDoesNotHoldIsNamed) {
    begin(1, false);
    auto& d = rig.main->assetDialog;
    scan(d.txtScannedAsset, "KV-3001");
    // While it restarts, the controller puts two values back (as a firmware
    // that refuses them would).
    ASSERT_TRUE(waitFor(rig, [&] { return rig.main->bulkWrite.restarting(); }, 20000));
    rig.controller.state.params[11] = 999;
    rig.controller.state.params[29] = 0;
    ASSERT_TRUE(waitFor(rig, [&] { return record().size() == 2; }, 20000));
    std::string row = record()[1];
    const std::string verified = ",\"no: P012, P030\"";
    ASSERT_GT(row.size(), verified.size());
    EXPECT_EQ(row.substr(row.size() - verified.size()), verified) << row;
}

TEST_F(Batch, AScanWhileARowWaitsWritesThatRowFirst) {
    useDefinitions(rig, definitionLines(38));  // APPLY PARAMS will refuse this table
    begin(2, false);
    auto& m = *rig.main;
    scan(m.assetDialog.txtScannedAsset, "KV-5001");
    // Asset and client written; APPLY PARAMS refuses and gives the controls back.
    ASSERT_TRUE(waitFor(rig, [&] { return m.identityWrite.cmdSetCounter.enabled(); }, 30000));
    ASSERT_EQ(line->unit(1).asset, "KV-5001");
    rig.messages.pressAll();
    // The technician gives up on it and scans the next one.
    m.identityWrite.cmdSetCounter.click();
    scan(m.assetDialog.txtScannedAsset, "KV-5002");
    auto rows = record();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find(",0004A3B1C201,,,KV-5001,005,,,no: the next controller was scanned before it was read back"),
              std::string::npos)
        << rows[1];
}

TEST_F(Batch, ARowStillWaitingIsKeptWhenTheProgramCloses) {
    begin(1, false);
    rig.controller.modes.restartMs = 600000;  // never back after its restart
    auto& d = rig.main->assetDialog;
    scan(d.txtScannedAsset, "KV-4001");
    rig.clock.advance(20000);
    ASSERT_TRUE(rig.main->record.pending());
    rig.main->window.unload();
    auto rows = record();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find("no: not identified after its restart"), std::string::npos) << rows[1];
}

// An identification that ends between the scan and the parameter write (a
// REFRESH pressed just before scanning, or the cable pulled for a moment,
// which identifies the controller again) must not make the record forget
// what was scanned and written for the controller being provisioned.
TEST(BatchRecord, KeepsTheScannedCodesWhenAnIdentificationEndsBeforeTheWrite) {
    enum class Disturbance { RefreshThenScan, CablePulledAfterScan };
    const struct {
        const char* name;
        Disturbance what;
        bool controllerKeepsClient;
        const char* rowEnd;  // asset, client, custom 1, custom 2, verified
    } cases[] = {
        {"REFRESH, then the scan", Disturbance::RefreshThenScan, true, ",KV-5001,005,356938035645001,,yes"},
        {"REFRESH, then the scan; the controller drops the client", Disturbance::RefreshThenScan, false,
         ",KV-5001,<00,356938035645001,,no: client"},
        {"cable out for 1.5 s after the scan", Disturbance::CablePulledAfterScan, true,
         ",KV-5001,005,356938035645001,,yes"},
    };
    for (const auto& c : cases) {
        Line l;
        l.begin(1, true);
        ASSERT_TRUE(l.rig.main->assetDialog.window.visible()) << c.name;
        l.rig.controller.modes.storeClient = c.controllerKeepsClient;
        if (c.what == Disturbance::RefreshThenScan) {
            l.rig.main->serviceMode.cmdRefreshNextController.click();
            l.rig.clock.advance(3500);
            l.scanController("KV-5001", "356938035645001");
        } else {
            l.scanController("KV-5001", "356938035645001");
            l.pullCable(500, 1500);
        }
        ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 2; }, 60000)) << c.name;
        l.rig.clock.advance(10000);
        auto rows = l.record();
        ASSERT_EQ(rows.size(), 2u) << c.name;
        EXPECT_TRUE(endsWith(rows[1], c.rowEnd)) << c.name << "\n  row: " << rows[1] << "\n  want: ..." << c.rowEnd;
    }
}

// The cable out for under a second just after the scan: the identification
// that follows the replug reads the controller's old asset into the asset
// box before the repeated SET ASSET goes out, and the repeat sends that
// instead of the code that was scanned.
TEST(BatchReplug, ACablePulledDuringTheSettingStillGivesTheControllerItsScannedAsset) {
    const struct {
        std::int64_t outMs;
    } cases[] = {{600}, {800}};
    for (const auto& c : cases) {
        Line l;
        l.begin(2, true);
        l.scanController("KV-8001", "356938035648001");
        l.pullCable(500, c.outMs);
        ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 2; }, 60000)) << c.outMs;
        EXPECT_EQ(l.line->unit(1).asset, "KV-8001") << "cable out for " << c.outMs << " ms";
        auto row = fieldsOf(l.record()[1]);
        ASSERT_EQ(row.size(), 10u);
        EXPECT_EQ(row[5], "KV-8001") << "cable out for " << c.outMs << " ms";
    }
}

// The disk is full while the program starts, so neither file gets its
// header; space comes back and rows are written. Whoever opens the file must
// find the header first, then the rows.
TEST(FullDisk, AFileStartedOnAFullDiskGetsItsHeaderBeforeItsRows) {
    Rig rig;
    {
        FileSizeLimit full(0);
        rig.load();
    }
    ASSERT_FALSE(rig.messages.shown.empty());  // start-up said so
    auto& m = *rig.main;
    rig.clock.advance(8000);  // identified: the checksum reply writes a log row
    m.bulkWrite.cdmSetParams.click();
    ASSERT_TRUE(waitFor(rig, [&] { return !m.record.pending(); }, 30000));
    const struct {
        const char* name;
        fs::path path;
        std::string header;
    } cases[] = {
        {"log", m.log.path(), kv::app::ProvisioningLog::kHeader},
        {"record", m.record.path(), kv::app::ProvisioningRecord::kHeader},
    };
    for (const auto& c : cases) {
        auto rows = crlfLines(readFile(c.path));
        ASSERT_FALSE(rows.empty()) << c.name << ": the row written once space came back";
        EXPECT_EQ(rows[0], c.header) << c.name;
        EXPECT_GE(rows.size(), 2u) << c.name << ": the header, then the row";
    }
}

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
         {"no: asset not written, client not written"}},
        {"APPLY PARAMS again while the first write is read back: refused, the table is empty until read",
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
             EXPECT_FALSE(m.bulkWrite.tmrSetMultipleParams.enabled());
             r.rig.clock.advance(30000);
             EXPECT_EQ(m.counter.lblCounter.caption(), "4");
         },
         {"no: asset not written, client not written"}},
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
                 r.rig, [&] { return crlfLines(readFile(m.record.path())).size() >= 3; }, 40000));
             r.rig.clock.advance(10000);
             EXPECT_EQ(r.line.unit(2).asset, "KV-2002");
             EXPECT_EQ(r.line.unit(2).client, "<00");  // nothing was asked of it
         },
         {"no: replaced before its read-back", "no: no client chosen"}},
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
         {"no: asset not written, client not written, P039"}},
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

}  // namespace

namespace {

// Every way a controller of a batch can leave the line, with the rows the
// record then holds: "controller number,asset,client,custom 1,verified", the
// controller named by the MAC of its row.
TEST(ControllersAsTheyCome, EveryControllerTouchedLeavesOneTrueRow) {
    using Act = std::function<void(Line&)>;
    auto swapWhen = [](std::function<bool(Line&)> when) {
        return [when](Line& l) {
            l.scanController("KV-1", "I-1");
            ASSERT_TRUE(waitFor(l.rig, [&] { return when(l); }, 30000));
            l.rig.clock.advance(300);
            ASSERT_TRUE(l.line->next());
            ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 3; }, 60000));
        };
    };
    auto provisionTwo = [](const std::string& second, const char* answer) {
        return [second, answer](Line& l) {
            l.provision("KV-1", "I-1");
            auto& m = *l.rig.main;
            ASSERT_TRUE(waitFor(l.rig, [&] { return m.assetDialog.window.visible(); }, 30000));
            scan(m.assetDialog.txtScannedAsset, second);
            ASSERT_EQ(l.rig.messages.open.size(), 1u);
            const std::string asked = l.rig.messages.open[0].message.text;
            EXPECT_EQ(asked.rfind("Asset " + second + " was written to controller 0004A3B1C201 at 14:0", 0), 0u)
                << asked;
            EXPECT_TRUE(endsWith(asked, ". Write it to this controller too?")) << asked;
            l.rig.clock.advance(20000);  // the technician is away: nothing goes out
            EXPECT_EQ(l.line->unit(2).asset, "");
            ASSERT_TRUE(l.rig.messages.press(answer));
            if (std::string(answer) == "No") scan(m.assetDialog.txtScannedAsset, "KV-2");
            scan(m.assetDialog.txtCustom1(0), "I-2");
            ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 3; }, 60000));
        };
    };
    const std::string mac1 = "0004A3B1C201";
    const struct {
        const char* name;
        bool customer;
        Act act;
        std::vector<std::string> rows;
    } cases[] = {
        {"read back", true,
         [](Line& l) { l.provision("KV-1", "I-1"); },
         {"1,KV-1,005,I-1,yes"}},
        {"swapped after its asset write", true,
         swapWhen([](Line& l) { return l.line->unit(1).asset == "KV-1"; }),
         {"1,KV-1,,I-1,no: replaced before its read-back", "2,,005,,no: asset not written"}},
        {"swapped after its client write", true,
         swapWhen([](Line& l) { return l.line->unit(1).client == "005"; }),
         {"1,KV-1,005,I-1,no: replaced before its read-back", "2,,<00,,no: put on the line during the writes to " + mac1}},
        {"swapped during the bulk write", true,
         swapWhen([](Line& l) { return l.rig.main->bulkWrite.frame() >= 3; }),
         {"1,KV-1,005,I-1,no: replaced before its read-back", "2,,<00,,no: put on the line during the writes to " + mac1}},
        {"unplugged after its asset write, then the program closed", true,
         [](Line& l) {
             l.scanController("KV-1", "I-1");
             ASSERT_TRUE(waitFor(l.rig, [&] { return l.line->unit(1).asset == "KV-1"; }, 30000));
             l.rig.clock.advance(300);
             l.rig.port.unplug();
             l.rig.clock.advance(20000);
             l.rig.main->window.unload();
         },
         {"1,KV-1,,I-1,no: the program was closed before its read-back"}},
        {"the program closed during the bulk write", true,
         [](Line& l) {
             auto& m = *l.rig.main;
             l.scanController("KV-1", "I-1");
             ASSERT_TRUE(waitFor(l.rig, [&] { return m.bulkWrite.frame() >= 3; }, 30000));
             m.window.unload();
             ASSERT_EQ(l.rig.messages.open.size(), 1u);  // asked first: the write goes on meanwhile
             l.rig.clock.advance(400);
             EXPECT_TRUE(m.window.visible());
             l.rig.port.written.clear();
             ASSERT_TRUE(l.rig.messages.press("Close anyway"));
             EXPECT_TRUE(l.rig.clock.quitRequested);
             ASSERT_FALSE(l.rig.port.written.empty());
             EXPECT_EQ(l.rig.port.written.back(), kv::link::frameServiceMode(false));
         },
         {"1,KV-1,005,I-1,no: the program was closed during its parameter write; taken out of service mode"}},
        {"the program closed while it restarts", true,
         [](Line& l) {
             l.rig.controller.modes.restartMs = 600000;  // never back
             l.scanController("KV-1", "I-1");
             ASSERT_TRUE(waitFor(l.rig, [&] { return l.rig.main->bulkWrite.restarting(); }, 30000));
             l.rig.clock.advance(8000);
             l.rig.main->window.unload();
         },
         {"1,KV-1,005,I-1,no: not identified after its restart"}},
        {"its asset written before, not again", true, provisionTwo("KV-1", "No"),
         {"1,KV-1,005,I-1,yes", "2,KV-2,005,I-2,yes"}},
        {"its asset written before, again", true, provisionTwo("KV-1", "Yes"),
         {"1,KV-1,005,I-1,yes", "2,KV-1,005,I-2,yes"}},
        {"an asset of 18 characters, its first 15", true,
         [](Line& l) {
             auto& m = *l.rig.main;
             scan(m.assetDialog.txtScannedAsset, "KV-ABCDEFGHIJKLMNO");
             ASSERT_TRUE(l.rig.messages.press("Write the first 15"));
             scan(m.assetDialog.txtCustom1(0), "I-1");
             ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 2; }, 60000));
         },
         {"1,KV-ABCDEFGHIJKL,005,I-1,no: asset cut to 15 of the 18 characters of KV-ABCDEFGHIJKLMNO"}},
        {"an asset of 15 characters, as it is", true,
         [](Line& l) { l.provision("KV-ABCDEFGHIJKL", "I-1"); },
         {"1,KV-ABCDEFGHIJKL,005,I-1,yes"}},
        {"an asset of 18 characters, scanned again", true,
         [](Line& l) {
             auto& m = *l.rig.main;
             scan(m.assetDialog.txtScannedAsset, "KV-ABCDEFGHIJKLMNO");
             ASSERT_TRUE(l.rig.messages.press("Scan again"));
             EXPECT_EQ(m.assetDialog.txtScannedAsset.text(), "");
             l.provision("KV-9", "I-1");
         },
         {"1,KV-9,005,I-1,yes"}},
        {"typed into the main window after a swap nobody saw", true,
         [](Line& l) {
             auto& m = *l.rig.main;
             m.assetDialog.cmdExit.click();
             ASSERT_TRUE(l.line->next());
             m.identity.txtAssetID.setText("KV-5");
             std::int16_t enter = 13;
             m.identity.txtAssetID.keyPress(enter);
             ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 2; }, 60000));
             l.rig.clock.advance(5000);
         },
         {"2,KV-5,005,,yes"}},
        {"no customer chosen", false,
         [](Line& l) { l.provision("KV-1", "I-1"); },
         {"1,KV-1,<00,I-1,no: no client chosen"}},
    };
    for (const auto& c : cases) {
        Line l;
        l.begin(3, true);
        if (!c.customer) l.rig.main->identityWrite.txtSetClient.setText("");
        c.act(l);
        std::vector<std::string> rows;
        for (const auto& row : l.record()) {
            if (row == kv::app::ProvisioningRecord::kHeader) continue;
            auto f = kv::app::csvFields(row);
            ASSERT_EQ(f.size(), 10u) << c.name << ": " << row;
            std::string unit = "?";
            for (int k = 1; k <= l.line->count(); ++k)
                if (l.line->unit(k).mac == f[2]) unit = std::to_string(k);
            rows.push_back(unit + "," + f[5] + "," + f[6] + "," + f[7] + "," + f[9]);
        }
        EXPECT_EQ(rows, c.rows) << c.name;
    }
}

}  // namespace

namespace {

// A scan that lands in the main window while a controller is identified or
// provisioned (the asset dialog hidden) changes no box and sends nothing;
// once the flows are done, typing works again.
TEST(ControllersAsTheyCome, KeysTypedIntoTheMainWindowDuringAFlowAreRefused) {
    Line l;
    l.begin(2, false);
    auto& m = *l.rig.main;
    m.identityWrite.txtSetCounter.setText("2");
    m.receive.txtTerminal.setVisible(true);
    scan(m.assetDialog.txtScannedAsset, "KV-1");
    auto typeEverywhere = [&] {
        l.rig.takeWritten();
        int beeps = l.rig.beep.beeps;
        for (kv::ui::TextBox* box : {&m.identityWrite.txtSetCounter, &m.identityWrite.txtSetClient})
            for (char c : std::string("555")) {
                std::int16_t k = c;
                box->keyPress(k);
            }
        std::int16_t k = '5';
        m.receive.txtTerminal.keyPress(k);
        return std::pair{l.rig.beep.beeps - beeps, l.rig.takeWritten().size()};
    };
    std::int64_t now = 0;
    // The setting, its parameter read, the bulk write, the restart's wait, the identification.
    for (std::int64_t at : {300, 2500, 6000, 10000, 13000}) {
        l.rig.clock.advance(at - now);
        now = at;
        auto [beeps, frames] = typeEverywhere();
        EXPECT_EQ(beeps, 7) << at;
        EXPECT_EQ(frames, 0u) << at;
    }
    ASSERT_TRUE(waitFor(l.rig, [&] { return m.assetDialog.window.visible(); }, 30000));
    auto [beeps, frames] = typeEverywhere();
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(frames, 1u);  // the terminal's byte
}

}  // namespace

namespace {

// Whatever the moment of a swap, each row says only what is true of the
// controller its MAC names (an asset or client column holds what that
// controller holds), and every controller that took a write has a row.
TEST(ControllersAsTheyCome, EachRowIsTrueOfItsControllerAndNoneIsLost) {
    using kv::sim::SwapPoint;
    const struct {
        const char* name;
        std::vector<kv::sim::SwapDuring> swaps;  // by the line, after the step's answer
    } cases[] = {
        {"none", {}},
        {"swapped after its asset", {{1, SwapPoint::AssetSet}}},
        {"swapped after its client", {{1, SwapPoint::ClientSet}}},
        {"swapped during the bulk write", {{1, SwapPoint::BulkWrite}}},
        {"swapped after its asset, the next during the bulk write",
         {{1, SwapPoint::AssetSet}, {2, SwapPoint::BulkWrite}}},
    };
    for (const auto& c : cases) {
        Line l;
        l.begin(3, true);
        l.line->swapsDuring = c.swaps;
        l.scanController("KV-1", "I-1");
        ASSERT_TRUE(waitFor(l.rig, [&] { return l.rig.main->assetDialog.window.visible(); }, 60000)) << c.name;
        std::set<int> withRow;
        for (const auto& row : l.record()) {
            if (row == kv::app::ProvisioningRecord::kHeader) continue;
            auto f = kv::app::csvFields(row);
            ASSERT_EQ(f.size(), 10u) << row;
            for (int k = 1; k <= l.line->current(); ++k) {
                const auto& unit = l.line->unit(k);
                if (unit.mac != f[2]) continue;
                withRow.insert(k);
                if (!f[5].empty()) {
                    EXPECT_EQ(f[5], unit.asset) << c.name << ": " << row;
                }
                if (!f[6].empty()) {
                    EXPECT_EQ(f[6], unit.client) << c.name << ": " << row;
                }
            }
        }
        for (int k = 1; k <= l.line->current(); ++k) {
            const auto& unit = l.line->unit(k);
            bool written = !unit.asset.empty() || unit.client != "<00" || unit.params != l.line->factoryParams();
            if (written) {
                EXPECT_TRUE(withRow.count(k)) << c.name << ": controller " << k << " has no row\n"
                                              << readFile(l.recordPath());
            }
        }
    }
}

// The asset box of the main window takes a label too (typed or scanned into
// it, then Enter or SET ASSET): the same questions come before it is written.
TEST(ControllersAsTheyCome, AnAssetEnteredInTheMainWindowIsAskedAboutAsAScannedOne) {
    const struct {
        const char* name;
        bool earlierRun;  // KV-1 is in a record file of the logs folder
        const char* asset;
        bool enter;  // Enter in the box, else SET ASSET
    } cases[] = {
        {"18 characters, Enter", false, "KV-ABCDEFGHIJKLMNO", true},
        {"18 characters, SET ASSET", false, "KV-ABCDEFGHIJKLMNO", false},
        {"written in an earlier run, Enter", true, "KV-1", true},
    };
    for (const auto& c : cases) {
        Line l;
        if (c.earlierRun) {
            fs::path logs = l.rig.home.path() / "Documents" / "KV53_LOGS";
            fs::create_directories(logs);
            writeFile(logs / "RECORD_09_00_00_04_12_2026.csv",
                      std::string(kv::app::ProvisioningRecord::kHeader) +
                          "\r\n09:01:00 04/12/2026,0004A3B1C2FF,0004A3B1C2FF,12 34,K5b 162,KV-1,005,,,yes\r\n");
        }
        l.begin(1, false);
        auto& m = *l.rig.main;
        m.assetDialog.cmdExit.click();
        m.identity.txtAssetID.setText(c.asset);
        if (c.enter) {
            std::int16_t k = 13;
            m.identity.txtAssetID.keyPress(k);
        } else {
            m.identityWrite.cmdSetAssetID.click();
        }
        l.rig.clock.advance(3000);
        EXPECT_EQ(l.rig.messages.open.size(), 1u) << c.name << ": nobody was asked";
        EXPECT_EQ(l.line->unit(1).asset, "") << c.name << ": written without a word";
    }
}

}  // namespace

namespace {

// Every row of the record also goes to the record store, as this station
// wrote it; a store that fails is said with the row and the CSV row is kept;
// an asset another station wrote is asked about with its station.
TEST(RecordStore, TakesEveryRowAndAnswersWhereAnAssetWent) {
    const std::string asked =
        "Asset KV-1 was written to controller 0004A3B1C2FF at station LINE-2, 2026-12-05 10:42. Write it to this "
        "controller too?";
    const struct {
        const char* name;
        std::string brokenAtOpen, brokenLater;
        std::vector<std::string> said;  // the starts of the messages, in order
    } cases[] = {
        {"a store that works", "", "", {asked}},
        {"a store that cannot be opened", "file is not a database", "",
         {"The record store memory cannot be used: file is not a database"}},
        {"a store that fails a row", "", "disk I/O error",
         {asked, "The record store memory could not take this row: disk I/O error\n"}},
    };
    for (const auto& c : cases) {
        Line l;
        auto& store = l.rig.records;
        store.rows.push_back({1, "LINE-2", "2026-12-05 10:42:07",
                              {"10:42:07 05/12/2026", "0004A3B1C2FF", "0004A3B1C2FF", "12 34", "K5b 162", "KV-1", "005",
                               "", "", "yes"}});
        store.broken = c.brokenAtOpen;
        l.begin(3, false);
        auto& m = *l.rig.main;
        scan(m.assetDialog.txtScannedAsset, "KV-1");
        if (c.brokenAtOpen.empty()) {
            ASSERT_TRUE(l.rig.messages.press("No")) << c.name;
        }
        store.broken = c.brokenLater;
        l.provision("KV-2", "");
        std::vector<std::string> csv = l.record();
        ASSERT_GE(csv.size(), 2u) << c.name;
        if (c.brokenAtOpen.empty() && c.brokenLater.empty()) {
            ASSERT_EQ(store.rows.size(), 2u) << c.name;
            const auto& row = store.rows[1];
            EXPECT_EQ(row.number, 2) << c.name;
            EXPECT_EQ(row.station, "LINE-1") << c.name;
            EXPECT_EQ(row.writtenAt, "2026-12-05 " + row.fields[0].substr(0, 8)) << c.name;
            EXPECT_EQ(row.fields, kv::app::csvFields(csv.back())) << c.name;
        } else {
            EXPECT_EQ(store.rows.size(), 1u) << c.name;
        }
        std::vector<std::string> said;
        for (const auto& s : l.rig.messages.shown) said.push_back(s.text);
        ASSERT_EQ(said.size(), c.said.size()) << c.name << ": " << ::testing::PrintToString(said);
        for (std::size_t i = 0; i < said.size(); ++i)
            EXPECT_EQ(said[i].rfind(c.said[i], 0), 0u) << c.name << ": " << said[i];
    }
}

}  // namespace

namespace {

// With a shared record, the asset question asks it too: another station's
// row is named; a server that cannot be asked, or does not answer within a
// second, leaves this station's answer, and the question says so.
TEST(RecordStore, TheAssetQuestionAsksTheSharedRecordAndNeverWaitsOnIt) {
    const std::vector<std::string> elsewhere{"10:42:07 05/12/2026", "0004A3B1C2FF", "0004A3B1C2FF", "12 34",
                                             "K5b 162", "KV-1", "005", "", "", "yes"};
    const struct {
        const char* name;
        bool onServer, inLocal;  // KV-1 written before, at station LINE-2 / here
        std::string broken;
        bool silent;
        const char* asked;  // the question's end; nullptr: none, the asset written
    } cases[] = {
        {"on the server, from another station", true, false, "", false,
         "at station LINE-2, 2026-12-05 10:42. Write it to this controller too?"},
        {"nowhere", false, false, "", false, nullptr},
        {"the server away, here before", true, true, "could not connect to server", false,
         "too?\n(The shared record could not be asked: could not connect to server.)"},
        {"the server silent, here before", true, true, "", true,
         "too?\n(The shared record could not be asked: it did not answer within a second.)"},
        {"the server away, nowhere here", true, false, "could not connect to server", false, nullptr},
    };
    for (const auto& c : cases) {
        Line l;
        l.rig.useServer();
        if (c.onServer) l.rig.server.rows.push_back({1, "LINE-2", "2026-12-05 10:42:07", elsewhere});
        if (c.inLocal) l.rig.records.rows.push_back({1, "LINE-1", "2026-12-05 10:42:07", elsewhere});
        l.rig.server.broken = c.broken;
        l.rig.server.silent = c.silent;
        l.begin(2, false);
        scan(l.rig.main->assetDialog.txtScannedAsset, "KV-1");
        EXPECT_TRUE(l.rig.messages.open.empty()) << c.name << ": asked before the answer";
        l.rig.clock.advance(1100);
        if (!c.asked) {
            EXPECT_TRUE(l.rig.messages.open.empty()) << c.name;
            EXPECT_TRUE(waitFor(l.rig, [&] { return l.line->unit(1).asset == "KV-1"; }, 10000)) << c.name;
            continue;
        }
        ASSERT_EQ(l.rig.messages.open.size(), 1u) << c.name;
        const std::string& text = l.rig.messages.open[0].message.text;
        EXPECT_TRUE(text.size() >= std::strlen(c.asked) && text.compare(text.size() - std::strlen(c.asked),
                                                                         std::string::npos, c.asked) == 0)
            << c.name << ": " << text;
        l.rig.clock.advance(10000);
        EXPECT_EQ(l.line->unit(1).asset, "") << c.name << ": written before the answer";
    }
}

}  // namespace

namespace {

// A port in the settings file edited by hand to no port at all is shown,
// and used, as the default.
TEST(RecordStore, APortEditedByHandToNoPortIsTheDefault) {
    for (const char* port : {"1e20", "-5", "54.5", "abc", "5433"}) {
        Rig rig;
        rig.settings.values["KV53_Varkel_Comms/RecordStore/Port"] = port;
        rig.load();
        rig.main->window.menu("mnuRecordStore").click();
        EXPECT_EQ(rig.main->recordStore.txtPort.text(), std::string(port) == "5433" ? "5433" : "5432") << port;
    }
}

// Options > Record Store: what the boxes must hold, Test's answer, and OK,
// which keeps the settings and sends what waits to the server named.
TEST(RecordStore, TheDialogTestsAndKeepsTheSharedServer) {
    Rig rig;
    rig.platform.servers = &rig.servers;
    rig.records.rows.push_back({1, "LINE-1", "2026-12-05 10:42:07",
                                {"10:42:07 05/12/2026", "M", "M", "", "", "KV-1", "005", "", "", "yes"}});
    rig.load();
    auto& d = rig.main->recordStore;
    EXPECT_EQ(rig.servers.connected.size(), 0u);  // no host named: no server
    rig.main->window.menu("mnuRecordStore").click();
    ASSERT_TRUE(d.window.visible());
    EXPECT_EQ(d.txtPort.text(), "5432");
    EXPECT_EQ(d.txtDatabase.text(), "kv5x");
    const struct {
        const char* host;
        const char* port;
        const char* user;
        std::string broken;
        const char* said;  // after Test and the server's answer
    } cases[] = {
        {"", "5432", "", "", "No server: the records stay on this station."},
        {"db1", "54x", "station", "", "The port must be a whole number from 1 to 65535."},
        {"db1", "5432", "", "", "A server needs a database and a user."},
        {"db1", "5432", "station", "password authentication failed for user \"station\"",
         "Could not connect: password authentication failed for user \"station\""},
        {"db1", "5433", "station", "", "Connected: 0 rows on the server."},
    };
    for (const auto& c : cases) {
        rig.server.broken = c.broken;
        d.txtHost.setText(c.host);
        d.txtPort.setText(c.port);
        d.txtUser.setText(c.user);
        d.cmdTest.click();
        rig.clock.advance(100);
        EXPECT_EQ(d.lblTest.caption(), c.said) << c.host << " " << c.port;
    }
    // A server away keeps the row waiting, and says so; OK names the server
    // tested, which takes what waits.
    rig.server.broken = "could not connect to server";
    d.cmdOK.click();
    EXPECT_FALSE(d.window.visible());
    ASSERT_EQ(rig.servers.connected.size(), 3u);  // the two Tests that reached it, then OK's
    EXPECT_TRUE(rig.servers.connected.back() == (kv::platform::ServerSettings{"db1", 5433, "kv5x", "station"}));
    EXPECT_EQ(rig.settings.load("KV53_Varkel_Comms", "RecordStore", "Port"), "5433");
    rig.clock.advance(1000);
    EXPECT_EQ(rig.main->sender.lblRecords.caption(), "Records: 1 waiting for the server");
    rig.server.broken.clear();
    rig.clock.advance(6000);
    EXPECT_EQ(rig.main->sender.lblRecords.caption(), "");
    ASSERT_EQ(rig.server.rows.size(), 1u);
    EXPECT_EQ(rig.server.rows[0].fields[5], "KV-1");
}

}  // namespace

namespace {

// File > Records with a shared server: this station's rows at once, then
// every station's when the server answers; one that cannot be read, or is
// silent for five seconds, leaves this station's rows and says why.
TEST(RecordStore, TheRecordsWindowShowsTheSharedRecordWhenItAnswers) {
    auto row = [](const char* station, const char* asset) {
        return kv::platform::StoredRow{1, station, "2026-12-05 10:42:07",
                                       {"10:42:07 05/12/2026", "M", "M", "", "", asset, "005", "", "", "yes"}};
    };
    const struct {
        std::string broken;
        bool silent;
        const char* said;  // after the answer, or the time-out
        std::vector<std::string> stations;
    } cases[] = {
        {"", false, "2 rows on the shared record kv5x on server", {"LINE-2", "LINE-1"}},
        {"could not connect to server", false,
         "1 row of this station; the shared record kv5x on server could not be read: could not connect to server",
         {"LINE-1"}},
        {"", true, "1 row of this station; the shared record kv5x on server could not be read: it did not answer "
                   "within 5 seconds",
         {"LINE-1"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.useServer();
        rig.records.rows.push_back(row("LINE-1", "KV-1"));
        rig.server.rows = {row("LINE-1", "KV-1"), row("LINE-2", "KV-2")};
        rig.records.sentUpTo = 1;  // on the server already
        rig.load();
        rig.server.broken = c.broken;
        rig.server.silent = c.silent;
        auto& w = rig.main->records;
        rig.main->window.menu("mRecords").click();
        EXPECT_EQ(w.lblFound.caption(), "1 row of this station; asking the shared record kv5x on server...");
        rig.clock.advance(kv::app::frmRecords::kSharedMs + 100);
        EXPECT_EQ(w.lblFound.caption(), c.said);
        std::vector<std::string> stations;
        for (const auto& r : w.grdRecords.rows()) stations.push_back(r[0]);
        EXPECT_EQ(stations, c.stations) << c.said;
        EXPECT_TRUE(w.cmdExport.enabled());
    }
}

}  // namespace

namespace {

// This station's rows still on their way to the server stay in File >
// Records when the server answers: opened while the first batch of 100 is in
// flight, or before the next try after an outage.
TEST(RecordStore, RowsOnTheirWayToTheServerStayInTheRecordsWindow) {
    for (std::int64_t openAtMs : {std::int64_t(kv::app::RecordSender::kRetryMs + 55), std::int64_t(2000)}) {
        Rig rig;
        rig.useServer();
        for (int n = 1; n <= 150; ++n)
            rig.records.rows.push_back({n, "LINE-1", "2026-12-05 10:42:07",
                                        {"10:42:07 05/12/2026", "M", "M", "", "", "KV-" + std::to_string(n), "005", "",
                                         "", "yes"}});
        rig.server.rows.push_back({1, "LINE-2", "2026-12-04 09:00:00",
                                   {"09:00:00 04/12/2026", "N", "N", "", "", "KV-2001", "012", "", "", "yes"}});
        rig.server.broken = "could not connect to server";
        rig.load();
        rig.clock.advance(100);
        ASSERT_EQ(rig.main->sender.lblRecords.caption(), "Records: 150 waiting for the server");
        rig.server.broken.clear();
        rig.clock.advance(openAtMs - 100);
        auto& w = rig.main->records;
        rig.main->window.menu("mRecords").click();
        rig.clock.advance(kv::app::frmRecords::kSharedMs + 100);
        std::size_t mine = 0, other = 0;
        for (const auto& r : w.grdRecords.rows()) (r[0] == "LINE-1" ? mine : other)++;
        EXPECT_EQ(mine, 150u) << openAtMs << ": " << w.lblFound.caption();
        EXPECT_EQ(other, 1u) << openAtMs;
        EXPECT_EQ(w.grdRecords.rows().back()[0], "LINE-2") << openAtMs << ": the older row last";
    }
}

}  // namespace
