#pragma once
// Recording stand-ins for the desktop services.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/PortProbe.h"
#include "platform/RecordStore.h"

namespace kv::test {

struct ShownMessage {
    std::string text;
    platform::MsgIcon icon;
    std::string title;
    std::vector<std::string> buttons;
};

// Message boxes as the desktop's behave: a box goes up and the call returns
// at once; it stays open, while the test's virtual time and replies go on,
// until the test presses one of its buttons.
class FakeMessageBox : public platform::MessageBox {
public:
    struct Box {
        platform::MessageId id;
        ShownMessage message;
        std::function<void(int)> answered;
    };

    platform::MessageId show(const std::string& text, platform::MsgButtons, platform::MsgIcon icon,
                             const std::string& title) override {
        return put({text, icon, title, {"OK"}}, {});
    }
    platform::MessageId ask(const std::string& text, platform::MsgIcon icon, const std::string& title,
                            const std::vector<std::string>& buttons, std::function<void(int)> answered) override {
        return put({text, icon, title, buttons}, std::move(answered));
    }
    void close(platform::MessageId id) override {
        std::erase_if(open, [id](const Box& b) { return b.id == id; });
    }

    // The technician presses `button` on the box open longest; false when
    // no box is open or it has no such button.
    bool press(const std::string& button = "OK") {
        if (open.empty()) return false;
        Box box = open.front();
        auto it = std::find(box.message.buttons.begin(), box.message.buttons.end(), button);
        if (it == box.message.buttons.end()) return false;
        open.erase(open.begin());
        if (box.answered) box.answered(int(it - box.message.buttons.begin()));
        return true;
    }

    std::vector<ShownMessage> shown;  // every box put up, in order
    std::vector<Box> open;            // on screen now, oldest first

private:
    platform::MessageId put(ShownMessage m, std::function<void(int)> answered) {
        shown.push_back(m);
        open.push_back({++last_, std::move(m), std::move(answered)});
        return last_;
    }
    platform::MessageId last_ = 0;
};

class FakeFolders : public platform::Folders {
public:
    std::string documents() const override { return documentsPath; }
    std::string program() const override { return programPath; }
    std::string userData() const override { return userDataPath; }
    std::string installedData() const override { return installedPath; }
    std::string documentsPath;
    std::string programPath;
    std::string userDataPath;
    std::string installedPath;
};

class FakeSettings : public platform::SettingsStore {
public:
    void save(const std::string& app, const std::string& section, const std::string& key,
              const std::string& value) override {
        values[app + "/" + section + "/" + key] = value;
        order.push_back(key);
    }
    std::string load(const std::string& app, const std::string& section, const std::string& key) const override {
        auto it = values.find(app + "/" + section + "/" + key);
        return it == values.end() ? std::string() : it->second;
    }
    std::map<std::string, std::string> values;
    std::vector<std::string> order;
};

class FakeFileDialog : public platform::FileDialog {
public:
    std::string open(const platform::FileDialogOptions& o) override {
        last = o;
        return answer;
    }
    std::string save(const platform::FileDialogOptions& o) override {
        last = o;
        return answer;
    }
    std::string answer;
    platform::FileDialogOptions last;
};

class FakeBeep : public platform::Beep {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class FakePointer : public platform::MousePointer {
public:
    void setBusy(bool busy) override { history.push_back(busy); }
    std::vector<bool> history;
};

class FakeScreen : public platform::Screen {
public:
    platform::ScreenSize size() const override { return {19200, 10800}; }
};

class FakeProbe : public platform::PortProbe {
public:
    platform::PortState probe(int n) override {
        auto it = states.find(n);
        return it == states.end() ? platform::PortState::Absent : it->second;
    }
    std::map<int, platform::PortState> states;
};

// The record's database held in memory, as the desktop's behaves: rows
// numbered from 1, looked up newest first; `broken` makes every call fail.
class MemoryRecordStore : public platform::RecordStore {
public:
    std::string location() const override { return "memory"; }
    std::string station() const override { return "LINE-1"; }
    bool open(std::string& error) override { return ok(error); }
    bool add(platform::StoredRow& row, std::string& error) override {
        if (!ok(error)) return false;
        row.number = static_cast<std::int64_t>(rows.size()) + 1;
        rows.push_back(row);
        return true;
    }
    bool lastWithAsset(const std::string& asset, std::optional<platform::StoredRow>& row,
                       std::string& error) override {
        row.reset();
        if (!ok(error)) return false;
        for (auto it = rows.rbegin(); it != rows.rend() && !row; ++it)
            if (it->fields[kAsset] == asset) row = *it;
        return true;
    }
    bool find(const platform::RowFilter&, std::vector<platform::StoredRow>& out, std::string& error) override {
        if (!ok(error)) return false;
        out.assign(rows.rbegin(), rows.rend());
        return true;
    }
    bool unsent(int most, std::vector<platform::StoredRow>& out, std::string& error) override {
        out.clear();
        if (!ok(error)) return false;
        for (const auto& r : rows)
            if (r.number > sentUpTo && int(out.size()) < most) out.push_back(r);
        return true;
    }
    bool markSent(std::int64_t number, std::string& error) override {
        if (!ok(error)) return false;
        sentUpTo = std::max(sentUpTo, number);
        return true;
    }
    bool unsentCount(std::int64_t& count, std::string& error) override {
        std::vector<platform::StoredRow> out;
        if (!unsent(int(rows.size()), out, error)) return false;
        count = std::int64_t(out.size());
        return true;
    }
    std::string broken;  // the reason every call fails with; empty: none
    std::vector<platform::StoredRow> rows;
    std::int64_t sentUpTo = 0;

private:
    bool ok(std::string& error) const {
        error = broken;
        return broken.empty();
    }
};

}  // namespace kv::test
