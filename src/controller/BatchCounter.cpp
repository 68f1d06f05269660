#include "controller/BatchCounter.h"

#include "params/ParamValues.h"
#include "ui/Text.h"

namespace kv::controller {

BatchCounter::BatchCounter(ui::Window& form)
    : lblCounter(form.label("lblCounter")), lblRemaining(form.label(ui::item("lblHeader", 1))) {
    lblRemaining.setCaption("Remaining");
    lblRemaining.setVisible(false);
}

double BatchCounter::remaining() const { return ui::toNumber(lblCounter.caption()).value_or(0); }

void BatchCounter::Set(const std::string& text) {
    lblCounter.setCaption(text);
    lblRemaining.setVisible(true);
}

void BatchCounter::Lower() {
    double count = remaining();
    if (count > 0) lblCounter.setCaption(params::numberText(count - 1));
}

}  // namespace kv::controller
