// The record of provisioned controllers and the durability of every line the
// log and the record write.
#include <gtest/gtest.h>

#include "app/ProvisioningRecord.h"
#include "sim/ProductionLine.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
namespace fs = std::filesystem;

namespace {

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

}  // namespace

namespace {

struct Batch : ::testing::Test {
    // A line of `count` controllers; the dashboard starts, identifies the
    // first, and the technician chooses the customer and sets the count.
    void begin(int count, bool imei) {
        line = std::make_unique<kv::sim::ProductionLine>(rig.controller, count);
        line->autoSwap = true;
        rig.identify();
        auto& m = *rig.main;
        m.customers.cboCLientList.choose(1);  // 005 - Acme Refrigeration Ltd
        ASSERT_EQ(m.identityWrite.txtSetClient.text(), "005");
        m.assetDialog.chkCustom1(0).setChecked(imei);
        m.identityWrite.txtSetCounter.setText(std::to_string(count));
        m.identityWrite.cmdSetCounter.click();
    }
    void provision(const std::string& asset, const std::string& imei) {
        auto& d = rig.main->assetDialog;
        ASSERT_TRUE(waitFor(rig, [&] { return d.window.visible(); }, 30000)) << asset;
        scan(d.txtScannedAsset, asset);
        if (!imei.empty()) scan(d.txtCustom1(0), imei);
        ASSERT_FALSE(d.window.visible());
        // Provisioned once its record row is written.
        std::size_t rows = recordLines().size();
        ASSERT_TRUE(waitFor(rig, [&] { return recordLines().size() > rows; }, 40000)) << asset;
    }
    fs::path recordPath() const { return rig.main->record.path(); }
    std::vector<std::string> recordLines() const { return crlfLines(readFile(recordPath())); }

    Rig rig;
    std::unique_ptr<kv::sim::ProductionLine> line;
};

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
    auto rows = recordLines();
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
    ASSERT_TRUE(waitFor(rig, [&] { return recordLines().size() == 2; }, 20000));
    std::string row = recordLines()[1];
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
    auto rows = recordLines();
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
    auto rows = recordLines();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find("no: not identified after its restart"), std::string::npos) << rows[1];
}

}  // namespace
