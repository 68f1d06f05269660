#pragma once
// The record: one row per provisioned controller, written when the
// identification that follows its parameter write and restart is done. Each
// column holds what its name says, as read back then, and Verified says
// whether the controller holds what was written to it.
#include <optional>
#include <string>
#include <vector>

#include "app/ProvisioningLog.h"
#include "controller/Identity.h"
#include "link/Replies.h"

namespace kv::app {

// A field as RFC 4180 writes it: quoted, with doubled quotes, when it holds a
// comma, a quote or a line break.
std::string csvField(const std::string& text);

class ProvisioningRecord {
public:
    static constexpr const char* kHeader =
        "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified";

    struct WrittenValue {
        std::string id;  // parameter number as text
        int value;
    };

    [[nodiscard]] bool create(const std::filesystem::path& folder, const std::string& stamp, std::string& error) {
        return file_.create(folder, stamp, error);
    }
    void close() { file_.close(); }
    const std::filesystem::path& path() const { return file_.path(); }

    // What goes to the controller being provisioned. A scan starts the
    // notes of a new controller; a row still waiting for its read-back is
    // written first, marked as not read back (the technician has moved on).
    [[nodiscard]] bool Scanned(const std::string& custom1, const std::string& custom2, const std::string& when,
                               std::string& error);
    void AssetWritten(const std::string& asset);
    void ClientWritten(const std::string& client);
    // A parameter write starts: the controller is provisioned. A write still
    // waiting for its read-back gets its row first, marked as not read back
    // (false with the reason when that row could not be written).
    [[nodiscard]] bool ParamsWriteStarted(std::vector<WrittenValue> values, const std::string& when,
                                          std::string& error);
    // A reply arrived: after a parameter write, what it read is kept for the
    // row (the identity replies' readings, the parameter reply's values).
    void Replied(link::Reply reply, const controller::Identity::Readings& now, const std::vector<int>& params);

    // An identification is done. After a parameter write it is the
    // controller's read-back: its row is written (true when there is none to
    // write or it reached the disk; false with the reason otherwise) and the
    // notes cleared. Before the write (a REFRESH, a replug) the notes stay.
    [[nodiscard]] bool Identified(const std::string& when, std::string& error);
    // The program ends with a row still waiting for its read-back: it is
    // written with what is known, marked as not read back.
    [[nodiscard]] bool Flush(const std::string& when, std::string& error);

    bool pending() const { return pending_; }
    // The row that the last Identified or Flush wrote or failed to write.
    const std::string& lastRow() const { return lastRow_; }

private:
    std::string verified() const;
    [[nodiscard]] bool writeRow(const std::string& when, const std::string& verified, std::string& error);
    void clear();

    LogFile file_{"RECORD_", kHeader};
    bool pending_ = false;
    std::optional<std::string> asset_, client_;
    std::string custom1_, custom2_;
    std::vector<WrittenValue> written_;
    // Read back after the parameter write: which replies came, and what they said.
    bool sawClient_ = false, sawAsset_ = false, sawParams_ = false;
    controller::Identity::Readings read_;
    std::vector<int> readParams_;
    std::string lastRow_;
};

}  // namespace kv::app
