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

struct Rig {
    Rig()
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
        main = std::make_unique<app::frmMain>(platform);
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
    platform::Platform platform;
    std::unique_ptr<app::frmMain> main;
};

}  // namespace kv::test
