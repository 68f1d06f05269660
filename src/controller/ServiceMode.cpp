#include "controller/ServiceMode.h"

#include "link/Frames.h"

namespace kv::controller {

ServiceMode::ServiceMode(ui::Window& form, ui::Window& frmProgressInfo, ui::Label& lblCurrentINFO, link::ReceivePath& receive,
                         link::ConnectionSequence& sequence, params::BulkWrite& bulk, const link::PortSession& port,
                         platform::MessageBox& messageBox)
    : cmdEnterServiceMode(form.button("cmdEnterServiceMode")),
      cmdExitServiceMode(form.button("cmdExitServiceMode")),
      cmdRestartController(form.button("cmdRestartController")),
      cmdRefreshNextController(form.button("cmdRefreshNextController")),
      frmProgressInfo_(frmProgressInfo),
      lblCurrentINFO_(lblCurrentINFO),
      receive_(receive),
      sequence_(sequence),
      bulk_(bulk),
      port_(port),
      messageBox_(messageBox) {
    const struct {
        ui::Button& button;
        const char* caption;
        bool visible;
    } design[] = {{cmdEnterServiceMode, "ENTER SERVICE MODE", false},
                  {cmdExitServiceMode, "EXIT SERVICE MODE", false},
                  {cmdRestartController, "RESTART", true},
                  {cmdRefreshNextController, "REFRESH", true}};
    for (const auto& d : design) {
        d.button.setCaption(d.caption);
        d.button.setVisible(d.visible);
    }
    cmdEnterServiceMode.onClick = [this] { cmdEnterServiceMode_Click(); };
    cmdExitServiceMode.onClick = [this] { cmdExitServiceMode_Click(); };
    cmdRestartController.onClick = [this] { cmdRestartController_Click(); };
    cmdRefreshNextController.onClick = [this] { cmdRefreshNextController_Click(); };
    receive_.setHandler(link::cmdServiceMode, [this](std::int16_t n) { ParseMsgServiceMode(n); });
}

void ServiceMode::cmdEnterServiceMode_Click() {
    sequence_.tmrStatusGET.setEnabled(false);
    receive_.SendRequest(link::frameServiceMode(true));
    sequence_.tmrStatusGET.setEnabled(false);
}

void ServiceMode::cmdExitServiceMode_Click() {
    receive_.ResetReceive();
    sequence_.tmrStatusGET.setEnabled(false);
    receive_.Send(link::frameServiceMode(false));
    sequence_.tmrStatusGET.setEnabled(false);
}

// Enter and leave replies alike: they only move a waiting bulk write on.
void ServiceMode::ParseMsgServiceMode(std::int16_t n) {
    receive_.WriteDump(n);
    bulk_.ServiceModeReplied();
}

void ServiceMode::cmdRestartController_Click() {
    lblCurrentINFO_.setCaption(" Controller Restarting......Please wait");
    receive_.ResetReceive();
    frmProgressInfo_.show();
    frmProgressInfo_.refresh();
    cmdEnterServiceMode.press();
    bulk_.StartRestart();
}

void ServiceMode::cmdRefreshNextController_Click() {
    receive_.ResetReceive();
    if (!port_.isOpen()) {
        messageBox_.show("COMM PORT NOT OPEN", platform::MsgButtons::Ok, platform::MsgIcon::None,
                         platform::kAppTitle);
        return;
    }
    sequence_.tmrStatusGET.setEnabled(false);
    sequence_.start();
}

}  // namespace kv::controller
