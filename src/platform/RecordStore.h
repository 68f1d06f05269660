#pragma once
// The record as a store of rows from every program start: a database beside
// the CSV files, so that a controller, an asset or a day can be looked up
// without collecting files.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// One row of the record, as the store keeps it.
struct StoredRow {
    std::int64_t number = 0;          // the store's row number; 0 before it is stored
    std::string station;              // the PC that wrote it
    std::string writtenAt;            // "2026-12-05 10:42:07", from the row's Date_Time
    std::vector<std::string> fields;  // the record's ten fields, as its CSV row holds them
    // The store the row was written in: made once per store, so rows of two
    // stores that carry one station name (PCs made from one disk image, a
    // store made anew) stay apart on the shared server. Set on rows to send.
    std::string origin{};
};

// What the records window asks for: each text is looked for inside its
// field (empty: any); `date` is the start of `writtenAt` ("2026-12-05").
struct RowFilter {
    std::string asset{}, mac{}, client{}, station{}, date{}, verified{};
    int limit = 1000;
};

class RecordStore {
public:
    static constexpr std::size_t kFields = 10;
    static constexpr std::size_t kMac = 2, kAsset = 5, kClient = 6, kVerified = 9;

    virtual ~RecordStore() = default;
    // Where the store is, for messages.
    virtual std::string location() const = 0;
    // The name this PC's rows are written with.
    virtual std::string station() const = 0;
    // Opens the store, creating it or bringing an older one up to date.
    // False, with why, when it cannot be used.
    [[nodiscard]] virtual bool open(std::string& error) = 0;
    // Adds the row; it is on the disk when this returns true, and nothing of
    // it is when false (`error` says why).
    [[nodiscard]] virtual bool add(StoredRow& row, std::string& error) = 0;
    // The newest row that wrote `asset`. Nothing when there is none; false,
    // with why, when the store could not be asked.
    [[nodiscard]] virtual bool lastWithAsset(const std::string& asset, std::optional<StoredRow>& row,
                                             std::string& error) = 0;
    // The rows the filter lets through, newest first.
    [[nodiscard]] virtual bool find(const RowFilter& filter, std::vector<StoredRow>& rows, std::string& error) = 0;

    // Rows not yet on the shared server, oldest first, at most `most`.
    [[nodiscard]] virtual bool unsent(int most, std::vector<StoredRow>& rows, std::string& error) = 0;
    // The rows numbered up to `number` are on the shared server.
    [[nodiscard]] virtual bool markSent(std::int64_t number, std::string& error) = 0;
    // How many rows are not yet on the shared server.
    [[nodiscard]] virtual bool unsentCount(std::int64_t& count, std::string& error) = 0;

protected:
    RecordStore() = default;
};

// Where the shared server is. The password is never kept here: the server's
// client library finds it in the user's own password file.
struct ServerSettings {
    std::string host;  // empty: no shared server
    int port = 5432;
    std::string database = "kv5x";
    std::string user;
    bool operator==(const ServerSettings&) const = default;
};

// The record store several stations share, on a server that may be away.
// Every call returns at once; its answer comes later, from the event loop.
class RecordServer {
public:
    virtual ~RecordServer() = default;
    // Where the server is, for messages ("kv5x on db1:5432").
    virtual std::string location() const = 0;
    // Stores `rows` (a station's, by their station and number: a row sent
    // twice is kept once); `done` gets empty text when every row is there,
    // else why none was stored.
    virtual void send(std::vector<StoredRow> rows, std::function<void(const std::string& error)> done) = 0;
    // The newest row of `asset` on the server, or why it could not be asked.
    virtual void lastWithAsset(const std::string& asset,
                               std::function<void(const std::optional<StoredRow>&, const std::string& error)> done) = 0;
    // The rows of every station the filter lets through, newest first, or
    // why the server could not be read.
    virtual void find(const RowFilter& filter,
                      std::function<void(std::vector<StoredRow> rows, const std::string& error)> done) = 0;
    // Connects and counts the rows there, or says why it could not.
    virtual void test(std::function<void(std::int64_t rows, const std::string& error)> done) = 0;

protected:
    RecordServer() = default;
};

// Makes the connection to a shared server.
class RecordServers {
public:
    virtual ~RecordServers() = default;
    virtual std::unique_ptr<RecordServer> connect(const ServerSettings& settings) = 0;
};

// "2026-12-05 10:42:07" from a record's "10:42:07 05/12/2026"; empty text
// when it is not one.
std::string isoFromLogTime(const std::string& when);

}  // namespace kv::platform
