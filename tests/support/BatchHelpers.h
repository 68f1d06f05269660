#pragma once
// Helpers of the batch tests: waiting on the virtual clock, the lines of a
// CR LF file, a pattern, a scanner's typing, a full disk, and a production line.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/ProvisioningRecord.h"
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

// What a batch keeps beside a rig: the production line behind its
// controller, a full disk, the log as it was then, and the last request
// sent to the controller straight (its reply, in how many pieces it came,
// and every checksum read so far). The batch words of Scenario.h play on
// the one batch made last.
struct Batch {
    explicit Batch(Rig& r) : rig(r) { current() = this; }
    ~Batch() { current() = nullptr; }
    static Batch*& current() {
        static Batch* made = nullptr;
        return made;
    }
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
    // The cable comes out `afterMs` after now and goes back `forMs` later.
    void pullCable(std::int64_t afterMs, std::int64_t forMs) {
        rig.clock.advance(afterMs);
        rig.port.unplug();
        rig.clock.advance(forMs);
        rig.port.freePorts.insert(rig.port.controllerPort);
    }
    std::vector<std::string> record() const { return crlfLines(readFile(rig.main->record.path())); }
    // A request as the controller hears it straight, 100 ms of its time.
    const sim::Bytes& send(const sim::Bytes& bytes) {
        reply.clear();
        const auto got = rig.controller.receive(bytes, rig.clock.nowMs());
        pieces = got.size();
        for (auto& piece : got) reply.insert(reply.end(), piece.bytes.begin(), piece.bytes.end());
        rig.clock.advance(100);
        if (bytes == link::frameGetChecksum()) sums.insert(reply);
        return reply;
    }

    // The record's rows, one a line: the number of the controller whose MAC
    // it names, then its fields after the date, that controller's MAC and
    // checksum written M and C, and "M,M,C,K5b 162" (all it was identified
    // by) written ID; an asset or client that controller does not hold is
    // marked "!". Each controller written to must have a row.
    std::string rows() const {
        const auto lines = record();
        const char* header = "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified";
        std::string out = lines.empty() || lines[0] != header ? "no header: " + readFile(rig.main->record.path()) : "";
        std::set<int> withRow;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            auto f = app::csvFields(lines[i]);
            if (f.size() != 10 || !std::regex_match(f[0], std::regex(R"(\d\d:\d\d:\d\d \d\d/\d\d/2026)"))) {
                out += "not a row: " + lines[i] + "\n";
                continue;
            }
            std::string unit = "?";
            for (int k = 1; line && k <= line->current(); ++k) {
                const auto& u = line->unit(k);
                if (u.mac != f[2]) continue;
                unit = std::to_string(k);
                withRow.insert(k);
                char sum[8];
                std::snprintf(sum, sizeof sum, "%02X %02X", u.checksum >> 8, u.checksum & 0xFF);
                for (std::size_t j : {1, 2, 3})
                    if (f[j] == (j < 3 ? u.mac : sum)) f[j] = j < 3 ? "M" : "C";
                for (std::size_t j : {5, 6})
                    if (!f[j].empty() && f[j] != (j == 5 ? u.asset : u.client)) f[j] += "!";
            }
            const bool id = f[1] + f[2] + f[3] + f[4] == "MMCK5b 162";
            out += unit + ":" + (id ? "ID" : f[1] + "," + f[2] + "," + f[3] + "," + f[4]);
            for (std::size_t j = 5; j < 10; ++j) out += "," + f[j];
            out += "\n";
        }
        for (int k = 1; line && k <= line->current(); ++k) {
            const auto& u = line->unit(k);
            if ((!u.asset.empty() || u.client != "<00" || u.params != line->factoryParams()) && !withRow.count(k))
                out += "no row of controller " + std::to_string(k) + "\n";
        }
        return out;
    }

    Rig& rig;
    std::unique_ptr<sim::ProductionLine> line;
    sim::Params factory = sim::kFactoryParams;
    std::unique_ptr<FileSizeLimit> disk;
    std::string logBefore, wrote;
    sim::Bytes reply;
    std::size_t pieces = 0;
    std::set<sim::Bytes> sums;
};

// A production line of factory-fresh controllers behind the dashboard.
struct OwnRig {
    Rig owned;
};
struct Line : OwnRig, Batch {
    Line() : Batch(owned) {}
};

}  // namespace kv::test
