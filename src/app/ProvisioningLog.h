#pragma once
// The provisioning log: one comma-separated file per program start, a header
// line and one row per identified controller, every line ended by CR LF.
// Rows go to disk as they are written, so a crash loses nothing logged.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::app {

class ProvisioningLog {
public:
    static constexpr const char* kHeader =
        "Date_Time, Serial, MAC, Checksum, FW Version, Asset ID, Client ID, Custom 1, Custom 2";

    ProvisioningLog() = default;
    ~ProvisioningLog() { close(); }
    ProvisioningLog(const ProvisioningLog&) = delete;
    ProvisioningLog& operator=(const ProvisioningLog&) = delete;

    // Creates LOG_<stamp>.csv in `folder` and writes the header. An existing
    // file is never overwritten: a start within the same second gets
    // LOG_<stamp>_2.csv and so on. Returns the system's reason on failure.
    bool create(const std::filesystem::path& folder, const std::string& stamp, std::string& error);

    // Fields joined by ", ". Control characters and commas inside a field are
    // replaced by '?', so a row always stays one line of its fields.
    void writeRow(const std::vector<std::string>& fields);

    void close();
    bool isOpen() const { return file_ != nullptr; }
    const std::filesystem::path& path() const { return path_; }

private:
    void writeLine(const std::string& line);

    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
};

}  // namespace kv::app
