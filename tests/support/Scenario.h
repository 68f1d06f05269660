#pragma once
// Scenarios: what the dashboard promises, as tables of steps. Each step is
// something the technician, the controller or time does, then what must
// hold: the frames written to the line since the last step, texts of named
// controls, the record and log files' last lines, and the message boxes put
// up meanwhile. A failing step says which step, what was expected and what
// was seen.
//
// Actions (the text of `act`, words split by spaces; the last argument takes
// the rest of the line):
//   click NAME          the technician clicks it (nothing when disabled/hidden)
//   press NAME          code presses the button, as another routine does
//   type NAME TEXT      the box's text becomes TEXT
//   key NAME CODE       one key press in the box (13: Enter)
//   scan NAME TEXT      a barcode scanner: each character typed into the box, Enter
//   choose NAME INDEX   an entry of a list is chosen
//   caption NAME TEXT   a label's caption becomes TEXT, as the program's code sets it
//   check NAME 0|1      a check box is ticked or not
//   advance MS          virtual time passes
//   answer BUTTON       the technician answers the box open longest
//   receive HEX         the line carries these bytes to the dashboard
//   reply HEX           the same, as the answer to a request just sent (the
//                       receive buffer starts again)
//   unplug / replug     the controller's device goes away / comes back
//   event CODE          the port reports this event or line error (1004: framing)
//   ""                  nothing: only the checks
// Names are control names as the windows hold them ("lblParam(3)"); a name
// found in no window fails the step.
//
// Checks (`holds`): NAME -> its caption, text, checked state ("1"/"0") or
// chosen text; "caption NAME" -> a check box's or option's caption;
// "picture NAME" -> an image's picture; "focus NAME" -> how many times
// the box was given the focus;
// "visible NAME" / "enabled NAME" -> "1"/"0"; "@record" and
// "@log" -> the last line of the record / log file; "@records" -> how many
// rows the record file holds.
//
// Batch words, actions and checks alike, on the production line behind the
// rig (see word() below); "wait WHAT = VALUE" lets time pass until a check
// holds. script("act / WHAT = VALUE / act") writes steps as one text, a
// check joined to the step before it; '*' in its VALUE stands for any text.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/BatchHelpers.h"
#include "tests/support/Hex.h"
#include "tests/support/Rig.h"
#include "ui/TerminalBox.h"

namespace kv::test {

struct Step {
    std::string act;
    // Frames written since the last step, in hex, " | " between frames;
    // "" none; "*" not checked.
    std::string wire = "*";
    std::vector<std::pair<std::string, std::string>> holds = {};
    // Texts of the boxes put up since the last step, " | " between boxes;
    // "" none; "*" not checked.
    std::string says = "*";
    // Anything a table cannot say, run after the action.
    std::function<void(Rig&)> also = {};
    // When not empty, the command codes whose frames `wire` speaks of
    // ({0x16, 0x15}); other frames are left out.
    std::vector<std::uint8_t> only = {};
};

// A control by its name, or "window.name" where two windows use one name;
// a window by its own name.
inline ui::Control* control(Rig& rig, const std::string& name) {
    const auto dot = name.find('.');
    for (ui::Window* w : rig.main->windows()) {
        if (dot != std::string::npos) {
            if (w->name() == name.substr(0, dot)) return w->find(name.substr(dot + 1));
            continue;
        }
        if (w->name() == name) return w;
        if (ui::Control* c = w->find(name)) return c;
    }
    return nullptr;
}

inline std::optional<std::string> word(Batch& b, const std::string& s);

// The batch made for this rig, if any.
inline Batch* batchOf(Rig& rig) {
    Batch* b = Batch::current();
    return b && &b->rig == &rig ? b : nullptr;
}

// What a check names, as text; nullopt when it names nothing.
inline std::optional<std::string> seen(Rig& rig, const std::string& what) {
    if (what == "@record" || what == "@log" || what == "@records") {
        auto l = crlfLines(readFile(what == "@log" ? rig.main->log.path() : rig.main->record.path()));
        if (what == "@records") return std::to_string(l.empty() ? 0 : l.size() - 1);
        return l.empty() ? std::string() : l.back();
    }
    for (const char* flag : {"visible ", "enabled "})
        if (what.rfind(flag, 0) == 0) {
            ui::Control* c = control(rig, what.substr(8));
            if (!c) return std::nullopt;
            return std::string((flag[0] == 'v' ? c->visible() : c->enabled()) ? "1" : "0");
        }
    if (what.rfind("focus ", 0) == 0) {
        if (ui::Control* c = control(rig, what.substr(6))) return std::to_string(c->focusRequests());
        return std::nullopt;
    }
    if (what.rfind("picture ", 0) == 0) {
        if (auto* x = dynamic_cast<ui::Image*>(control(rig, what.substr(8)))) return x->picture();
        return std::nullopt;
    }
    if (what.rfind("caption ", 0) == 0) {
        if (auto* x = dynamic_cast<ui::Captioned*>(control(rig, what.substr(8)))) return x->caption();
        return std::nullopt;
    }
    ui::Control* c = control(rig, what);
    if (auto* x = dynamic_cast<ui::Window*>(c)) return x->caption();
    if (auto* x = dynamic_cast<ui::TextBox*>(c)) return x->text();
    if (auto* x = dynamic_cast<ui::TerminalBox*>(c)) return x->text();
    if (auto* x = dynamic_cast<ui::ComboBox*>(c)) return x->text();
    if (auto* x = dynamic_cast<ui::CheckBox*>(c)) return std::string(x->checked() ? "1" : "0");
    if (auto* x = dynamic_cast<ui::OptionButton*>(c)) return std::string(x->value() ? "1" : "0");
    if (auto* x = dynamic_cast<ui::Captioned*>(c)) return x->caption();
    if (Batch* b = batchOf(rig); !c && b) return word(*b, what);
    return std::nullopt;
}

// After a step: each frame at its time (ms after that step) and nothing
// written in the millisecond before it.
// With `only`, frames of other commands are left out.
inline std::vector<Step> timeline(const std::vector<std::pair<std::int64_t, std::string>>& frames,
                                  const std::vector<std::uint8_t>& only = {}) {
    std::vector<Step> out;
    std::int64_t now = 0;
    for (const auto& [at, frame] : frames) {
        if (at - now > 1) out.push_back({"advance " + std::to_string(at - now - 1), "", {}, "*", {}, only});
        out.push_back({"advance 1", frame, {}, "*", {}, only});
        now = at;
    }
    return out;
}

// Runs the steps in order; stops, returning false, at the first step that
// could not be done or whose checks failed.
inline bool play(Rig& rig, const std::vector<Step>& steps) {
    std::size_t boxes = rig.messages.shown.size();
    rig.takeWritten();
    for (std::size_t n = 0; n < steps.size(); ++n) {
        const Step& s = steps[n];
        const std::string where = "step " + std::to_string(n + 1) + " (" + (s.act.empty() ? "checks" : s.act) + ")";
        std::istringstream words(s.act);
        std::string verb, name;
        words >> verb >> name;
        // The rest after one space, leading spaces of a text kept.
        const std::size_t rest = name.empty() ? std::string::npos : s.act.find(name, verb.size()) + name.size() + 1;
        const std::string arg = rest < s.act.size() ? s.act.substr(rest) : std::string();
        ui::Control* c = name.empty() || verb == "advance" || verb == "answer" || verb == "receive" || verb == "reply" || verb == "event" ? nullptr : control(rig, name);
        bool done = true;
        if (verb.empty()) {
        } else if (verb == "advance") {
            rig.clock.advance(std::stoll(name));
        } else if (verb == "answer") {
            done = rig.messages.press(s.act.substr(7));
        } else if (verb == "receive" || verb == "reply") {
            if (verb == "reply") rig.main->receive.ResetReceive();
            rig.port.deliver(fromHex(s.act.substr(verb.size() + 1)));
        } else if (verb == "event") {
            rig.port.inject(std::stoi(name));
        } else if (verb == "unplug") {
            rig.port.unplug();
        } else if (verb == "replug") {
            rig.port.freePorts.insert(rig.port.controllerPort);
        } else if (verb == "click" && dynamic_cast<ui::Captioned*>(c)) {
            static_cast<ui::Captioned*>(c)->click();
        } else if (verb == "press" && dynamic_cast<ui::Button*>(c)) {
            static_cast<ui::Button*>(c)->press();
        } else if (verb == "type" && dynamic_cast<ui::TextBox*>(c)) {
            static_cast<ui::TextBox*>(c)->setText(arg);
        } else if (verb == "key" && dynamic_cast<ui::TextBox*>(c)) {
            static_cast<ui::TextBox*>(c)->keyPress(static_cast<std::int16_t>(std::stoi(arg)));
        } else if (verb == "scan" && dynamic_cast<ui::TextBox*>(c)) {
            scan(*static_cast<ui::TextBox*>(c), arg);
        } else if (verb == "choose" && dynamic_cast<ui::ComboBox*>(c)) {
            static_cast<ui::ComboBox*>(c)->choose(std::stoi(arg));
        } else if (verb == "caption" && dynamic_cast<ui::Captioned*>(c)) {
            static_cast<ui::Captioned*>(c)->setCaption(arg);
        } else if (verb == "check" && dynamic_cast<ui::CheckBox*>(c)) {
            static_cast<ui::CheckBox*>(c)->setChecked(arg == "1");
        } else if (Batch* b = batchOf(rig)) {
            done = word(*b, s.act).has_value();
        } else {
            done = false;
        }
        if (!done) {
            ADD_FAILURE() << where << ": could not be done";
            return false;
        }
        if (s.also) s.also(rig);
        bool bad = false;
        auto check = [&](const std::string& what, const std::string& expected, const std::string& value) {
            if (value == expected) return;
            ADD_FAILURE() << where << ": " << what << "\n  expected: \"" << expected << "\"\n  seen:     \"" << value
                          << "\"";
            bad = true;
        };
        auto frames = rig.takeWritten();
        if (!s.only.empty())
            std::erase_if(frames, [&](const sim::Bytes& f) {
                return f.empty() || std::find(s.only.begin(), s.only.end(), f[0]) == s.only.end();
            });
        const std::string wire = hex(frames);
        if (Batch* b = batchOf(rig)) b->wrote = wire;
        if (s.wire != "*") check("the frames written", s.wire, wire);
        std::string said;
        for (; boxes < rig.messages.shown.size(); ++boxes) said += (said.empty() ? "" : " | ") + rig.messages.shown[boxes].text;
        if (s.says != "*") check("the boxes put up", s.says, said);
        for (const auto& [what, expected] : s.holds) {
            const bool pattern = what.starts_with("like ");
            auto value = seen(rig, what.substr(pattern ? 5 : 0));
            if (value && pattern && like(*value, expected)) continue;
            if (value) check(what, expected, *value);
            else check(what, expected, "(names nothing)");
        }
        if (bad) return false;  // the steps after it would only repeat it
    }
    return true;
}

// A scenario of its own: a name, what is set up before it (a controller's
// failure mode, a load), and its steps.
struct Scenario {
    const char* name;
    std::function<void(Rig&)> before;
    std::vector<Step> steps;
};

// Plays each scenario on a fresh rig: `start` first (what every scenario of
// the table shares), then its own set-up, then its steps.
inline void playAll(const std::vector<Scenario>& cases, const std::function<void(Rig&)>& start = {}) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        Batch batch(rig);
        if (start) start(rig);
        if (c.before) c.before(rig);
        EXPECT_TRUE(play(rig, c.steps));
    }
}

// Steps one after the other: join({enter("007"), timeline(...), more}).
inline std::vector<Step> join(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Bytes as hex, runs of two or more printable characters as "text".
inline std::string render(const sim::Bytes& bytes) {
    std::string out;
    for (std::size_t i = 0, end = 0; i < bytes.size(); i = std::max(end, i + 1)) {
        for (end = i; end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x7F && bytes[end] != '"';) ++end;
        char b[4];
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        out += (out.empty() ? "" : " ") + (end - i > 1 ? '"' + std::string(&bytes[i], &bytes[i] + end - i) + '"' : b);
    }
    return out;
}

// The batch words. Set-up and actions: begin (a batch of three: customer 005,
// an IMEI each), defs N (N definition rows), logged ASSET (in a record file of
// an earlier run), stored|served STATION ASSET|xN [AT] (rows KV-1... in the
// record store | on the server), broken WHY (every store call fails), sent N,
// edit KEY VALUE (a store setting edited by hand), server on|known|down WHY|
// up|silent, disk ROOM (files may grow by ROOM past the log as it is) | disk,
// scan ASSET [IMEI], provision ASSET IMEI (scanned once asked, its row
// awaited), swap N asset|client|bulk, cable AFTER FOR, close, signal, rmlogs,
// hold N V (the controller puts V back), drops (keeps no client), deaf (no
// answer after its restart), terminal, loopback (its timer stopped), short
// (a parameter reply of all values but the last); line N [P=V..] (N
// controllers, the line's factory values), auto, service-only, repeat N,
// lose N, asset-text N, config-bytes N. Checks: unit N asset|client|service|
// factory, next (1: a next controller took the line), current, setting KEY,
// open, shown (every box, the log's path as <log>), log+ (the log since
// "disk ROOM"), local|shared (the store's|server's rows: number, station,
// asset, "(last)" for the record's last row), wrote, frame, writing, pending,
// (the frames of the step), quit, connected, stations, keys (555 typed into the counter and client
// boxes, 5 into the terminal), rows (Batch::rows()), files (the record's name
// | the log's header), summary, swapped, sums, sum-in-config, size, pieces,
// service; requests straight to the controller, their reply rendered: mac sum
// config asset client params ("factory": the line's values) enter leave,
// set-asset A, set-client C, write P V, raw HEX.
inline std::optional<std::string> word(Batch& B, const std::string& s) {
    Rig& r = B.rig;
    auto& m = *r.main;
    auto after = [](const std::string& t) { return t.find(' ') == t.npos ? "" : t.substr(t.find(' ') + 1); };
    const std::string verb = s.substr(0, s.find(' ')), rest = after(s), a = rest.substr(0, rest.find(' '));
    const std::string b = after(rest), b1 = b.substr(0, b.find(' ')), b2 = after(b);
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    auto list = [](const auto& items, auto text) {
        std::string out;
        for (const auto& i : items) out += (out.empty() ? "" : " | ") + text(i);
        return out;
    };
    auto row = [&](int n, const std::string& asset) {
        return platform::StoredRow{n, a, b2.empty() ? "2026-12-05 10:42:07" : b2, {"10:42:07 05/12/2026",
            "0004A3B1C2FF", "0004A3B1C2FF", "12 34", "K5b 162", asset, "005", "", "", "yes"}};
    };
    auto rows = [&](const std::vector<platform::StoredRow>& rows) {
        const auto record = B.record();
        return list(rows, [&](const auto& row) {
            const bool last = row.fields == app::csvFields(record.empty() ? "" : record.back()) &&
                              row.writtenAt == "2026-12-05 " + row.fields[0].substr(0, 8);
            return std::to_string(row.number) + " " + row.station + " " + row.fields[5] + (last ? " (last)" : "");
        });
    };
    auto send = [&](const sim::Bytes& bytes) -> std::optional<std::string> {
        try {
            return render(B.send(bytes));
        } catch (const std::length_error&) {
            return "too long";
        }
    };
    using P = sim::SwapPoint;
    if (verb == "wait") {
        const std::string what = rest.substr(0, rest.find(" ="));
        const std::string want = rest.substr(std::min(rest.size(), what.size() + 3));
        if (waitFor(r, [&] { return like(seen(r, what).value_or("(names nothing)"), want); }, 60000)) return "";
        ADD_FAILURE() << s << ": seen \"" << seen(r, what).value_or("(names nothing)") << "\"";
        return std::nullopt;
    }
    if (verb == "begin") return B.begin(3, true), "";
    if (verb == "load") return r.load(), "";
    if (verb == "defs") return useDefinitions(r, definitionLines(std::stoi(a))), "";
    if (verb == "logged") {
        const auto logs = r.home.path() / "Documents" / "KV53_LOGS";
        std::filesystem::create_directories(logs);
        return writeFile(logs / "RECORD_09_00_00_04_12_2026.csv", std::string(app::ProvisioningRecord::kHeader) +
               "\r\n09:01:00 04/12/2026,0004A3B1C2FF,0004A3B1C2FF,12 34,K5b 162," + a + ",005,,,yes\r\n"), "";
    }
    if (verb == "stored") {
        for (int n = 1; n <= (b[0] == 'x' ? std::stoi(b.substr(1)) : 1); ++n)
            r.records.rows.push_back(row(n, b[0] == 'x' ? "KV-" + std::to_string(n) : b1));
        return "";
    }
    if (verb == "served") return r.server.rows.push_back(row(1, b1)), "";
    if (verb == "broken") return r.records.broken = rest, "";
    if (verb == "sent") return r.records.sentUpTo = std::stoi(a), "";
    if (verb == "edit") return r.settings.save(platform::kAppTitle, "RecordStore", a, b), "";
    if (verb == "server") {
        if (a == "on") r.useServer();
        if (a == "known") r.platform.servers = &r.servers;
        if (a == "down" || a == "up") r.server.broken = b;
        r.server.silent = a == "silent";
        return "";
    }
    if (verb == "disk") {
        B.disk.reset();
        if (a.empty()) return "";
        B.logBefore = m.log.path().empty() ? "" : readFile(m.log.path());
        B.disk = std::make_unique<FileSizeLimit>(B.logBefore.size() + std::stoul(a));
        return "";
    }
    if (verb == "scan") {
        scan(m.assetDialog.txtScannedAsset, a);
        if (!b.empty()) scan(m.assetDialog.txtCustom1(0), b);
        return "";
    }
    if (verb == "provision") {
        if (!waitFor(r, [&] { return m.assetDialog.window.visible(); }, 30000)) return std::nullopt;
        scan(m.assetDialog.txtScannedAsset, a);
        scan(m.assetDialog.txtCustom1(0), b);
        const std::size_t rows = B.record().size();
        if (m.assetDialog.window.visible() || !waitFor(r, [&] { return B.record().size() > rows; }, 40000))
            return std::nullopt;
        return "";
    }
    if (verb == "swap") {
        const P point = b == "asset" ? P::AssetSet : b == "client" ? P::ClientSet : P::BulkWrite;
        return B.line->swapsDuring.push_back({std::stoi(a), point}), "";
    }
    if (verb == "cable") return B.pullCable(std::stoll(a), std::stoll(b)), "";
    if (verb == "close") return m.window.unload(), "";
    if (verb == "signal") return m.CloseNow(), "";
    if (verb == "rmlogs") return std::filesystem::remove_all(m.log.path().parent_path()), "";
    if (verb == "hold") return r.controller.state.params[std::stoul(a)] = std::uint16_t(std::stoi(b)), "";
    if (verb == "drops") return r.controller.modes.storeClient = false, "";
    if (verb == "deaf") return r.controller.modes.restartMs = 600000, "";
    if (verb == "terminal") return m.receive.txtTerminal.setVisible(true), "";
    if (verb == "loopback") return m.sequence.tmrLoopBack.setEnabled(false), "";
    if (verb == "short") {
        sim::Bytes values;
        for (std::size_t k = 0; k < 38; ++k)
            for (int shift : {8, 0}) values.push_back(std::uint8_t(r.controller.state.params[k] >> shift));
        values.insert(values.end(), {0x99, 0x99});
        r.port.deliver(link::requestFrame(0x06, values));
        return "";
    }
    if (verb == "line") {
        for (std::string pv : {b1, after(b)})  // up to two factory values
            if (!pv.empty()) B.factory[std::stoi(pv) - 1] = std::uint16_t(std::stoi(pv.substr(pv.find('=') + 1)));
        B.line = std::make_unique<sim::ProductionLine>(r.controller, std::stoi(a), sim::ControllerState{}, B.factory);
        return "";
    }
    if (verb == "auto") return B.line->autoSwap = true, "";
    if (verb == "service-only") return r.controller.modes.storeOnlyInServiceMode = true, "";
    if (verb == "repeat") return r.controller.modes.answerOnRepeat = std::stoi(a), "";
    if (verb == "lose") return r.controller.modes.loseAckForFrame = std::stoi(a), "";
    if (verb == "asset-text") return r.controller.state.asset = std::string(std::stoi(a), 'A'), "";
    if (verb == "config-bytes") return r.controller.state.config = sim::Bytes(std::stoi(a), 0x11), "";
    // Checks, and requests straight to the controller.
    if (verb == "unit") {
        const auto& u = B.line->unit(std::stoi(a));
        if (b == "asset" || b == "client") return b == "asset" ? u.asset : u.client;
        return flag(b == "service" ? u.serviceMode : u.params == B.factory);
    }
    if (verb == "next") return flag(B.line->next());
    if (verb == "current") return std::to_string(B.line->current());
    if (verb == "summary") return B.line->summary();
    if (verb == "swapped")
        return B.line->lastSwapDuring() ? std::to_string(B.line->lastSwapDuring()->controller) : "none";
    if (verb == "setting") return r.settings.load(platform::kAppTitle, "RecordStore", a);
    if (verb == "open") return std::to_string(r.messages.open.size());
    if (verb == "shown")
        return list(r.messages.shown, [&](const auto& box) {
            std::string text = box.text, log = m.log.path().string();
            for (std::size_t at; !log.empty() && (at = text.find(log)) != text.npos;)
                text.replace(at, log.size(), "<log>");
            return text;
        });
    if (verb == "log+") {
        const std::string now = readFile(m.log.path());
        return now.starts_with(B.logBefore) ? now.substr(B.logBefore.size()) : "changed: " + now;
    }
    if (verb == "local") return rows(r.records.rows);
    if (verb == "shared") return rows(r.server.rows);
    if (verb == "wrote") return B.wrote;
    if (verb == "frame") return std::to_string(m.bulkWrite.frame());
    if (verb == "writing") return flag(m.bulkWrite.tmrSetMultipleParams.enabled());
    if (verb == "pending") return flag(m.record.pending());
    if (verb == "quit") return flag(r.clock.quitRequested);
    if (verb == "connected") {
        const auto& c = r.servers.connected;
        if (c.empty()) return "0";
        const auto& l = c.back();
        return std::to_string(c.size()) + ", last " + l.host + ":" + std::to_string(l.port) + "/" + l.database + " as " +
               l.user;
    }
    if (verb == "stations") return list(m.records.grdRecords.rows(), [](const auto& row) { return row[0]; });
    if (verb == "keys") {
        r.takeWritten();
        const int before = r.beep.beeps;
        for (ui::TextBox* box : {&m.identityWrite.txtSetCounter, &m.identityWrite.txtSetClient})
            for (int k = 0; k < 3; ++k) box->keyPress('5');
        m.receive.txtTerminal.keyPress('5');
        return std::to_string(r.beep.beeps - before) + " beeps, " + std::to_string(r.takeWritten().size()) + " frames";
    }
    if (verb == "rows") return B.rows();
    if (verb == "files") {
        const std::string log = readFile(m.log.path());
        const auto record = std::filesystem::relative(m.record.path(), m.log.path().parent_path());
        return record.string() + " | " + log.substr(0, log.find("\r\n") + 2);
    }
    if (verb == "sums") return std::to_string(B.sums.size());
    if (verb == "size") return std::to_string(B.reply.size());
    if (verb == "pieces") return std::to_string(B.pieces);
    if (verb == "service") return flag(r.controller.state.serviceMode);
    if (verb == "sum-in-config") {
        const sim::Bytes sum = B.send(link::frameGetChecksum()), config = B.send(link::frameGetConfig());
        return flag(sum.size() == 5 && config.size() >= 27 && config[24] == sum[4] && config[25] == sum[3]);
    }
    if (verb == "params") {
        sim::Bytes mine{0x06, 0x01, 2 * 39 + 2};
        for (auto v : B.factory) mine.insert(mine.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        mine.insert(mine.end(), {0x99, 0x99});
        const auto got = send(link::frameReadParams());
        return B.reply == mine ? "factory" : got;
    }
    if (verb == "write") return send(link::frameWriteParams({link::splitParam(std::stoi(a), std::stoi(b))}));
    if (verb == "raw") return send(fromHex(rest));
    if (verb == "set-asset") return send(link::frameSetAsset(a));
    if (verb == "set-client") return send(link::frameSetClient(a));
    if (verb == "enter" || verb == "leave") return send(link::frameServiceMode(verb == "enter"));
    using Frame = sim::Bytes (*)();
    for (auto [name, frame] : {std::pair<std::string, Frame>{"mac", link::frameGetMac}, {"sum", link::frameGetChecksum},
                               {"config", link::frameGetConfig}, {"asset", link::frameGetAsset},
                               {"client", link::frameGetClient}})
        if (verb == name) return send(frame());
    return std::nullopt;
}

// Steps written as one text, " / " between them: an action, or a check
// "WHAT = VALUE" of the step before it ('*' in VALUE: any text).
inline std::vector<Step> script(const std::string& text) {
    std::vector<Step> out;
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 3) {
        const std::string s = text.substr(at, (end = text.find(" / ", at)) - at);
        const std::size_t eq = s.starts_with("wait ") ? std::string::npos : s.find(" =");
        if (eq == std::string::npos) {
            out.push_back({s});
            continue;
        }
        if (out.empty()) out.push_back({""});
        const std::string want = s.substr(std::min(s.size(), eq + 3));
        out.back().holds.push_back({(want.find('*') != std::string::npos ? "like " : "") + s.substr(0, eq), want});
    }
    return out;
}

// Scenarios written as scripts (name, text), each played on a fresh rig.
inline void playScripts(const std::vector<std::pair<std::string, std::string>>& cases) {
    std::vector<Scenario> all;
    for (const auto& [name, text] : cases) all.push_back({name.c_str(), {}, script(text)});
    playAll(all);
}

}  // namespace kv::test
