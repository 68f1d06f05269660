// The record of provisioned controllers, a batch provisioned from the
// outside (what reaches the controller and what the files hold on disk, with
// the real main window against the virtual line on the virtual clock), and
// the durability of every line the log and the record write.
#include <gtest/gtest.h>

#include "app/ProvisioningLog.h"
#include "app/ProvisioningRecord.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
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
    ASSERT_TRUE(waitFor(rig, [&] { return rig.main->bulkWrite.bRestarting; }, 20000));
    rig.controller.state.params[11] = 999;
    rig.controller.state.params[29] = 0;
    ASSERT_TRUE(waitFor(rig, [&] { return record().size() == 2; }, 20000));
    std::string row = record()[1];
    const std::string verified = ",\"no: P012, P030\"";
    ASSERT_GT(row.size(), verified.size());
    EXPECT_EQ(row.substr(row.size() - verified.size()), verified) << row;
}

TEST_F(Batch, AScanWhileARowWaitsWritesThatRowFirst) {
    begin(2, false);
    rig.controller.modes.restartMs = 600000;  // never back after its restart
    auto& m = *rig.main;
    scan(m.assetDialog.txtScannedAsset, "KV-5001");
    ASSERT_TRUE(waitFor(rig, [&] { return m.record.pending() && !m.bulkWrite.tmrSetMultipleParams.enabled(); }, 30000));
    // The technician gives up on it and scans the next one.
    m.identityWrite.cmdSetCounter.click();
    scan(m.assetDialog.txtScannedAsset, "KV-5002");
    auto rows = record();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find("no: the next controller was scanned before it was read back"), std::string::npos)
        << rows[1];
    EXPECT_TRUE(rig.messages.shown.empty());
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

}  // namespace
