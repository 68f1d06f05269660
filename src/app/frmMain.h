#pragma once
// The main window: it owns the port, the receive state, the flows' state, all
// timers and the provisioning log for the whole run, and composes the parts
// that carry its routines.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ProvisioningLog.h"
#include "controller/Identity.h"
#include "controller/ServiceMode.h"
#include "controller/SetControls.h"
#include "controller/Status.h"
#include "dialogs/frmProgressInfo.h"
#include "dialogs/frmSettings.h"
#include "dialogs/frmStartup.h"
#include "link/ConnectionSequence.h"
#include "link/FlowState.h"
#include "link/Indicators.h"
#include "link/ReceivePath.h"
#include "params/BulkWrite.h"
#include "params/ParamEdit.h"
#include "params/ParamFiles.h"
#include "params/ParamRead.h"
#include "params/ParamTable.h"
#include "platform/Platform.h"
#include "ui/Window.h"

namespace kv::app {

class frmMain {
public:
    static constexpr const char* kCaption = "Varkel KV5x COMM Dashboard V1.6";

    explicit frmMain(platform::Platform& platform);

    void Form_Load();
    // Layout rule; W and H are the window's inner size in twips.
    void Form_Resize(int W, int H);
    void Form_Unload();
    void Form_Terminate();
    void mnuSettings_Click();

    // The path of a shell folder (5 = the user's documents), or empty text.
    std::string fGetSpecialFolder(int CSIDL) const;

    // Every window of the program, for the desktop to draw.
    std::vector<ui::Window*> windows();
    bool windowOpen(const std::string& name);

    platform::Platform& platform;
    // The user's documents folder, base of the log and parameter-file folders.
    std::string sBaseFolder;
    ui::Window window;
    dialogs::frmProgressInfo progress;
    link::FlowState flow;
    link::Indicators indicators;
    link::PortSession session;
    link::ReceivePath receive;
    link::ConnectionSequence sequence;
    params::ParamTable params;
    params::ParamRead paramRead;
    params::ParamFiles paramFiles;
    params::ParamEdit paramEdit;
    controller::ServiceMode serviceMode;
    params::BulkWrite bulkWrite;
    controller::Identity identity;
    controller::Status status;
    controller::SetControls setControls;
    dialogs::frmStartup startup;
    dialogs::frmSettings settings;
    ProvisioningLog log;

    // Start-up steps and menu commands whose dialogs and files are added by
    // their own parts.
    std::function<void()> LoadCustomerList;
    std::vector<ui::Window*> dialogs;

private:
    std::string prepareFolders(const std::string& stamp);
    void designControls();
};

}  // namespace kv::app
