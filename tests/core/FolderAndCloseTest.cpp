// The logs folder taken away while the program runs, and the row a close
// writes for a controller whose label was cut to its first 15 characters.
#include <gtest/gtest.h>

#include <functional>

#include "app/ProvisioningRecord.h"
#include "tests/support/BatchHelpers.h"

using namespace kv::test;
namespace fs = std::filesystem;

namespace {

bool mentions(const Rig& rig, const std::string& text) {
    for (const auto& m : rig.messages.shown)
        if (m.text.find(text) != std::string::npos) return true;
    return false;
}

// The folder of the log and the record is removed after start (a clean-up
// script, a technician tidying up). A row written after that must be in a
// file on the disk, or a message must name the file and why it is not.
TEST(FolderGone, ARowAfterTheLogsFolderWasRemovedIsOnDiskOrSaid) {
    const struct {
        const char* name;
        std::function<fs::path(Rig&)> writeRow;  // returns the file the row goes to
        const char* row;                         // a part of the row
    } cases[] = {
        {"the log's row",
         [](Rig& rig) {
             auto& m = *rig.main;
             m.identity.txtAssetID.setText("");  // the checksum reply then writes a row
             m.identity.cmdGetCheckSum.press();
             rig.clock.advance(200);
             return m.log.path();
         },
         "1A 2B"},
        {"the record's row",
         [](Rig& rig) {
             auto& m = *rig.main;
             m.identity.txtAssetID.setText("KV-1");
             m.identityWrite.cmdSetAssetID.click();
             rig.clock.advance(2000);
             m.serviceMode.cmdRefreshNextController.click();
             rig.clock.advance(8000);
             return m.record.path();
         },
         ",KV-1,"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.identify();
        rig.messages.shown.clear();
        fs::path logs = fs::path(rig.folders.documentsPath) / "KV53_LOGS";
        ASSERT_TRUE(fs::is_directory(logs)) << c.name;
        fs::remove_all(logs);
        fs::path file = c.writeRow(rig);
        bool onDisk = readFile(file).find(c.row) != std::string::npos;
        bool said = mentions(rig, file.string());
        EXPECT_TRUE(onDisk || said) << c.name << ": the row went to a file no longer on the disk, and nothing was said";
    }
}

// A label of 18 characters written as its first 15: the row a close writes
// still says which label was scanned, as the read-back row does.
TEST(CloseRow, KeepsTheLabelAnAssetWasCutFrom) {
    const struct {
        const char* name;
        std::function<bool(Line&)> when;
        std::int64_t after;  // ms from `when` to the close
        std::function<void(Line&)> close;
    } cases[] = {
        {"the window closed while it is not back from its restart",
         [](Line& l) { return l.rig.main->bulkWrite.restarting(); }, 8000,
         [](Line& l) { l.rig.main->window.unload(); }},
        {"a signal during its parameter write",
         [](Line& l) { return l.rig.main->bulkWrite.frame() >= 3; }, 300,
         [](Line& l) { l.rig.main->CloseNow(); }},
    };
    for (const auto& c : cases) {
        Line l;
        l.begin(3, true);
        l.rig.controller.modes.restartMs = 600000;  // never back
        auto& m = *l.rig.main;
        scan(m.assetDialog.txtScannedAsset, "KV-ABCDEFGHIJKLMNO");
        ASSERT_TRUE(l.rig.messages.press("Write the first 15")) << c.name;
        scan(m.assetDialog.txtCustom1(0), "I-1");
        ASSERT_TRUE(waitFor(l.rig, [&] { return c.when(l); }, 30000)) << c.name;
        l.rig.clock.advance(c.after);
        c.close(l);
        auto rows = l.record();
        ASSERT_EQ(rows.size(), 2u) << c.name;
        auto f = kv::app::csvFields(rows[1]);
        ASSERT_EQ(f.size(), 10u) << c.name << ": " << rows[1];
        EXPECT_EQ(f[5], "KV-ABCDEFGHIJKL") << c.name;
        EXPECT_EQ(f[7], "I-1") << c.name;
        EXPECT_TRUE(rows[1].find("KV-ABCDEFGHIJKLMNO") != std::string::npos)
            << c.name << ": the label scanned is not in the row: " << rows[1];
    }
}

}  // namespace
