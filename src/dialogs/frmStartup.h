#pragma once
// The start-up port dialog: it closes the main window's port, lists COM1 to
// COM32 as free or held by another program, preselects the port in use, and
// on OK opens the chosen port at 38400,N,8,1 and starts identifying the
// controller.
#include <string>

#include "dialogs/PortDialog.h"
#include "link/ConnectionSequence.h"

namespace kv::dialogs {

class frmStartup : public PortDialog {
public:
    // The window's size, in twips.
    static constexpr int kWidth = 4500, kHeight = 1950;

    frmStartup(platform::Platform& platform, link::PortSession& session, link::ConnectionSequence& sequence,
               link::Indicators& indicators);

    void CommStartup(link::PortSession* cntrl, const std::string& msg) { scan(cntrl, msg); }
    void cmdRefresh_Click();

    ui::Button& cmdRefresh;

protected:
    void takeLineSettings() override;
    void finishOk() override;

private:
    link::ConnectionSequence& sequence_;
};

}  // namespace kv::dialogs
