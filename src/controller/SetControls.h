#pragma once
// The seven provisioning controls of the main window, switched on and off as
// a group: on when a controller has been identified, off while it is being
// provisioned. Their owners put them in the group.
#include <vector>

#include "ui/Control.h"

namespace kv::controller {

class SetControls {
public:
    void add(ui::Control& control) { controls_.push_back(&control); }

    void EnableSetControls() { setAll(true); }
    void DisableSetControls() { setAll(false); }

    const std::vector<ui::Control*>& controls() const { return controls_; }

private:
    void setAll(bool on) {
        for (ui::Control* c : controls_) c->setEnabled(on);
    }
    std::vector<ui::Control*> controls_;
};

}  // namespace kv::controller
