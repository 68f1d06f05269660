#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv::platform {

#if defined(_WIN32)
bool readWholeFile(const std::string& path, std::string& content, std::string& error, std::size_t maxBytes) {
    content.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    char buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && content.size() <= maxBytes) content.append(buf, n);
    bool failed = std::ferror(f) != 0;
    int code = errno;
    std::fclose(f);
    if (failed || content.size() > maxBytes) {
        error = failed ? std::strerror(code) : "it is larger than " + sizeText(maxBytes);
        content.clear();
        return false;
    }
    return true;
}
#else
bool readWholeFile(const std::string& path, std::string& content, std::string& error, std::size_t maxBytes) {
    content.clear();
    // Non-blocking, so that opening a pipe does not wait for its writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    int code = errno;
    if (ok && !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file (a pipe, a device or a socket)";
        ::close(fd);
        return false;
    }
    if (ok && static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = "it holds " + sizeText(static_cast<std::size_t>(st.st_size)) + ", more than such a file can (at most " +
                sizeText(maxBytes) + ")";
        ::close(fd);
        return false;
    }
    // A file that grows while it is read is cut off at one byte past the
    // limit, and refused.
    char buf[8192];
    while (ok && content.size() <= maxBytes) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            code = errno;
        }
        if (n <= 0) break;
        content.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok) {
        error = std::strerror(code);
        content.clear();
        return false;
    }
    if (content.size() > maxBytes) {
        error = "it grew past " + sizeText(maxBytes) + " while it was read";
        content.clear();
        return false;
    }
    return true;
}
#endif

bool makeFolders(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec || fs::is_directory(folder)) return true;
    error = ec.message();
    // "File exists" says little when the path runs through a file or a link
    // whose target is gone: name that part of the path instead.
    for (fs::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        std::error_code e;
        fs::file_status link = fs::symlink_status(p, e);
        if (e || !fs::exists(link)) continue;
        if (fs::is_symlink(link) && !fs::exists(p, e))
            error = p.string() + " is a link to " + fs::read_symlink(p, e).string() + ", which does not exist";
        else if (!fs::is_directory(p, e))
            error = p.string() + " is a file, not a folder";
        else
            continue;
        break;
    }
    return false;
}

std::string sizeText(std::size_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

namespace {

bool syncFile(std::FILE* f) {
#if defined(_WIN32)
    return _commit(_fileno(f)) == 0;
#else
    return ::fsync(fileno(f)) == 0;
#endif
}

}  // namespace

bool writeWholeFile(const std::string& path, const std::string& content, std::string& error) {
    std::string temp = path + ".saving";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = ok && std::fflush(f) == 0 && syncFile(f);
    int code = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        std::remove(temp.c_str());
        error = std::strerror(code);
        return false;
    }
#if !defined(_WIN32)
    // The rename itself reaches the disk with its folder.
    std::size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
    return true;
}

}  // namespace kv::platform

namespace kv::platform {

bool LineFile::create(const std::string& path, bool& exists, std::string& error) {
    close();
    exists = false;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        exists = errno == EEXIST;
        error = std::strerror(errno);
        return false;
    }
    size_ = 0;
    brokenLine_ = false;
    return true;
}

bool LineFile::writeAll(const std::string& bytes, int& code) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            code = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool LineFile::append(const std::string& line, std::string& error) {
    if (fd_ < 0) {
        error = "the file is not open";
        return false;
    }
    std::string bytes = (brokenLine_ ? "\r\n" : "") + line + "\r\n";
    int code = 0;
    // After the last complete line, or after a fragment that could not be
    // taken back.
    off_t start = brokenLine_ ? ::lseek(fd_, 0, SEEK_END) : ::lseek(fd_, static_cast<off_t>(size_), SEEK_SET);
    bool ok = start >= 0 || ((code = errno), false);
    ok = ok && writeAll(bytes, code);
    ok = ok && (::fsync(fd_) == 0 || ((code = errno), false));
    if (ok) {
        size_ = static_cast<long long>(start) + static_cast<long long>(bytes.size());
        brokenLine_ = false;
        return true;
    }
    error = std::strerror(code);
    if (start >= 0 && ::ftruncate(fd_, start) == 0) {
        ::fsync(fd_);
        size_ = static_cast<long long>(start);
    } else {
        brokenLine_ = true;
    }
    return false;
}

bool LineFile::removed() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

void LineFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace kv::platform
