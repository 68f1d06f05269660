#pragma once
// A window: caption, visibility and the controls and timers it holds, by
// name. The part that owns a control makes it by asking for it; other parts
// of the program reach it through that part, never by its name: a name asked
// for from another folder of the program is refused, and once the window is
// sealed (all its parts made) a name it does not have is an error, never a
// new control.
#include <map>
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

    // The file that asks for a control. std::source_location is not
    // available with every compiler this is built with (clang 14 over
    // libstdc++ 12); __builtin_FILE() in a default argument is, and names
    // the caller's file the same way.
    struct Where {
        const char* file;
        static constexpr Where current(const char* f = __builtin_FILE()) { return Where{f}; }
        const char* file_name() const { return file; }
    };
    Label& label(const std::string& n, Where w = Where::current()) { return get<Label>(n, w.file_name()); }
    Button& button(const std::string& n, Where w = Where::current()) { return get<Button>(n, w.file_name()); }
    TextBox& textBox(const std::string& n, Where w = Where::current()) { return get<TextBox>(n, w.file_name()); }
    TerminalBox& terminal(const std::string& n, Where w = Where::current()) {
        return get<TerminalBox>(n, w.file_name());
    }
    Image& image(const std::string& n, Where w = Where::current()) { return get<Image>(n, w.file_name()); }
    Frame& frame(const std::string& n, Where w = Where::current()) { return get<Frame>(n, w.file_name()); }
    CheckBox& checkBox(const std::string& n, Where w = Where::current()) { return get<CheckBox>(n, w.file_name()); }
    OptionButton& option(const std::string& n, Where w = Where::current()) {
        return get<OptionButton>(n, w.file_name());
    }
    ComboBox& comboBox(const std::string& n, Where w = Where::current()) { return get<ComboBox>(n, w.file_name()); }
    MenuItem& menu(const std::string& n, Where w = Where::current()) { return get<MenuItem>(n, w.file_name()); }
    Table& table(const std::string& n, Where w = Where::current()) { return get<Table>(n, w.file_name()); }
    Timer& timer(const std::string& n, Where w = Where::current()) { return timerFrom(n, w.file_name()); }

    // All the window's parts are made: a name it does not have is an error
    // from now on.
    void seal() { sealed_ = true; }
    // The program's folder a source file is in ("link" for
    // ".../src/link/PortSession.cpp"); empty outside the program (tests, the
    // desktop), whose lookups bind to controls by name as they are.
    static std::string folderOf(const std::string& file);

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

    // The accessors above, with the asking source file named.
    template <class T = Label>
    T& get(const std::string& n, const char* file) {
        if (Control* c = find(n)) {
            checkOwner(n, file);
            if (auto* t = dynamic_cast<T*>(c)) return *t;
            throw std::logic_error("control " + n + " of " + name() + " has another kind");
        }
        made(n, file);
        controls_.push_back(std::make_unique<T>(n));
        return static_cast<T&>(*controls_.back());
    }

private:
    Timer& timerFrom(const std::string& n, const char* file);
    // Refuses a name asked for from another folder of the program than its
    // owner's.
    void checkOwner(const std::string& n, const char* file) const;
    // Records who makes `n`; a sealed window makes nothing.
    void made(const std::string& n, const char* file);

    bool sealed_ = false;
    std::map<std::string, std::string> owners_;  // control or timer name: its owner's folder

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
