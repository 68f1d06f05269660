#pragma once
// The small "INFO" window in which every long-running flow tells the
// technician what it is doing.
#include "platform/TimerHost.h"
#include "ui/Window.h"

namespace kv::dialogs {

class frmProgressInfo {
public:
    explicit frmProgressInfo(platform::TimerHost& timers);

    void Form_Load();

    ui::Window window;
    ui::Frame& fraInfo;
    ui::Label& lblCurrentINFO;
    ui::Label& lblInfoProgress;
    ui::Image& imgRedDot;
    ui::Image& imgGreenDot;
};

}  // namespace kv::dialogs
