#pragma once
// The files the program keeps of what it found: the provisioning log (one
// row per identification, the format people and scripts already read) and
// the record (one row per provisioned controller). Both are started together,
// one pair per program start, and every line ends with CR LF.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace kv::app {

// A comma-separated file named <prefix><stamp>.csv with a header line. Every
// line is on the disk, whole, when writeLine returns true.
class LogFile {
public:
    LogFile(std::string prefix, std::string header) : prefix_(std::move(prefix)), header_(std::move(header)) {}

    // Creates the file in `folder` (and the folder) and writes the header. An
    // existing file is never overwritten: a start within the same second gets
    // <stamp>_2 and so on. Returns the system's reason on failure; a file
    // created whose header could not be written stays open and gets its
    // header before its first row. A file that could not be created is tried
    // again at each line, so it comes as soon as its folder can hold it.
    [[nodiscard]] bool create(const std::filesystem::path& folder, const std::string& stamp, std::string& error);
    [[nodiscard]] bool writeLine(const std::string& line, std::string& error);

    // No line is written after this.
    void close() {
        file_.close();
        folder_.clear();
    }
    bool isOpen() const { return file_.isOpen(); }
    const std::filesystem::path& path() const { return path_; }

private:
    [[nodiscard]] bool writeHeader(std::string& error);
    [[nodiscard]] bool open(std::string& error);

    std::string prefix_, header_;
    std::filesystem::path folder_;  // empty: not created, or closed
    std::string stamp_;
    platform::LineFile file_;
    std::filesystem::path path_;
    bool headerWritten_ = false;
};

class ProvisioningLog {
public:
    static constexpr const char* kHeader =
        "Date_Time, Serial, MAC, Checksum, FW Version, Asset ID, Client ID, Custom 1, Custom 2";

    [[nodiscard]] bool create(const std::filesystem::path& folder, const std::string& stamp, std::string& error) {
        return file_.create(folder, stamp, error);
    }
    // Fields joined by ", ". Control characters and commas inside a field are
    // replaced by '?', so a row always stays one line of its fields.
    [[nodiscard]] bool writeRow(const std::vector<std::string>& fields, std::string& error);

    void close() { file_.close(); }
    bool isOpen() const { return file_.isOpen(); }
    const std::filesystem::path& path() const { return file_.path(); }

private:
    LogFile file_{"LOG_", kHeader};
};

}  // namespace kv::app
