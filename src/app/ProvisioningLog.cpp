#include "app/ProvisioningLog.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kv::app {

bool ProvisioningLog::create(const std::filesystem::path& folder, const std::string& stamp, std::string& error) {
    close();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::string name = "LOG_" + stamp + (attempt > 1 ? "_" + std::to_string(attempt) : "") + ".csv";
        std::filesystem::path candidate = folder / name;
        // "x": fail rather than truncate a file that is already there.
        std::FILE* f = std::fopen(candidate.string().c_str(), "wbx");
        if (f) {
            file_ = f;
            path_ = candidate;
            writeLine(kHeader);
            return true;
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            path_ = candidate;
            return false;
        }
    }
    error = "too many log files for one second";
    return false;
}

void ProvisioningLog::writeRow(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ", ";
        for (char c : fields[i]) {
            auto u = static_cast<unsigned char>(c);
            line += (u < 0x20 || u == 0x7F || c == ',') ? '?' : c;
        }
    }
    writeLine(line);
}

void ProvisioningLog::writeLine(const std::string& line) {
    if (!file_) return;
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fwrite("\r\n", 1, 2, file_);
    std::fflush(file_);
#if defined(_WIN32)
    _commit(_fileno(file_));
#else
    ::fsync(fileno(file_));
#endif
}

void ProvisioningLog::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace kv::app
