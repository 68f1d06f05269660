#include "app/frmMain.h"

#include <cstdlib>
#include <system_error>

namespace kv::app {

namespace fs = std::filesystem;

frmMain::frmMain(platform::Platform& p)
    : platform(p),
      window("frmMain", p.timers),
      progress(p.timers),
      indicators(window, p.port),
      session(window, p.port),
      receive(window, session, indicators),
      sequence(window, progress.window, flow, receive, session, p.events, p.clock),
      params(window, p.messageBox),
      paramRead(window, flow, receive, params),
      paramFiles(window, params, p.folders, p.fileDialog, p.messageBox, p.events, sBaseFolder),
      paramEdit(window, params, receive, sequence.tmrStatusGET, p.messageBox),
      serviceMode(window, progress.window, flow, receive, sequence, bulkWrite, p.port, p.messageBox),
      bulkWrite(window, progress.window, flow, receive, params, paramFiles, paramEdit, sequence.tmrStatusGET,
                serviceMode, p.port, p.messageBox),
      identity(window, flow, receive, p.events, p.clock),
      status(window, flow, receive),
      setControls(window),
      startup(p, session, receive.cmdSTOPComms, sequence, indicators),
      settings(p, session, receive.cmdSTOPComms, indicators) {
    window.setCaption(kCaption);
    designControls();
    sequence.EnableSetControls = [this] { setControls.EnableSetControls(); };
    identity.AppendLogRow = [this](const std::vector<std::string>& fields) { log.writeRow(fields); };
    window.menu("mnuSettings").onClick = [this] { mnuSettings_Click(); };
    window.onUnload = [this] { Form_Unload(); };
}

// Captions and visibility of the controls whose routines are not part of the
// window's core parts above: what the technician sees of the window.
void frmMain::designControls() {
    struct Design {
        const char* name;
        const char* caption;
        bool visible;
    };
    const Design buttons[] = {
        {"cmdSetAssetID", "SET ASSET", true},
        {"cmdSetClientID", "SET CLIENT", true},
        {"cmdSetCounter", "SET COUNTER", true},
    };
    for (const auto& d : buttons) {
        window.button(d.name).setCaption(d.caption);
        window.button(d.name).setVisible(d.visible);
    }
    window.textBox("txtSetClient");
    window.textBox("txtSetCounter").setText("1");
    window.comboBox("cboCLientList");
    window.label("lblCounter");
    window.image("imgZMCDisplay").setPicture("panel_display");

    window.menu("mnuOptions").setCaption("Options");
    window.menu("mnuSettings").setCaption("Comm Settings");
    window.menu("mFile").setCaption("File");
}

std::string frmMain::fGetSpecialFolder(int CSIDL) const {
    if (CSIDL != 5) return {};
    return platform.folders.documents();
}

void frmMain::Form_Load() {
    flow.iAutoStep = 1;
    std::string stamp = platform::formatFileTime(platform.clock.now());
    sBaseFolder = fGetSpecialFolder(5);
    if (std::string problem = prepareFolders(stamp); !problem.empty())
        platform.messageBox.show(problem, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                                 platform::kAppTitle);
    if (LoadCustomerList) LoadCustomerList();

    indicators.showLamp(indicators.imgRx, link::Indicators::kActivityIdle);
    indicators.showLamp(indicators.imgTx, link::Indicators::kActivityIdle);
    window.show();
    window.refresh();

    platform::SerialPort& port = platform.port;
    port.setCommPort(10);
    port.RThreshold = 1;
    (void)port.setSettings("38400,n,8,1");  // a fixed, valid string
    port.SThreshold = 1;
    port.InputMode = 1;
    (void)session.open();  // a port that is not there stays closed, unreported
    indicators.ShowInfo();
    sequence.SelectCommMode(0, 3);
    params.iValueOffset = 400;

    receive.txtTerminal.clear();
    sequence.lblTime.setCaption("");
    identity.cdmGETV.setEnabled(true);
    flow.bStatusPending = false;
    receive.iRxIdx = 1;
    identity.lblMacAddress.setCaption("");
    flow.bParamAck = false;
    progress.lblCurrentINFO.setCaption("");
    params.ClearRows();

    startup.CommStartup(&platform.port, "Communications Port Settings");
    paramFiles.ReadZMCConfigFile();

    flow.bStepDone = false;
    flow.iConnectStep = 0;
    flow.bAutoReplied = false;
    flow.iAutoStep = 0;
    platform.events.doEvents();
    platform.events.doEvents();
}

// Creates the log and parameter-file folders and the log file. Returns what
// went wrong, for one message; the program runs on without what failed.
std::string frmMain::prepareFolders(const std::string& stamp) {
    if (sBaseFolder.empty())
        return "No documents folder was found, so the provisioning log is not written and parameter "
               "files have no folder.";
    std::string problems;
    auto makeFolder = [&](const fs::path& folder, const char* what) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec && !fs::is_directory(folder)) {
            problems += std::string("Cannot create the ") + what + " " + folder.string() + ": " + ec.message() + "\n";
            return false;
        }
        return true;
    };
    fs::path logs = fs::path(sBaseFolder) / "KV53_LOGS";
    if (makeFolder(logs, "log folder")) {
        std::string error;
        if (!log.create(logs, stamp, error))
            problems += "Cannot create the log file " + log.path().string() + ": " + error + "\n";
    }
    makeFolder(fs::path(sBaseFolder) / "KV53_ParamFiles", "parameter-file folder");
    if (!problems.empty()) problems.pop_back();
    return problems;
}

void frmMain::Form_Resize(int W, int H) {
    int top = std::abs(H - 1135);
    int width = std::abs(W - 120);
    indicators.picInfo.setGeometry({0, top, width, 315});
    receive.txtTerminal.setGeometry({0, 0, width, top});
}

// Closing the main window ends the program: every other window closes with
// it (which also ends any wait for a dialog) and the port is released.
void frmMain::Form_Unload() {
    log.close();
    for (ui::Window* w : windows())
        if (w != &window && w->visible()) w->unload();
    session.close();
    platform.events.quit();
}

void frmMain::Form_Terminate() { log.close(); }

void frmMain::mnuSettings_Click() {
    // The dialog closes the port: not while the controller is in the middle
    // of a bulk write or its restart.
    if (bulkWrite.tmrSetMultipleParams.enabled()) {
        platform.messageBox.show("The parameters are being written to the controller. Open the settings when it "
                                 "has restarted.",
                                 platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
        return;
    }
    settings.CommSettings(&platform.port, "Communications Port Settings");
    while (windowOpen("frmSettings")) platform.events.waitForEvents();
    indicators.ShowInfo();
}

std::vector<ui::Window*> frmMain::windows() {
    std::vector<ui::Window*> all{&window, &progress.window, &startup.window, &settings.window};
    all.insert(all.end(), dialogs.begin(), dialogs.end());
    return all;
}

bool frmMain::windowOpen(const std::string& name) {
    for (ui::Window* w : windows())
        if (w->name() == name && w->visible()) return true;
    return false;
}

}  // namespace kv::app
