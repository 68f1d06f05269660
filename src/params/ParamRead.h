#pragma once
// Reading the values of every parameter from the controller, and the
// acknowledgement the controller sends after a parameter write.
#include <cstdint>

#include <vector>

#include "link/ConnectionSequence.h"
#include "link/ReceivePath.h"
#include "params/ParamTable.h"
#include "ui/Window.h"

namespace kv::params {

class ParamRead {
public:
    // Each identification of `sequence` starts with an empty table.
    ParamRead(ui::Window& form, link::ReceivePath& receive, link::ConnectionSequence& sequence, ParamTable& table);

    void cmdGetParams_Click();
    void ParseMsgGetParam(std::int16_t sNumberOfBytes);
    void ParseMsgParamResponse(std::int16_t sNumberOfBytes);

    // The values of the latest parameter reply, in its order, as the
    // controller sent them (before any limit is applied for showing).
    const std::vector<int>& lastRead() const { return lastRead_; }

    ui::Button& cmdGetParams;

private:
    void clearValues();
    std::vector<int> lastRead_;
    link::ReceivePath& receive_;
    ParamTable& table_;
};

}  // namespace kv::params
