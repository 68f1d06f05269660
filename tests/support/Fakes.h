#pragma once
// Recording stand-ins for the desktop services.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/PortProbe.h"

namespace kv::test {

struct ShownMessage {
    std::string text;
    platform::MsgIcon icon;
    std::string title;
};

class FakeMessageBox : public platform::MessageBox {
public:
    void show(const std::string& text, platform::MsgButtons, platform::MsgIcon icon,
              const std::string& title) override {
        shown.push_back({text, icon, title});
        if (onShow) onShow();
    }
    std::vector<ShownMessage> shown;
    std::function<void()> onShow;  // runs while the box is "open"
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

}  // namespace kv::test
