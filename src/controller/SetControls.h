#pragma once
// The seven provisioning controls of the main window, switched on and off as
// a group: on when a controller has been identified, off while it is being
// provisioned.
#include "ui/Window.h"

namespace kv::controller {

class SetControls {
public:
    explicit SetControls(ui::Window& form);

    void EnableSetControls() { setAll(true); }
    void DisableSetControls() { setAll(false); }

private:
    void setAll(bool on);
    ui::Control* controls_[7];
};

}  // namespace kv::controller
