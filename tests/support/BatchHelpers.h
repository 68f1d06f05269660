#pragma once
// Helpers of the batch tests: waiting on the virtual clock, the lines of a
// CR LF file, a scanner's typing, and a full disk.
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "tests/support/ParamHelpers.h"

namespace kv::test {

// Advances the clock in 100 ms steps until `done` holds, at most `limitMs`.
template <class F>
bool waitFor(Rig& rig, F done, std::int64_t limitMs) {
    for (std::int64_t t = 0; t < limitMs; t += 100) {
        if (done()) return true;
        rig.clock.advance(100);
    }
    return done();
}

// The lines of a text whose lines end with CR LF.
inline std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// A barcode scanner in keyboard mode: the characters, then Enter.
inline void scan(ui::TextBox& field, const std::string& code) {
    for (char c : code) field.keyPress(c);
    field.setText(code);
    field.keyPress(13);
}

// A limit on the size of files this process writes, as a full disk does it:
// a write that would cross it comes up short, the next one fails.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        old = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, old);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    rlimit saved{};
    sighandler_t old;
};

}  // namespace kv::test
