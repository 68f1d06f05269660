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

#include "controller/Identity.h"
#include "controller/IdentityWrite.h"
#include "controller/Status.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Listeners.h"
#include "platform/TimerHost.h"
#include "ui/Window.h"

namespace kv::dialogs {

// Where an asset went before, as the record knows it: a controller's MAC and
// the time of its row ("hh:mm:ss dd/MM/yyyy").
class AssetHistory {
public:
    struct Use {
        std::string mac, when;
    };
    // The last controller `asset` was written to. (The controller on the line
    // when a label is scanned is not known yet: in a batch it has just been
    // put there.)
    virtual std::optional<Use> assetUse(const std::string& asset) const = 0;

protected:
    ~AssetHistory() = default;
};

class frmSetAsset final : public controller::AssetDialog {
public:
    frmSetAsset(platform::TimerHost& timers, controller::Identity& identity, controller::Status& status,
                platform::EventLoop& events, platform::MessageBox& messageBox, const platform::Clock& clock,
                const AssetHistory& history);

    // An empty scan field with the focus in it.
    void Open() override;

    void txtScannedAsset_KeyPress(std::int16_t& keyAscii);
    void txtCustom1_KeyPress(int index, std::int16_t& keyAscii);
    void cmdExit_Click();

    // The codes scanned for the controller about to be provisioned, empty
    // where not asked for, and the whole label when the technician chose to
    // write only its first 15 characters; announced as the last Enter
    // starts the setting.
    struct Scan {
        std::string custom1, custom2, cutFrom;
    };
    using ScanListener = std::function<void(const Scan&)>;
    int listenScans(ScanListener l) { return scans_.add(std::move(l)); }
    // A question about the asset scanned is waiting for the technician.
    bool asking() const { return question_ != 0; }

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
    // The asset scanned is checked before it is taken: a label too long for
    // the controller, an asset written before to another controller.
    void checkLength(const std::string& label);
    void checkRepeat(const std::string& asset, const std::string& cutFrom);
    void ask(const std::string& text, std::vector<std::string> buttons, std::function<void(int)> then);
    void take(const std::string& asset, const std::string& cutFrom);
    void scanAgain();
    // The main window's Enter in its asset box, then the dialog goes.
    void start();

    controller::Identity& identity_;
    controller::Status& status_;
    platform::EventLoop& events_;
    platform::MessageBox& messageBox_;
    const platform::Clock& clock_;
    const AssetHistory& history_;
    ui::TextBox* txtCustom1_[2];
    ui::CheckBox* chkCustom1_[2];
    std::string custom_[2];  // scanned in this round
    std::string cutFrom_;    // the label whose first 15 characters are the asset
    platform::MessageId question_ = 0;
    platform::Listeners<const Scan&> scans_;
};

}  // namespace kv::dialogs
