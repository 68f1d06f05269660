#pragma once
// Everything the core reaches outside itself, handed over in one bundle.
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/PortProbe.h"
#include "platform/RecordStore.h"
#include "platform/SerialPort.h"
#include "platform/TimerHost.h"

namespace kv::platform {

struct Platform {
    SerialPort& port;
    PortProbe& probe;
    SettingsStore& settings;
    Folders& folders;
    FileDialog& fileDialog;
    MessageBox& messageBox;
    Beep& beep;
    EventLoop& events;
    MousePointer& pointer;
    Screen& screen;
    Clock& clock;
    TimerHost& timers;
    Locale& locale;
    // The record's database; none: the CSV files only.
    RecordStore* records = nullptr;
    // Connections to a server several stations share; none: this station's
    // store only.
    RecordServers* servers = nullptr;
};

}  // namespace kv::platform
