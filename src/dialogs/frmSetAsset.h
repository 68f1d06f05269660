#pragma once
// The "Set Asset" dialog: a barcode scanner in keyboard mode types the asset
// number and Enter, then, when their "Enable" boxes are set, the IMEI and a
// second code. The last Enter hands the asset to the main window's asset box
// and starts the automatic setting. Hidden, not destroyed, between
// controllers, so its fields keep their text.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/AssetCheck.h"
#include "controller/Identity.h"
#include "controller/IdentityWrite.h"
#include "controller/Status.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "platform/TimerHost.h"
#include "ui/Window.h"

namespace kv::dialogs {

class frmSetAsset final : public controller::AssetDialog {
public:
    frmSetAsset(platform::TimerHost& timers, controller::Identity& identity, controller::Status& status,
                platform::EventLoop& events, controller::AssetCheck& check);

    // An empty scan field with the focus in it.
    void Open() override;

    void txtScannedAsset_KeyPress(std::int16_t& keyAscii);
    void txtCustom1_KeyPress(int index, std::int16_t& keyAscii);
    void cmdExit_Click();

    // The codes scanned for the controller about to be provisioned, empty
    // where not asked for; announced as the last Enter starts the setting.
    using ScanListener = std::function<void(const std::string& custom1, const std::string& custom2)>;
    int listenScans(ScanListener l) { return scans_.add(std::move(l)); }
    // A question about the asset scanned is waiting for the technician.
    bool asking() const { return check_.asking(); }

    ui::Window window;
    ui::Frame& Frame1;
    ui::Label& Label1;
    ui::TextBox& txtScannedAsset;
    ui::Label& Label3;
    ui::Label& Label2;
    ui::TextBox& txtCustom1(int i) { return *txtCustom1_[static_cast<std::size_t>(i)]; }
    ui::CheckBox& chkCustom1(int i) { return *chkCustom1_[static_cast<std::size_t>(i)]; }
    ui::Button& cmdSetAsset;
    ui::Button& cmdExit;

private:
    // The asset, as the technician agreed to it: the codes to scan next, or
    // the start.
    void take(const std::string& asset);
    // The main window's Enter in its asset box, then the dialog goes.
    void start();

    controller::Identity& identity_;
    controller::Status& status_;
    platform::EventLoop& events_;
    controller::AssetCheck& check_;
    ui::TextBox* txtCustom1_[2];
    ui::CheckBox* chkCustom1_[2];
    std::string custom_[2];  // scanned in this round
    platform::Listeners<const std::string&, const std::string&> scans_;
};

}  // namespace kv::dialogs
