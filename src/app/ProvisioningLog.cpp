#include "app/ProvisioningLog.h"

namespace kv::app {

bool LogFile::create(const std::filesystem::path& folder, const std::string& stamp, std::string& error) {
    close();
    folder_ = folder;
    stamp_ = stamp;
    return open(error);
}

bool LogFile::open(std::string& error) {
    path_ = folder_ / (prefix_ + stamp_ + ".csv");
    if (!platform::makeFolders(folder_.string(), error)) return false;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::string name = prefix_ + stamp_ + (attempt > 1 ? "_" + std::to_string(attempt) : "") + ".csv";
        path_ = folder_ / name;
        bool exists = false;
        headerWritten_ = false;
        if (file_.create(path_.string(), exists, error)) return writeHeader(error);
        if (!exists) return false;
    }
    error = "too many files for one second";
    return false;
}

bool LogFile::writeHeader(std::string& error) {
    if (!headerWritten_) headerWritten_ = file_.append(header_, error);
    return headerWritten_;
}

// A file whose header could not be written at its start gets it first.
bool LogFile::writeLine(const std::string& line, std::string& error) {
    // Deleted under the program (the folder removed, say): made again, with
    // its header, rather than written where nobody can read it.
    if (file_.removed()) file_.close();
    if (!file_.isOpen()) {
        if (folder_.empty()) {
            error = "the file is closed";
            return false;
        }
        if (!open(error) && !file_.isOpen()) return false;
    }
    return writeHeader(error) && file_.append(line, error);
}

bool ProvisioningLog::writeRow(const std::vector<std::string>& fields, std::string& error) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ", ";
        for (char c : fields[i]) {
            auto u = static_cast<unsigned char>(c);
            line += (u < 0x20 || u == 0x7F || c == ',') ? '?' : c;
        }
    }
    return file_.writeLine(line, error);
}

}  // namespace kv::app
