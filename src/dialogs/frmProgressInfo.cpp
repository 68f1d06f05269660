#include "dialogs/frmProgressInfo.h"

namespace kv::dialogs {

frmProgressInfo::frmProgressInfo(platform::TimerHost& timers)
    : window("frmProgressInfo", timers),
      fraInfo(window.frame("fraInfo")),
      lblCurrentINFO(window.label("lblCurrentINFO")),
      lblInfoProgress(window.label("lblInfoProgress")),
      imgRedDot(window.image("imgRedDot")),
      imgGreenDot(window.image("imgGreenDot")) {
    window.setCaption("INFO");
    lblCurrentINFO.setCaption("INFO");
    imgRedDot.setPicture("red_dot");
    imgGreenDot.setPicture("green_dot");
    Form_Load();
}

void frmProgressInfo::Form_Load() {
    imgRedDot.setVisible(false);
    imgGreenDot.setVisible(false);
}

}  // namespace kv::dialogs
