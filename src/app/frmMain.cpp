#include "app/frmMain.h"

#include <cstdlib>
#include <system_error>

#include "platform/Files.h"

namespace kv::app {

namespace fs = std::filesystem;

frmMain::frmMain(platform::Platform& p, const link::Profile& model)
    : platform(p),
      profile(model),
      window("frmMain", p.timers),
      progress(p.timers),
      session(window, p.port),
      indicators(window, session),
      receive(window, session, indicators, *this, p.beep, profile),
      sequence(window, progress.window, progress.lblCurrentINFO, indicators.lblMode, receive, session, *this, p.events,
               p.clock, p.locale),
      params(window, p.messageBox, profile),
      paramRead(window, receive, sequence, params),
      paramFiles(window, params, p.folders, p.fileDialog, p.messageBox, p.events, sBaseFolder),
      paramEdit(window, params, receive, sequence.tmrStatusGET, p.messageBox),
      serviceMode(window, progress.window, progress.lblCurrentINFO, receive, sequence, bulkWrite, session, p.messageBox),
      bulkWrite(window, progress.window, progress.lblCurrentINFO, sequence, receive, params, paramFiles, paramEdit, paramRead,
                sequence.tmrStatusGET,
                serviceMode, session, p.messageBox),
      counter(window),
      identity(window, receive, session, indicators, sequence.tmrStatusGET, profile, counter, p.events, p.clock),
      status(window, receive, paramEdit, p.locale),
      assetCheck(p.messageBox, p.clock, *this),
      assetDialog(p.timers, identity, status, p.events, assetCheck),
      identityWrite(window, receive, identity, status, counter, sequence.tmrStatusGET, assetDialog, assetCheck, *this,
                    session, p.events, p.beep),
      autoSetting(window, progress.window, progress.lblCurrentINFO, receive, identity, identityWrite, paramRead, bulkWrite, setControls,
                  assetCheck, sequence.tmrStatusGET, p.events),
      customers(window, identityWrite.txtSetClient, p.folders, p.messageBox),
      startup(p, session, sequence, indicators),
      settings(p, session, indicators),
      sender(window),
      records(p, record, sender),
      recordStore(p, sender) {
    window.setCaption(kCaption);
    designControls();
    for (ui::Control* c : {static_cast<ui::Control*>(&bulkWrite.cdmSetParams),
                           static_cast<ui::Control*>(&serviceMode.cmdRefreshNextController),
                           static_cast<ui::Control*>(&identityWrite.cmdSetClientID),
                           static_cast<ui::Control*>(&identityWrite.cmdSetAssetID),
                           static_cast<ui::Control*>(&identity.txtAssetID),
                           static_cast<ui::Control*>(&identityWrite.cmdSetCounter),
                           static_cast<ui::Control*>(&customers.cboCLientList)})
        setControls.add(*c);
    identity.AppendLogRow = [this](const std::vector<std::string>& fields) {
        if (sBaseFolder.empty()) return;  // no folder for the log
        if (std::string error; !log.writeRow(fields, error)) {
            std::string row;
            for (std::size_t i = 0; i < fields.size(); ++i) row += (i ? ", " : "") + fields[i];
            reportUnwritten(log.path(), error, row);
        }
    };
    bulkWrite.listenStarted([this](const std::vector<params::BulkWrite::Written>&) { counter.Lower(); });
    wireRecord();
    window.menu("mnuSettings").onClick = [this] { mnuSettings_Click(); };
    window.menu("mnuRecordStore").setCaption("Record Store");
    window.menu("mnuRecordStore").onClick = [this] { recordStore.Open(); };
    window.menu("mRecords").setCaption("Records");
    window.menu("mRecords").onClick = [this] { records.Open(); };
    window.onUnload = [this] { Form_Unload(); };
    window.onQueryUnload = [this] { return Form_QueryUnload(); };
    // Every part is made: a name nobody made is an error from now on.
    for (ui::Window* w : windows()) w->seal();
}

// The record hears what goes to the controller being provisioned and what
// the identification after its restart reads back.
void frmMain::wireRecord() {
    bulkWrite.listenStarted([this](const std::vector<params::BulkWrite::Written>& values) {
        std::vector<ProvisioningRecord::WrittenValue> written;
        for (const auto& v : values) written.push_back({v.id, v.number, v.value});
        std::string when = platform::formatLogTime(platform.clock.now()), error;
        if (!record.ParamsWriteStarted(std::move(written), identity.readings(), when, error))
            reportUnwritten(record.path(), error, record.lastRow());
    });
    identityWrite.listenWrites([this](controller::IdentityWrite::Field f, const std::string& text) {
        if (f == controller::IdentityWrite::Field::Asset) {
            record.AssetWritten(text, identity.readings(), platform::formatLogTime(platform.clock.now()));
            if (auto label = assetCheck.cutFrom(text)) record.AssetCut(*label);
        } else {
            record.ClientWritten(text, identity.readings());
        }
    });
    assetDialog.listenScans([this](const std::string& custom1, const std::string& custom2) {
        std::string when = platform::formatLogTime(platform.clock.now()), error;
        if (!record.Scanned(custom1, custom2, when, error)) reportUnwritten(record.path(), error, record.lastRow());
    });
    record.listenStored([this] { sender.rowAdded(); });
    // The CSV record says for itself whether it took the row.
    record.listenStoreFailures([this](const std::string& where, const std::string& error, const std::string& row) {
        platform.messageBox.show("The record store " + where + " could not take this row: " + error + "\n" + row,
                                 platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
    });
    receive.listenReplies([this](link::Reply r) {
        record.Replied(r, identity.readings(), paramRead.lastRead(), r == link::Reply::Mac && !identifying());
    });
}

void frmMain::openRecordStore() {
    platform::RecordStore* store = platform.records;
    if (!store) return;
    if (std::string error; !store->open(error)) {
        platform.messageBox.show("The record store " + store->location() + " cannot be used: " + error +
                                     "\nThe record files are written as before; the store is left as it is.",
                                 platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
        return;
    }
    record.useStore(store, store->station());
    recordStore.Connect(*store);
}

bool frmMain::askShared(const std::string& asset, SharedAnswer answer) {
    const std::string station = record.store() ? record.store()->station() : std::string();
    return sender.askShared(asset, [answer = std::move(answer), station](const std::optional<platform::StoredRow>& row,
                                                                        const std::string& error) {
        if (!row) return answer(std::nullopt, error);
        answer(Use{row->fields[platform::RecordStore::kMac], row->fields[0],
                   row->station == station ? std::string() : row->station},
               error);
    });
}

void frmMain::reportUnwritten(const std::filesystem::path& file, const std::string& error, const std::string& row) {
    platform.messageBox.show("Could not write to " + file.string() + ": " + error +
                                 "\nThis row is not in the file; please note it:\n" + row,
                             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
}

// The end of an identification, after pending events have run: the customer,
// the record row of a controller just provisioned, and the next scan of the
// batch.
void frmMain::ControllerIdentified() {
    customers.SelectCustomer(identity.lblClient.caption());
    // Not in the middle of provisioning a controller (a replug identifies it
    // again meanwhile): the next scan waits for its turn.
    bool provisioning = autoSetting.tmrSetAutoAssetClientParam.enabled() || bulkWrite.tmrSetMultipleParams.enabled();
    std::string when = platform::formatLogTime(platform.clock.now());
    if (std::string error; !record.Identified(when, provisioning, error))
        reportUnwritten(record.path(), error, record.lastRow());
    if (counter.remaining() > 0 && !provisioning) assetDialog.Open();
}

bool frmMain::Provisioning() const {
    return autoSetting.tmrSetAutoAssetClientParam.enabled() || bulkWrite.tmrSetMultipleParams.enabled() ||
           identifying();
}

// Each request of an identification as its own button sends it.
void frmMain::Request(link::IdentifyStep step) {
    using Step = link::IdentifyStep;
    switch (step) {
        case Step::Firmware: identity.cdmGETV.press(); break;
        case Step::Checksum: identity.cmdGetCheckSum.press(); break;
        case Step::Params: paramRead.cmdGetParams.press(); break;
        case Step::Mac: identity.cmdGetMACAddress.press(); break;
        case Step::Client: identity.cmdGetClientID.press(); break;
        case Step::Asset: identity.cmdGetAssetID.press(); break;
        case Step::Connected:
        case Step::Finished: break;
    }
}

bool frmMain::identifying() const {
    return progress.window.visible() && sequence.running();
}

// The picture and menus that no part owns.
void frmMain::designControls() {
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
    std::string stamp = platform::formatFileTime(platform.clock.now());
    sBaseFolder = fGetSpecialFolder(5);
    if (std::string problem = prepareFolders(stamp); !problem.empty())
        platform.messageBox.show(problem, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                                 platform::kAppTitle);
    customers.LoadCustomerList();

    indicators.showLamp(indicators.imgRx, link::Indicators::kActivityIdle);
    indicators.showLamp(indicators.imgTx, link::Indicators::kActivityIdle);
    window.show();
    window.refresh();

    session.configure({10, {38400, 'N', 8, 10}, 0});
    (void)session.open();  // a port that is not there stays closed, unreported
    indicators.ShowInfo();
    sequence.SelectCommMode(0, 3);
    params.iValueOffset = 400;

    receive.txtTerminal.clear();
    sequence.lblTime.setCaption("");
    identity.cdmGETV.setEnabled(true);
    receive.iRxIdx = 1;
    identity.lblMacAddress.setCaption("");
    progress.lblCurrentINFO.setCaption("");
    params.ClearRows();

    startup.CommStartup(&session, "Communications Port Settings");
    paramFiles.ReadZMCConfigFile();

    sequence.abort();
    autoSetting.abort();
    platform.events.doEvents();
    platform.events.doEvents();
    // Once the port dialog is on screen: opening the store (and creating it
    // the first time) takes longer than drawing the dialog, and no row can
    // come before the technician has answered it.
    openRecordStore();
}

// Creates the log and parameter-file folders and the log file. Returns what
// went wrong, for one message; the program runs on without what failed.
std::string frmMain::prepareFolders(const std::string& stamp) {
    if (sBaseFolder.empty())
        return "No documents folder was found, so the provisioning log is not written and parameter "
               "files have no folder.";
    std::string problems;
    auto makeFolder = [&](const fs::path& folder, const char* what) {
        if (std::string error; !platform::makeFolders(folder.string(), error))
            problems += std::string("Cannot create the ") + what + " " + folder.string() + ": " + error + "\n";
    };
    // The log and the record make their folder, and are tried again at each
    // row while they cannot be created.
    fs::path logs = fs::path(sBaseFolder) / "KV53_LOGS";
    std::string error;
    if (!log.create(logs, stamp, error))
        problems += "Cannot create the log file " + log.path().string() + ": " + error + "\n";
    if (!record.create(logs, stamp, error))
        problems += "Cannot create the record file " + record.path().string() + ": " + error + "\n";
    if (!problems.empty()) problems += "They are created as soon as the folder can hold them.\n";
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
    closeProgram(record.paramsStarted() ? "no: not identified after its restart"
                                        : "no: the program was closed before its read-back");
}

bool frmMain::Form_QueryUnload() {
    if (!bulkWrite.writing()) return true;
    if (closeQuestion_) return false;  // asked already
    closeQuestion_ = platform.messageBox.ask(
        "The parameters are being written to the controller, which is in service mode. Close anyway? The "
        "controller is taken out of service mode first and may keep only part of the new values.",
        platform::MsgIcon::Exclamation, platform::kAppTitle, {"Keep writing", "Close anyway"}, [this](int answer) {
            closeQuestion_ = 0;
            if (answer == 1) CloseNow();
        });
    return false;
}

void frmMain::CloseNow() {
    if (closed_) return;
    if (!bulkWrite.writing()) {
        window.hide();
        Form_Unload();
        return;
    }
    bool inService = !bulkWrite.restarting();
    bulkWrite.Abandon();
    window.hide();
    closeProgram(inService ? "no: the program was closed during its parameter write; taken out of "
                             "service mode"
                           : "no: the program was closed during its restart");
}

void frmMain::closeProgram(const std::string& why) {
    if (closed_) return;  // a signal and the window's close, one after the other
    closed_ = true;
    platform.messageBox.close(closeQuestion_);
    closeQuestion_ = 0;
    log.close();
    std::string error;
    if (!record.Flush(platform::formatLogTime(platform.clock.now()), why, error))
        reportUnwritten(record.path(), error, record.lastRow());
    record.close();
    for (ui::Window* w : windows())
        if (w != &window && w->visible()) w->unload();
    session.close();
    platform.events.quit();
}

void frmMain::Form_Terminate() {
    log.close();
    record.close();
}

void frmMain::mnuSettings_Click() {
    // The dialog closes the port: not while the controller is in the middle
    // of a bulk write or its restart.
    if (bulkWrite.tmrSetMultipleParams.enabled()) {
        platform.messageBox.show("The parameters are being written to the controller. Open the settings when it "
                                 "has restarted.",
                                 platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::kAppTitle);
        return;
    }
    settings.CommSettings(&session, "Communications Port Settings");
    while (windowOpen("frmSettings")) platform.events.waitForEvents();
    indicators.ShowInfo();
}

std::vector<ui::Window*> frmMain::windows() {
    return {&window, &progress.window, &startup.window, &settings.window, &assetDialog.window, &records.window,
            &recordStore.window};
}

bool frmMain::windowOpen(const std::string& name) {
    for (ui::Window* w : windows())
        if (w->name() == name && w->visible()) return true;
    return false;
}

}  // namespace kv::app
