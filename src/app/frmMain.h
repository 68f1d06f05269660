#pragma once
// The main window: it owns the port, the receive state, the flows' state, all
// timers and the provisioning log for the whole run, and composes the parts
// that carry its routines.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ProvisioningLog.h"
#include "app/ProvisioningRecord.h"
#include "app/RecordSender.h"
#include "app/frmRecordStore.h"
#include "app/frmRecords.h"
#include "controller/AutoSetting.h"
#include "controller/BatchCounter.h"
#include "controller/Identity.h"
#include "controller/IdentityWrite.h"
#include "controller/ServiceMode.h"
#include "controller/SetControls.h"
#include "controller/Status.h"
#include "dialogs/CustomerList.h"
#include "dialogs/frmProgressInfo.h"
#include "dialogs/frmSetAsset.h"
#include "dialogs/frmSettings.h"
#include "dialogs/frmStartup.h"
#include "link/ConnectionSequence.h"
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

class frmMain final : public link::Identified, public link::FlowState, public controller::AssetHistory {
public:
    static constexpr const char* kCaption = "Varkel KV5x COMM Dashboard V1.6";

    // `model`: the controller model the program provisions.
    explicit frmMain(platform::Platform& platform, const link::Profile& model = link::kKV53);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    void Form_Load();
    // Layout rule; W and H are the window's inner size in twips.
    void Form_Resize(int W, int H);
    void Form_Unload();
    void Form_Terminate();
    void mnuSettings_Click();

    // The end of an identification (the connection sequence calls these).
    void Request(link::IdentifyStep step) override;
    void RequestStatus() override { status.cmdGetStatus.press(); }
    void EnableSetControls() override { setControls.EnableSetControls(); }
    void ControllerIdentified() override;
    // A flow is identifying or provisioning the controller on the line.
    bool Provisioning() const override;
    std::optional<Use> assetUse(const std::string& asset) const override {
        return record.assetUse(asset);
    }
    bool askShared(const std::string& asset, SharedAnswer answer) override;
    // The user closes the main window: while the table is being written
    // they are asked first, and closing then takes the controller out of
    // service mode before the port closes.
    bool Form_QueryUnload();
    // Closes at once, as "Close anyway" would: the system asks the program to
    // end (a signal), so nobody is there to be asked. Every row is written and
    // the port released; a bulk write is abandoned as a close during it is.
    void CloseNow();

    // The path of a shell folder (5 = the user's documents), or empty text.
    std::string fGetSpecialFolder(int CSIDL) const;

    // Every window of the program, for the desktop to draw.
    std::vector<ui::Window*> windows();
    bool windowOpen(const std::string& name);

    platform::Platform& platform;
    const link::Profile& profile;
    // The user's documents folder, base of the log and parameter-file folders.
    std::string sBaseFolder;
    ui::Window window;
    dialogs::frmProgressInfo progress;
    link::PortSession session;
    link::Indicators indicators;
    link::ReceivePath receive;
    link::ConnectionSequence sequence;
    params::ParamTable params;
    params::ParamRead paramRead;
    params::ParamFiles paramFiles;
    params::ParamEdit paramEdit;
    controller::ServiceMode serviceMode;
    params::BulkWrite bulkWrite;
    controller::BatchCounter counter;
    controller::Identity identity;
    controller::Status status;
    controller::AssetCheck assetCheck;
    dialogs::frmSetAsset assetDialog;
    controller::IdentityWrite identityWrite;
    controller::SetControls setControls;
    controller::AutoSetting autoSetting;
    dialogs::CustomerList customers;
    dialogs::frmStartup startup;
    dialogs::frmSettings settings;
    ProvisioningLog log;
    ProvisioningRecord record;
    RecordSender sender;
    frmRecords records;
    frmRecordStore recordStore;

private:
    std::string prepareFolders(const std::string& stamp);
    // The record's database, when the desktop gives one: a store that cannot
    // be opened is said once and left alone.
    void openRecordStore();
    void designControls();
    void wireRecord();
    // Closes the program; a controller written to and not read back gets
    // its row, saying `why`.
    void closeProgram(const std::string& why);
    // The connection sequence is identifying the controller on the line.
    bool identifying() const;
    platform::MessageId closeQuestion_ = 0;
    bool closed_ = false;
    // A row of the log or the record could not be written: said at once, with
    // the row, so that nothing is lost without a word.
    void reportUnwritten(const std::filesystem::path& file, const std::string& error, const std::string& row);
};

}  // namespace kv::app
