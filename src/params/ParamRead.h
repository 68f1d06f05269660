#pragma once
// Reading the values of parameters 1 to 39 from the controller, and the
// acknowledgement the controller sends after a parameter write.
#include <cstdint>

#include "link/FlowState.h"
#include "link/ReceivePath.h"
#include "params/ParamTable.h"
#include "ui/Window.h"

namespace kv::params {

class ParamRead {
public:
    ParamRead(ui::Window& form, link::FlowState& flow, link::ReceivePath& receive, ParamTable& table);

    void cmdGetParams_Click();
    void ParseMsgGetParam(std::int16_t sNumberOfBytes);
    void ParseMsgParamResponse(std::int16_t sNumberOfBytes);

    ui::Button& cmdGetParams;

private:
    link::FlowState& flow_;
    link::ReceivePath& receive_;
    ParamTable& table_;
};

}  // namespace kv::params
