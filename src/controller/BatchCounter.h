#pragma once
// The batch counter: how many controllers of the batch are still to be
// provisioned. It lives only in the caption of lblCounter, beside the
// "Remaining" header that SET COUNTER shows.
#include <string>

#include "ui/Window.h"

namespace kv::controller {

class BatchCounter {
public:
    explicit BatchCounter(ui::Window& form);

    // The count; a caption that is not a number (empty, a lone full stop or
    // percent sign, which the count box admits) counts as 0.
    double remaining() const;
    // SET COUNTER: the count box's text, unchanged, and the header shown.
    void Set(const std::string& text);
    // One controller of the batch provisioned: a count above 0 goes down by one.
    void Lower();

    ui::Label& lblCounter;
    ui::Label& lblRemaining;  // lblHeader(1)
};

}  // namespace kv::controller
