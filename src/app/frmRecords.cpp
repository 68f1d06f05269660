#include "app/frmRecords.h"

#include <filesystem>

#include "platform/Files.h"
#include "ui/Text.h"

namespace kv::app {

frmRecords::frmRecords(platform::Platform& platform, const ProvisioningRecord& record)
    : window("frmRecords", platform.timers),
      grdRecords(window.table("grdRecords")),
      lblFound(window.label("lblFound")),
      cmdFind(window.button("cmdFind")),
      cmdExport(window.button("cmdExport")),
      cmdClose(window.button("cmdClose")),
      platform_(platform),
      record_(record) {
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
}

void frmRecords::Open() {
    window.show();
    cmdFind_Click();
}

void frmRecords::cmdFind_Click() {
    shown_.clear();
    std::vector<ui::Table::Row> rows;
    platform::RecordStore* store = record_.store();
    std::string error;
    if (!store) {
        lblFound.setCaption("No record store is open: the rows are in the RECORD files of the logs folder.");
    } else {
        platform::RowFilter f;
        std::string* texts[] = {&f.asset, &f.mac, &f.client, &f.station, &f.date, &f.verified};
        for (std::size_t i = 0; i < kFilters.size(); ++i) *texts[i] = ui::trim(filters_[i]->text());
        f.limit = kMostRows;
        if (!store->find(f, shown_, error)) {
            lblFound.setCaption("The record store " + store->location() + " cannot be read: " + error);
        } else {
            for (const auto& r : shown_) {
                ui::Table::Row row{r.station};
                row.insert(row.end(), r.fields.begin(), r.fields.end());
                rows.push_back(std::move(row));
            }
            std::string count = std::to_string(shown_.size()) + (shown_.size() == 1 ? " row" : " rows");
            lblFound.setCaption(int(shown_.size()) == kMostRows ? "The newest " + count + " shown" : count);
        }
    }
    grdRecords.setRows(std::move(rows));
    cmdExport.setEnabled(!shown_.empty());
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
