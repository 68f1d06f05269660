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

namespace {

// A whole number of any length less one, digit by digit: "1000" gives "999".
std::string lessOne(std::string digits) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '0') digits[--i] = '9';
    if (i > 0) --digits[i - 1];
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

}  // namespace

void BatchCounter::Lower() {
    double count = remaining();
    if (count <= 0) return;
    // A count of whole digits goes down by exactly one whatever its length;
    // a double would round one of 17 digits.
    std::string text = ui::trim(lblCounter.caption());
    if (text.find_first_not_of("0123456789") == std::string::npos) lblCounter.setCaption(lessOne(text));
    else lblCounter.setCaption(params::numberText(count - 1));
}

}  // namespace kv::controller
