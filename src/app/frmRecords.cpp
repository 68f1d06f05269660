#include "app/frmRecords.h"

#include <algorithm>
#include <filesystem>

#include "platform/Files.h"
#include "ui/Text.h"

namespace kv::app {

frmRecords::frmRecords(platform::Platform& platform, const ProvisioningRecord& record, RecordSender& sender)
    : window("frmRecords", platform.timers),
      grdRecords(window.table("grdRecords")),
      lblFound(window.label("lblFound")),
      cmdFind(window.button("cmdFind")),
      cmdExport(window.button("cmdExport")),
      cmdClose(window.button("cmdClose")),
      tmrShared(window.timer("tmrShared")),
      platform_(platform),
      record_(record),
      sender_(sender) {
    window.setCaption("Records");
    for (std::size_t i = 0; i < kFilters.size(); ++i) {
        labels_[i] = &window.label(ui::item("lblFilter", int(i)));
        filters_[i] = &window.textBox(ui::item("txtFilter", int(i)));
        labels_[i]->setCaption(kFilters[i]);
        // Enter in a filter box finds, as the Find button does.
        filters_[i]->onKeyPress = [this](std::int16_t& k) {
            if (k != 13) return;
            k = 0;
            cmdFind_Click();
        };
    }
    std::vector<std::string> columns{"Station"};
    for (std::string& name : csvFields(ProvisioningRecord::kHeader)) columns.push_back(name);
    grdRecords.setColumns(columns);
    cmdFind.setCaption("Find");
    cmdExport.setCaption("Export...");
    cmdClose.setCaption("Close");
    cmdFind.onClick = [this] { cmdFind_Click(); };
    cmdExport.onClick = [this] { cmdExport_Click(); };
    cmdClose.onClick = [this] { window.unload(); };
    tmrShared.setEnabled(false);
    tmrShared.setInterval(kSharedMs);
    tmrShared.onTick = [this] {
        sharedAnswer({}, "it did not answer within " + std::to_string(kSharedMs / 1000) + " seconds");
    };
}

void frmRecords::Open() {
    window.show();
    cmdFind_Click();
}

std::string frmRecords::counted(std::size_t n) {
    std::string count = std::to_string(n) + (n == 1 ? " row" : " rows");
    return int(n) == kMostRows ? "The newest " + count : count;
}

void frmRecords::show(std::vector<platform::StoredRow> rows) {
    shown_ = std::move(rows);
    std::vector<ui::Table::Row> table;
    for (const auto& r : shown_) {
        ui::Table::Row row{r.station};
        row.insert(row.end(), r.fields.begin(), r.fields.end());
        table.push_back(std::move(row));
    }
    grdRecords.setRows(std::move(table));
    cmdExport.setEnabled(!shown_.empty());
}

void frmRecords::cmdFind_Click() {
    platform::RowFilter f;
    std::string* texts[] = {&f.asset, &f.mac, &f.client, &f.station, &f.date, &f.verified};
    for (std::size_t i = 0; i < kFilters.size(); ++i) *texts[i] = ui::trim(filters_[i]->text());
    f.limit = kMostRows;

    // This station's rows first, at once.
    std::vector<platform::StoredRow> rows;
    platform::RecordStore* store = record_.store();
    std::string error;
    if (!store) {
        local_ = "No record store is open: the rows are in the RECORD files of the logs folder.";
    } else if (!store->find(f, rows, error)) {
        local_ = "The record store " + store->location() + " cannot be read: " + error;
        rows.clear();
    } else {
        local_ = counted(rows.size());
    }
    localRows_ = rows;
    show(std::move(rows));

    // Then every station's, from the shared server; an earlier search's
    // answer is for nobody.
    const int question = ++asked_;
    tmrShared.setEnabled(false);
    if (!sender_.findShared(f, [this, question](std::vector<platform::StoredRow> found, const std::string& e) {
            if (question == asked_ && tmrShared.enabled()) sharedAnswer(std::move(found), e);
        })) {
        lblFound.setCaption(local_);
        return;
    }
    if (store) local_ += " of this station";
    lblFound.setCaption(local_ + "; asking the shared record " + sender_.sharedLocation() + "...");
    tmrShared.setEnabled(true);
}

void frmRecords::sharedAnswer(std::vector<platform::StoredRow> rows, const std::string& error) {
    tmrShared.setEnabled(false);
    ++asked_;
    if (!error.empty()) {
        lblFound.setCaption(local_ + "; the shared record " + sender_.sharedLocation() + " could not be read: " + error);
        return;
    }
    // This station's rows still on their way to the server stay in the
    // table, among the server's by the time they were written.
    std::size_t waiting = 0;
    for (const auto& mine : localRows_) {
        const bool there = std::any_of(rows.begin(), rows.end(), [&](const platform::StoredRow& r) {
            return r.station == mine.station && r.number == mine.number;
        });
        if (!there) {
            rows.push_back(mine);
            ++waiting;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const platform::StoredRow& a, const platform::StoredRow& b) {
        return a.writtenAt > b.writtenAt;
    });
    if (rows.size() > std::size_t(kMostRows)) rows.resize(std::size_t(kMostRows));
    std::string caption = counted(rows.size()) + " on the shared record " + sender_.sharedLocation();
    if (waiting > 0) caption += " and this station (" + std::to_string(waiting) + " not yet sent)";
    lblFound.setCaption(caption);
    show(std::move(rows));
}

void frmRecords::cmdExport_Click() {
    std::string path = platform_.fileDialog.save(
        {"Export Records", (std::filesystem::path(platform_.folders.documents()) / "KV53_LOGS").string(),
         "CSV Files (*.csv)|*.csv|All files (*.*)|*.*", "csv"});
    if (path.empty()) return;  // cancelled
    std::string content = std::string(ProvisioningRecord::kHeader) + "\r\n";
    for (const auto& r : shown_) {
        for (std::size_t i = 0; i < r.fields.size(); ++i) content += (i ? "," : "") + csvField(r.fields[i]);
        content += "\r\n";
    }
    std::string error;
    if (!platform::writeWholeFile(path, content, error)) {
        platform_.messageBox.show("The records were not exported to " + path + ": " + error + ".",
                                  platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
        return;
    }
    lblFound.setCaption(std::to_string(shown_.size()) + (shown_.size() == 1 ? " row" : " rows") + " exported to " +
                        path);
}

}  // namespace kv::app
