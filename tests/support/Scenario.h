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
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// What a check names, as text; nullopt when it names nothing.
inline std::optional<std::string> seen(Rig& rig, const std::string& what) {
    auto lines = [](const std::filesystem::path& p) {
        std::vector<std::string> out;
        std::ifstream in(p);
        for (std::string l; std::getline(in, l);) out.push_back(l.substr(0, l.find_last_not_of('\r') + 1));
        return out;
    };
    if (what == "@record" || what == "@log" || what == "@records") {
        auto l = lines(what == "@log" ? rig.main->log.path() : rig.main->record.path());
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
            auto* box = static_cast<ui::TextBox*>(c);
            for (char ch : arg)
                if (std::int16_t k = box->keyPress(ch)) box->setText(box->text() + static_cast<char>(k));
            box->keyPress(13);
        } else if (verb == "choose" && dynamic_cast<ui::ComboBox*>(c)) {
            static_cast<ui::ComboBox*>(c)->choose(std::stoi(arg));
        } else if (verb == "caption" && dynamic_cast<ui::Captioned*>(c)) {
            static_cast<ui::Captioned*>(c)->setCaption(arg);
        } else if (verb == "check" && dynamic_cast<ui::CheckBox*>(c)) {
            static_cast<ui::CheckBox*>(c)->setChecked(arg == "1");
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
        if (s.wire != "*") check("the frames written", s.wire, wire);
        std::string said;
        for (; boxes < rig.messages.shown.size(); ++boxes) said += (said.empty() ? "" : " | ") + rig.messages.shown[boxes].text;
        if (s.says != "*") check("the boxes put up", s.says, said);
        for (const auto& [what, expected] : s.holds) {
            if (auto value = seen(rig, what)) check(what, expected, *value);
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

}  // namespace kv::test
