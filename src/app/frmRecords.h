#pragma once
// File > Records: the record store as a table, newest first, filtered by
// asset, MAC, client, station, date and Verified, and exported as shown in
// the record's CSV format. With a shared server in use, this station's rows
// are shown at once and the server's, of every station, when they come.
#include <array>
#include <string>
#include <vector>

#include "app/ProvisioningRecord.h"
#include "app/RecordSender.h"
#include "platform/Platform.h"
#include "ui/Window.h"

namespace kv::app {

class frmRecords {
public:
    // The filters in the order of their boxes.
    static constexpr std::array<const char*, 6> kFilters{"Asset", "MAC", "Client", "Station", "Date", "Verified"};
    // The most rows a search shows.
    static constexpr int kMostRows = 1000;
    // How long the shared server's answer is waited for.
    static constexpr int kSharedMs = 5000;

    frmRecords(platform::Platform& platform, const ProvisioningRecord& record, RecordSender& sender);
    frmRecords(const frmRecords&) = delete;
    frmRecords& operator=(const frmRecords&) = delete;

    // Shows the window with the newest rows that pass the filters.
    void Open();
    void cmdFind_Click();
    void cmdExport_Click();

    ui::Window window;
    ui::TextBox& txtFilter(int i) { return *filters_[std::size_t(i)]; }
    ui::Label& lblFilter(int i) { return *labels_[std::size_t(i)]; }
    ui::Table& grdRecords;
    ui::Label& lblFound;
    ui::Button& cmdFind;
    ui::Button& cmdExport;
    ui::Button& cmdClose;
    ui::Timer& tmrShared;

private:
    void show(std::vector<platform::StoredRow> rows);
    static std::string counted(std::size_t n);
    void sharedAnswer(std::vector<platform::StoredRow> rows, const std::string& error);

    platform::Platform& platform_;
    const ProvisioningRecord& record_;
    RecordSender& sender_;
    int asked_ = 0;  // the search whose shared answer is awaited
    std::string local_;  // what this station's rows were, while the server is asked
    std::vector<platform::StoredRow> localRows_;  // and the rows themselves
    std::array<ui::TextBox*, kFilters.size()> filters_;
    std::array<ui::Label*, kFilters.size()> labels_;
    std::vector<platform::StoredRow> shown_;
};

}  // namespace kv::app
