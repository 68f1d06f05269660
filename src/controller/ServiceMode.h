#pragma once
// Service mode, RESTART and REFRESH: the commands that change the
// controller's mode and move on to the next controller.
#include <cstdint>

#include "link/ConnectionSequence.h"
#include "link/ReceivePath.h"
#include "params/BulkWrite.h"
#include "platform/Desktop.h"
#include "platform/SerialPort.h"
#include "ui/Window.h"

namespace kv::controller {

class ServiceMode final : public params::ServiceModeButtons {
public:
    ServiceMode(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ReceivePath& receive,
                link::ConnectionSequence& sequence, params::BulkWrite& bulk, const link::PortSession& port,
                platform::MessageBox& messageBox);

    void cmdEnterServiceMode_Click();
    void cmdExitServiceMode_Click();
    void ParseMsgServiceMode(std::int16_t sNumberOfBytes);
    void cmdRestartController_Click();
    void cmdRefreshNextController_Click();

    // What the bulk write presses.
    void pressEnterServiceMode() override { cmdEnterServiceMode.press(); }
    void pressExitServiceMode() override { cmdExitServiceMode.press(); }
    void pressRefreshNextController() override { cmdRefreshNextController.press(); }
    void setNextControllerEnabled(bool on) override {
        cmdRefreshNextController.setEnabled(on);
        cmdRestartController.setEnabled(on);
    }

    ui::Button& cmdEnterServiceMode;
    ui::Button& cmdExitServiceMode;
    ui::Button& cmdRestartController;
    ui::Button& cmdRefreshNextController;

private:
    ui::Window& frmProgressInfo_;
    ui::Label& lblCurrentINFO_;
    link::ReceivePath& receive_;
    link::ConnectionSequence& sequence_;
    params::BulkWrite& bulk_;
    const link::PortSession& port_;
    platform::MessageBox& messageBox_;
};

}  // namespace kv::controller
