#pragma once
// The desktop program: the Qt implementations of the core's interfaces, the
// core's main window, and the Qt windows that draw it.
#include <QMainWindow>
#include <memory>

#include "app/frmMain.h"
#include "desktop/FormView.h"
#include "desktop/LinuxPortProbe.h"
#include "desktop/QtPlatform.h"
#include "desktop/PsqlRecordServer.h"
#include "desktop/QtSerialPort.h"
#include "desktop/SqliteRecordStore.h"

namespace kv::desktop {

// What the program sets up before its windows: its name and that it ends
// when its main window closes, not when its last window does.
void applyProgramSettings();

class Dashboard {
public:
    // `messages` replaces the Qt message boxes (tests record them instead).
    explicit Dashboard(platform::MessageBox* messages = nullptr);
    ~Dashboard();

    // Builds the windows and runs the main window's start-up.
    void start();

    app::frmMain& core() { return *main_; }
    QMainWindow* mainWindow() const { return mainWindow_; }
    // The main window's controls, drawn once the port dialog has been.
    FormView* mainView();
    FormView* progressView() const { return progressView_; }
    FormView* startupView() const { return startupView_; }
    FormView* settingsView() const { return settingsView_; }
    FormView* setAssetView() const { return setAssetView_; }
    FormView* recordsView() const { return recordsView_; }
    FormView* recordStoreView() const { return recordStoreView_; }

private:
    void buildMenus();

    QtTimerHost timers_;
    QtClock clock_;
    QtLocale locale_;
    QtEventLoop events_;
    QtMessageBox messageBox_;
    QtBeep beep_;
    QtPointer pointer_;
    QtScreen screen_;
    QtFolders folders_;
    QtSettingsStore settings_;
    QtFileDialog fileDialog_;
    LinuxPortProbe probe_;
    QtSerialPort port_;
    SqliteRecordStore records_;
    PsqlServers servers_;
    platform::Platform platform_;
    std::unique_ptr<app::frmMain> main_;
    QMainWindow* mainWindow_ = nullptr;
    FormView* mainView_ = nullptr;
    FormView* progressView_ = nullptr;
    FormView* startupView_ = nullptr;
    FormView* settingsView_ = nullptr;
    FormView* setAssetView_ = nullptr;
    FormView* recordsView_ = nullptr;
    FormView* recordStoreView_ = nullptr;
};

}  // namespace kv::desktop
