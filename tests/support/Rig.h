#pragma once
// A main window wired to a virtual controller on the virtual clock, with
// recording fakes and a temporary documents folder.
#include <filesystem>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "sim/VirtualController.h"
#include "sim/VirtualPort.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualClock.h"

namespace kv::test {

// The shared server as the desktop's behaves: every answer comes 30 ms later,
// on the virtual clock; `silent` never answers, `broken` is why it cannot be
// reached.
struct FakeRecordServer : platform::RecordServer {
    explicit FakeRecordServer(VirtualClock& c) : clock(c) {}
    std::string location() const override { return "kv5x on server"; }
    void send(std::vector<platform::StoredRow> sent, std::function<void(const std::string&)> done) override {
        later([this, sent, done] {
            if (broken.empty()) rows.insert(rows.end(), sent.begin(), sent.end());
            done(broken);
        });
    }
    void lastWithAsset(const std::string& asset,
                       std::function<void(const std::optional<platform::StoredRow>&, const std::string&)> done) override {
        later([this, asset, done] {
            std::optional<platform::StoredRow> found;
            for (const auto& r : rows)
                if (broken.empty() && r.fields[platform::RecordStore::kAsset] == asset) found = r;
            done(found, broken);
        });
    }
    void find(const platform::RowFilter&,
              std::function<void(std::vector<platform::StoredRow>, const std::string&)> done) override {
        later([this, done] { done(broken.empty() ? std::vector(rows.rbegin(), rows.rend()) : std::vector<platform::StoredRow>{}, broken); });
    }
    void test(std::function<void(std::int64_t, const std::string&)> done) override {
        later([this, done] { done(std::int64_t(rows.size()), broken); });
    }
    void later(std::function<void()> f) {
        if (!silent) clock.at(clock.nowMs() + 30, std::move(f));
    }
    VirtualClock& clock;
    std::vector<platform::StoredRow> rows;
    std::string broken;
    bool silent = false;
};

// Connections to the one fake server, as the settings name it.
struct FakeRecordServers : platform::RecordServers {
    explicit FakeRecordServers(FakeRecordServer& s) : server(s) {}
    struct Connection : platform::RecordServer {
        explicit Connection(FakeRecordServer& s) : server(s) {}
        std::string location() const override { return server.location(); }
        void send(std::vector<platform::StoredRow> rows, std::function<void(const std::string&)> done) override {
            server.send(std::move(rows), std::move(done));
        }
        void lastWithAsset(const std::string& asset,
                           std::function<void(const std::optional<platform::StoredRow>&, const std::string&)> done)
            override {
            server.lastWithAsset(asset, std::move(done));
        }
        void find(const platform::RowFilter& f,
                  std::function<void(std::vector<platform::StoredRow>, const std::string&)> done) override {
            server.find(f, std::move(done));
        }
        void test(std::function<void(std::int64_t, const std::string&)> done) override { server.test(std::move(done)); }
        FakeRecordServer& server;
    };
    std::unique_ptr<platform::RecordServer> connect(const platform::ServerSettings& s) override {
        connected.push_back(s);
        return std::make_unique<Connection>(server);
    }
    FakeRecordServer& server;
    std::vector<platform::ServerSettings> connected;
};

struct Rig {
    // `model`: the controller model of the program and of the virtual
    // controller alike.
    explicit Rig(const link::Profile& model = link::kKV53)
        : port(clock, controller),
          platform{port,    probe,  settings, folders, fileDialog, messages, beep,
                   clock,   pointer, screen,  clock,   clock,      locale,   &records} {
        probe.states[10] = platform::PortState::Free;
        folders.documentsPath = (home.path() / "Documents").string();
        folders.programPath = (home.path() / "program").string();
        std::filesystem::create_directories(folders.programPath);
        folders.userDataPath = (home.path() / "data").string();
        // The program comes with its parameter definitions and customer list.
        for (const char* file : {"KV5x_Params.txt", "varktcstlst.txt"})
            std::filesystem::copy_file(std::filesystem::path(KV_SOURCE_DIR) / "data" / file,
                                       std::filesystem::path(folders.programPath) / file);
        controller.useProfile(model);
        main = std::make_unique<app::frmMain>(platform, model);
    }

    // Start-up, then OK in the port dialog on the preselected port 10: the
    // port is open and the connection sequence about to start.
    void load() {
        main->Form_Load();
        main->startup.cmdOK.click();
    }

    // Start-up, OK, and the connection sequence through " CONNECTED..OK".
    void identify() {
        load();
        clock.advance(8000);
    }

    // Bytes of every frame written since the last call.
    std::vector<sim::Bytes> takeWritten() {
        auto w = std::move(port.written);
        port.written.clear();
        return w;
    }

    TempDir home;
    VirtualClock clock;
    sim::VirtualController controller;
    sim::VirtualPort port;
    FakeProbe probe;
    FakeSettings settings;
    FakeFolders folders;
    FakeFileDialog fileDialog;
    FakeMessageBox messages;
    FakeBeep beep;
    FakePointer pointer;
    FakeScreen screen;
    platform::FixedLocale locale;
    MemoryRecordStore records;
    // Not in use unless a test sets platform.servers to `servers`, and the
    // settings name a host, before start-up.
    FakeRecordServer server{clock};
    FakeRecordServers servers{server};
    void useServer() {
        platform.servers = &servers;
        settings.values[std::string(platform::kAppTitle) + "/RecordStore/Host"] = "server";
        settings.values[std::string(platform::kAppTitle) + "/RecordStore/User"] = "station";
    }
    platform::Platform platform;
    std::unique_ptr<app::frmMain> main;
};

}  // namespace kv::test
