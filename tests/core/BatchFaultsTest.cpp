// Provisioning a batch from the outside: what reaches the controller, what
// the technician sees, and what the log and the record hold on disk, with
// the real main window against the virtual controller on the virtual clock.
#include <gtest/gtest.h>

#include <memory>

#include "app/ProvisioningLog.h"
#include "app/ProvisioningRecord.h"
#include "sim/ProductionLine.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- helpers

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

// A production line of factory-fresh controllers; the dashboard has
// identified the first, the technician has picked customer 005, ticked the
// IMEI box and set the count, so the scan dialog is waiting.
struct Line {
    explicit Line(int count) {
        line = std::make_unique<kv::sim::ProductionLine>(rig.controller, count);
        line->autoSwap = true;
        rig.identify();
        auto& m = *rig.main;
        m.customers.cboCLientList.choose(1);  // 005 - Acme Refrigeration Ltd
        m.assetDialog.chkCustom1(0).setChecked(true);
        m.identityWrite.txtSetCounter.setText(std::to_string(count));
        m.identityWrite.cmdSetCounter.click();
    }
    kv::app::frmMain& m() { return *rig.main; }
    std::vector<std::string> record() { return crlfLines(readFile(rig.main->record.path())); }
    void scanController(const std::string& asset, const std::string& imei) {
        scan(m().assetDialog.txtScannedAsset, asset);
        scan(m().assetDialog.txtCustom1(0), imei);
    }
    // The cable comes out `afterMs` after now and goes back `forMs` later.
    void pullCable(std::int64_t afterMs, std::int64_t forMs) {
        rig.clock.advance(afterMs);
        rig.port.unplug();
        rig.clock.advance(forMs);
        rig.port.freePorts.insert(rig.port.controllerPort);
    }

    Rig rig;
    std::unique_ptr<kv::sim::ProductionLine> line;
};

// ---------------------------------------------------------------- the record

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
        Line l(1);
        ASSERT_TRUE(l.m().assetDialog.window.visible()) << c.name;
        l.rig.controller.modes.storeClient = c.controllerKeepsClient;
        if (c.what == Disturbance::RefreshThenScan) {
            l.m().serviceMode.cmdRefreshNextController.click();
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
        Line l(2);
        l.scanController("KV-8001", "356938035648001");
        l.pullCable(500, c.outMs);
        ASSERT_TRUE(waitFor(l.rig, [&] { return l.record().size() >= 2; }, 60000)) << c.outMs;
        EXPECT_EQ(l.line->unit(1).asset, "KV-8001") << "cable out for " << c.outMs << " ms";
        auto row = fieldsOf(l.record()[1]);
        ASSERT_EQ(row.size(), 10u);
        EXPECT_EQ(row[5], "KV-8001") << "cable out for " << c.outMs << " ms";
    }
}

// ---------------------------------------------------------------- durability

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
