#pragma once
// Whole-file reading and writing for the files the technician chooses, with
// the reason when it fails.
#include <string>

namespace kv::platform {

// Reads the whole file. On failure `error` says why.
[[nodiscard]] bool readWholeFile(const std::string& path, std::string& content, std::string& error);

// Writes `content` as the whole file, so that it is complete on disk when
// this returns true: a temporary file beside it is written, flushed to the
// disk and renamed over it. On failure an earlier file stays as it was and
// `error` says why.
[[nodiscard]] bool writeWholeFile(const std::string& path, const std::string& content, std::string& error);

}  // namespace kv::platform
