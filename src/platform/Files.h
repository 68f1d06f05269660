#pragma once
// Whole-file reading and writing for the files the technician chooses, with
// the reason when it fails.
#include <cstddef>
#include <string>

namespace kv::platform {

// Reads the whole file, when it is a regular file of at most `maxBytes`
// bytes: a pipe, a device or a folder is never opened for reading (a pipe
// would wait for a writer, a device may never end) and a larger file is
// refused before it is read. On failure `error` says why.
[[nodiscard]] bool readWholeFile(const std::string& path, std::string& content, std::string& error,
                                 std::size_t maxBytes);

// Creates `folder` and the folders above it that are missing. On failure
// `error` says why, naming the part of the path at fault when it is a file
// where a folder should be or a link to nothing.
[[nodiscard]] bool makeFolders(const std::string& folder, std::string& error);

// "65536 bytes" or "64 KiB": a size as a message names it.
std::string sizeText(std::size_t bytes);

// Writes `content` as the whole file, so that it is complete on disk when
// this returns true: a temporary file beside it is written, flushed to the
// disk and renamed over it. On failure an earlier file stays as it was and
// `error` says why.
[[nodiscard]] bool writeWholeFile(const std::string& path, const std::string& content, std::string& error);

}  // namespace kv::platform

namespace kv::platform {

// A file of lines that only ever grows, one complete line at a time: every
// line is on the disk when append() returns true. A line that could not be
// written whole (disk full, a size limit) is taken back, so the file never
// holds half a line; should even that fail, the next line starts on a line
// of its own. A later line is written when space returns.
class LineFile {
public:
    LineFile() = default;
    ~LineFile() { close(); }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Creates `path`; an existing file is never opened or overwritten.
    // False when it exists (`exists` set) or cannot be created (`error`).
    [[nodiscard]] bool create(const std::string& path, bool& exists, std::string& error);
    // `line` and CR LF. On failure `error` says why.
    [[nodiscard]] bool append(const std::string& line, std::string& error);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // The file has been deleted (or its folder) since it was created: what
    // is written to it reaches no file anybody can open.
    bool removed() const;

private:
    bool writeAll(const std::string& bytes, int& code);

    int fd_ = -1;
    long long size_ = 0;       // bytes of complete lines
    bool brokenLine_ = false;  // a fragment could not be taken back
};

}  // namespace kv::platform
