#pragma once
// A window: caption, visibility and the controls and timers it holds, found by
// name. A control is created the first time any part of the program asks for
// it, so the parts of a window can refer to each other's controls in any order.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/Control.h"
#include "ui/TerminalBox.h"
#include "ui/Timer.h"

namespace kv::ui {

class Window : public Control {
public:
    Window(std::string name, platform::TimerHost& timers) : Control(std::move(name)), timers_(timers) {
        setVisible(false);
    }

    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c) { set(caption_, c); }

    void show() { setVisible(true); }
    void hide() { setVisible(false); }
    // Asks for the window to be painted now, before the caller goes on.
    void refresh() {
        ++refreshRequests_;
        changed();
    }
    int refreshRequests() const { return refreshRequests_; }

    // Kept above all other windows while shown.
    bool topMost() const { return topMost_; }
    void setTopMost(bool on) { set(topMost_, on); }

    Label& label(const std::string& n) { return get<Label>(n); }
    Button& button(const std::string& n) { return get<Button>(n); }
    TextBox& textBox(const std::string& n) { return get<TextBox>(n); }
    TerminalBox& terminal(const std::string& n) { return get<TerminalBox>(n); }
    Image& image(const std::string& n) { return get<Image>(n); }
    Frame& frame(const std::string& n) { return get<Frame>(n); }
    CheckBox& checkBox(const std::string& n) { return get<CheckBox>(n); }
    OptionButton& option(const std::string& n) { return get<OptionButton>(n); }
    ComboBox& comboBox(const std::string& n) { return get<ComboBox>(n); }
    MenuItem& menu(const std::string& n) { return get<MenuItem>(n); }
    Table& table(const std::string& n) { return get<Table>(n); }
    Timer& timer(const std::string& n);

    // Controls in the order they were first asked for.
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    const std::vector<std::unique_ptr<Timer>>& timers() const { return timerList_; }
    Control* find(const std::string& n) const;

    // Runs first when the window is to close; false keeps it open.
    std::function<bool()> onQueryUnload;
    // Runs when the window is closed by the user or by the program.
    std::function<void()> onUnload;
    void unload() {
        if (onQueryUnload && !onQueryUnload()) return;
        hide();
        if (onUnload) onUnload();
    }

private:
    template <class T>
    T& get(const std::string& n) {
        if (Control* c = find(n)) {
            if (auto* t = dynamic_cast<T*>(c)) return *t;
            throw std::logic_error("control " + n + " of " + name() + " has another kind");
        }
        controls_.push_back(std::make_unique<T>(n));
        return static_cast<T&>(*controls_.back());
    }

    platform::TimerHost& timers_;
    std::string caption_;
    bool topMost_ = false;
    int refreshRequests_ = 0;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<std::unique_ptr<Timer>> timerList_;
};

// Name of the i-th element of a control array, e.g. item("lblGetStatus", 3).
inline std::string item(const std::string& array, int index) {
    return array + "(" + std::to_string(index) + ")";
}

}  // namespace kv::ui
