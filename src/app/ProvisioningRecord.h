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
#include "controller/AssetCheck.h"
#include "link/Requests.h"
#include "platform/Listeners.h"
#include "platform/RecordStore.h"

namespace kv::app {

// A field as RFC 4180 writes it: quoted, with doubled quotes, when it holds a
// comma, a quote or a line break.
std::string csvField(const std::string& text);

// The fields of one line of a CSV file as csvField writes them.
std::vector<std::string> csvFields(const std::string& line);

class ProvisioningRecord {
public:
    static constexpr const char* kHeader =
        "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified";

    using Readings = controller::Identity::Readings;

    struct WrittenValue {
        std::string id;  // parameter number as the definitions give it
        int number;      // the parameter number, 0 when none
        int value;
    };
    using AssetUse = controller::AssetHistory::Use;

    // Creates this run's file in `folder`; the rows of the record files
    // already there are remembered for their assets.
    [[nodiscard]] bool create(const std::filesystem::path& folder, const std::string& stamp, std::string& error);
    // Every row also goes to `store`, as written by `station`, in the same
    // step as its CSV line; the store is asked first where an asset went.
    void useStore(platform::RecordStore* store, std::string station) {
        store_ = store;
        station_ = std::move(station);
    }
    // The store in use; none when there is none or it could not be opened.
    platform::RecordStore* store() const { return store_; }
    // A row the store could not take: where, why, and the row.
    using StoreFailure = std::function<void(const std::string&, const std::string&, const std::string&)>;
    int listenStoreFailures(StoreFailure l) { return storeFailed_.add(std::move(l)); }
    // A row reached the store.
    int listenStored(std::function<void()> l) { return stored_.add(std::move(l)); }
    void close() { file_.close(); }
    const std::filesystem::path& path() const { return file_.path(); }

    // A scan starts the notes of the next controller. One written to but
    // not yet read back gets its row first (the technician has moved on).
    [[nodiscard]] bool Scanned(const std::string& custom1, const std::string& custom2, const std::string& when,
                               std::string& error);
    // The asset of the scan is its label's first 15 characters, as the
    // technician chose: the row says so.
    void AssetCut(const std::string& label) { cutFrom_ = label; }

    // What went to the controller on the line, which `onLine` describes as
    // last identified: the first write makes it the controller of the notes.
    void AssetWritten(const std::string& asset, const Readings& onLine, const std::string& when);
    void ClientWritten(const std::string& client, const Readings& onLine);
    // A parameter write starts. One started before and not yet read back
    // gets its row first (false with the reason when it could not be written).
    [[nodiscard]] bool ParamsWriteStarted(std::vector<WrittenValue> values, const Readings& onLine,
                                          const std::string& when, std::string& error);
    // A reply arrived: after a write, what it read is kept for the row; SET
    // CLIENT's word that it had no client to send is noted.
    // `check`: a MAC asked for right after a write, not by an identification.
    void Replied(link::Reply reply, const Readings& now, const std::vector<int>& params, bool check);

    // An identification is done. The controller written to is read back:
    // its row is written once its parameter write has started, or at once
    // when no provisioning is running (a set by hand). When another
    // controller answered, the one written to was replaced: it gets its row,
    // and so does the newcomer once the writes had reached it. True when
    // nothing was to be written or every row reached the disk.
    [[nodiscard]] bool Identified(const std::string& when, bool provisioning, std::string& error);
    // The program ends before the read-back: the row is written with what
    // is known, `why` says what happened ("no: ...").
    [[nodiscard]] bool Flush(const std::string& when, const std::string& why, std::string& error);

    // A controller of this run's notes was written to and not yet read back.
    bool pending() const { return touched_; }
    bool paramsStarted() const { return !written_.empty(); }
    // Where `asset` was last written: the notes, or the last row of a record
    // file of the folder whose asset it is.
    std::optional<AssetUse> assetUse(const std::string& asset) const;
    // The row that the last write wrote or failed to write.
    const std::string& lastRow() const { return lastRow_; }

private:
    std::string verified() const;
    void touch(const Readings& onLine);
    // A row of the controller the notes describe: as read back, as the
    // notes know it, or as known of one replaced.
    enum class Source { ReadBack, Notes, Replaced };
    [[nodiscard]] bool writeRow(const std::string& when, const std::string& verified, Source source,
                                std::string& error);
    [[nodiscard]] bool writeFields(std::vector<std::string> fields, std::string& error);
    // The row of the controller the notes describe, replaced: only what is
    // known to have reached it.
    std::vector<std::string> replacedFields(const std::string& when) const;
    // Another MAC after a write: the controller written to was replaced; the
    // writes not yet known to have reached it went to the newcomer.
    void handOver(const std::string& mac);
    [[nodiscard]] bool writeReplaced(const std::string& when, std::string& error);
    void clear();

    LogFile file_{"RECORD_", kHeader};
    bool touched_ = false;
    Readings subject_;  // the controller written to, as identified before
    bool known_ = false;      // subject_ names it by its MAC
    bool expectNew_ = false;  // scanned for: the controller on the line is not known yet
    // Written since the last MAC that named the controller: not yet known to
    // have reached it.
    bool assetUnsure_ = false, clientUnsure_ = false;
    // Controllers taken off the line in the middle of their writes, found by
    // a MAC after a write: their rows go out at the next chance to write.
    std::vector<std::vector<std::string>> replaced_;
    std::optional<std::string> asset_, client_;
    std::string assetWhen_, cutFrom_;
    bool clientSkipped_ = false;
    std::string custom1_, custom2_;
    std::vector<WrittenValue> written_;
    // Read back after the last write: which replies came, and what they said.
    bool sawClient_ = false, sawAsset_ = false, sawParams_ = false;
    Readings read_;
    std::vector<int> readParams_;
    std::string lastRow_;
    std::vector<std::pair<std::string, AssetUse>> assets_;  // asset, where it went; oldest first
    platform::RecordStore* store_ = nullptr;
    std::string station_;
    platform::Listeners<const std::string&, const std::string&, const std::string&> storeFailed_;
    platform::Listeners<> stored_;
};

}  // namespace kv::app
