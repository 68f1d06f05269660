#pragma once
// The rows of this station's record store go to the shared server: in order,
// a batch at a time, each exactly once. While the server is away they wait in
// the local store and go out when it is back; the information bar says how
// many wait.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Listeners.h"
#include "platform/RecordStore.h"
#include "ui/Window.h"

namespace kv::app {

class RecordSender {
public:
    // Rows in one send.
    static constexpr int kBatch = 100;
    // After a failed send, the next try.
    static constexpr int kRetryMs = 5000;

    RecordSender(ui::Window& form);
    RecordSender(const RecordSender&) = delete;
    RecordSender& operator=(const RecordSender&) = delete;

    // Sends from `local` to `server` (none: to no server) from now on: what
    // waits from earlier starts first. An answer still to come from the
    // server before is for nobody.
    void start(platform::RecordStore& local, platform::RecordServer* server);
    // A row was added to the local store: sent at the next pass.
    void rowAdded();

    // Rows not yet on the server, and why the last send failed (empty: it
    // did not).
    std::int64_t waiting() const { return waiting_; }
    const std::string& lastError() const { return lastError_; }
    bool sending() const { return inFlight_; }
    // Any change of the two above.
    int listen(std::function<void()> l) { return changed_.add(std::move(l)); }

    // The newest row of `asset` on the server; `answer` comes from the event
    // loop within kAskMs, with why when the server did not answer. False, and
    // no answer, when no server is in use.
    static constexpr int kAskMs = 1000;
    using Answer = std::function<void(const std::optional<platform::StoredRow>&, const std::string& error)>;
    bool askShared(const std::string& asset, Answer answer);

    // The rows the filter lets through on the server; `answer` comes from
    // the event loop unless the server in use changes first. False, and no
    // answer, when no server is in use.
    using RowsAnswer = std::function<void(std::vector<platform::StoredRow> rows, const std::string& error)>;
    bool findShared(const platform::RowFilter& filter, RowsAnswer answer);
    // Where the server in use is; empty when none.
    std::string sharedLocation() const { return server_ ? server_->location() : std::string(); }

    ui::Timer& tmrSendRecords;
    ui::Timer& tmrAskShared;
    ui::Label& lblRecords;

private:
    void tmrSendRecords_Timer();
    void sent(std::int64_t last, std::size_t count, const std::string& error);
    void show();

    platform::RecordStore* local_ = nullptr;
    platform::RecordServer* server_ = nullptr;
    bool inFlight_ = false;
    std::int64_t waiting_ = 0;
    std::string lastError_;
    platform::Listeners<> changed_;
    int asked_ = 0;       // the question whose answer is awaited
    int generation_ = 0;  // the server in use
    Answer answer_;
};

}  // namespace kv::app
