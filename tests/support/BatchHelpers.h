#pragma once
// Helpers of the batch tests: waiting on the virtual clock, the lines of a
// CR LF file, a pattern, a scanner's typing, a full disk, and a production line.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "sim/ProductionLine.h"
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

// Whether `text` is `pattern`, where '*' stands for any text within a line.
inline bool like(const std::string& text, const std::string& pattern) {
    if (pattern.find('*') == std::string::npos) return text == pattern;
    std::string re;
    for (char c : pattern)
        re += c == '*' ? std::string("[^\r\n]*") : std::string(std::strchr("\\^$.|?+()[]{}", c) ? "\\" : "") + c;
    return std::regex_match(text, std::regex(re));
}

// A barcode scanner in keyboard mode: the characters, each added to what
// the box holds unless its key routine swallows it, then Enter.
inline void scan(ui::TextBox& field, const std::string& code) {
    for (char c : code)
        if (std::int16_t k = field.keyPress(c)) field.setText(field.text() + static_cast<char>(k));
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

// A production line of factory-fresh controllers behind the dashboard.
struct Line {
    // The dashboard identifies the first controller; the technician picks
    // customer 005, ticks the IMEI box or not, and sets the count, so the
    // scan dialog is waiting.
    void begin(int count, bool imei) {
        line = std::make_unique<sim::ProductionLine>(rig.controller, count);
        line->autoSwap = true;
        rig.identify();
        auto& m = *rig.main;
        m.customers.cboCLientList.choose(1);  // 005 - Acme Refrigeration Ltd
        ASSERT_EQ(m.identityWrite.txtSetClient.text(), "005");
        m.assetDialog.chkCustom1(0).setChecked(imei);
        m.identityWrite.txtSetCounter.setText(std::to_string(count));
        m.identityWrite.cmdSetCounter.click();
    }
    void scanController(const std::string& asset, const std::string& imei) {
        scan(rig.main->assetDialog.txtScannedAsset, asset);
        if (!imei.empty()) scan(rig.main->assetDialog.txtCustom1(0), imei);
    }
    // Scans the next controller once the dialog asks, and waits until its
    // record row is written.
    void provision(const std::string& asset, const std::string& imei) {
        auto& d = rig.main->assetDialog;
        ASSERT_TRUE(waitFor(rig, [&] { return d.window.visible(); }, 30000)) << asset;
        scanController(asset, imei);
        ASSERT_FALSE(d.window.visible());
        std::size_t rows = record().size();
        ASSERT_TRUE(waitFor(rig, [&] { return record().size() > rows; }, 40000)) << asset;
    }
    // The cable comes out `afterMs` after now and goes back `forMs` later.
    void pullCable(std::int64_t afterMs, std::int64_t forMs) {
        rig.clock.advance(afterMs);
        rig.port.unplug();
        rig.clock.advance(forMs);
        rig.port.freePorts.insert(rig.port.controllerPort);
    }
    std::filesystem::path recordPath() const { return rig.main->record.path(); }
    std::vector<std::string> record() const { return crlfLines(readFile(recordPath())); }

    Rig rig;
    std::unique_ptr<sim::ProductionLine> line;
};

}  // namespace kv::test
