#pragma once
// A control of a window as a small model: its state and the routines its
// events run. The desktop draws it and listens for changes; tests read it.
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Listeners.h"

namespace kv::ui {

// Position and size in twips (15 twips to a pixel at the usual 96 dpi).
struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

class Control {
public:
    explicit Control(std::string name) : name_(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }

    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { set(enabled_, on); }
    bool visible() const { return visible_; }
    void setVisible(bool on) { set(visible_, on); }

    // Set only where the program moves a control; otherwise the desktop keeps
    // the design position.
    const std::optional<Rect>& geometry() const { return geometry_; }
    void setGeometry(const Rect& r) {
        if (geometry_ != r) {
            geometry_ = r;
            changed();
        }
    }

    // Asks the desktop to put the keyboard focus here.
    void setFocus() {
        ++focusRequests_;
        changed();
    }
    int focusRequests() const { return focusRequests_; }

    using Listener = std::function<void()>;
    int listen(Listener l) { return listeners_.add(std::move(l)); }
    void unlisten(int id) { listeners_.remove(id); }

protected:
    template <class T>
    void set(T& field, const T& value) {
        if (field != value) {
            field = value;
            changed();
        }
    }
    void changed() { listeners_.call(); }

private:
    std::string name_;
    bool enabled_ = true;
    bool visible_ = true;
    std::optional<Rect> geometry_;
    int focusRequests_ = 0;
    platform::Listeners<> listeners_;
};

// A control with a caption and a click routine.
class Captioned : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c) { set(caption_, c); }
    std::function<void()> onClick;
    virtual void click() {
        if (onClick) onClick();
    }

private:
    std::string caption_;
};

class Label : public Captioned {
public:
    using Captioned::Captioned;
};

// A command button. click() is the user's click; press() is a press from code,
// which runs the same routine also when the button is hidden or disabled.
class Button : public Captioned {
public:
    using Captioned::Captioned;
    void click() override {
        if (enabled() && visible()) press();
    }
    void press() {
        if (onClick) onClick();
    }
};

class TextBox : public Control {
public:
    using Control::Control;
    const std::string& text() const { return text_; }
    void setText(const std::string& t) { set(text_, t); }
    // Key press with the key's character code; the routine may set it to 0 to
    // swallow the key.
    std::function<void(std::int16_t& keyAscii)> onKeyPress;
    // Returns the code to insert, 0 when the key was swallowed.
    std::int16_t keyPress(std::int16_t keyAscii) {
        if (onKeyPress) onKeyPress(keyAscii);
        return keyAscii;
    }

private:
    std::string text_;
};

// An image or picture box; lamps copy pictures between images.
class Image : public Captioned {
public:
    using Captioned::Captioned;
    const std::string& picture() const { return picture_; }
    void setPicture(const std::string& p) { set(picture_, p); }

private:
    std::string picture_;
};

class Frame : public Captioned {
public:
    using Captioned::Captioned;
};

class CheckBox : public Captioned {
public:
    using Captioned::Captioned;
    bool checked() const { return checked_; }
    void setChecked(bool on) { set(checked_, on); }

private:
    bool checked_ = false;
};

// An option button: one of a group, of which the window's routines keep at
// most one selected. A click by the user selects it and runs its routine.
class OptionButton : public Captioned {
public:
    using Captioned::Captioned;
    bool value() const { return value_; }
    void setValue(bool on) { set(value_, on); }
    void click() override {
        if (!enabled()) return;
        setValue(true);
        Captioned::click();
    }

private:
    bool value_ = false;
};

// A drop-down list, with an editable text for combo boxes.
class ComboBox : public Control {
public:
    using Control::Control;
    const std::vector<std::string>& items() const { return items_; }
    void addItem(const std::string& item) {
        items_.push_back(item);
        changed();
    }
    void clear() {
        items_.clear();
        listIndex_ = -1;
        text_.clear();
        changed();
    }
    int listIndex() const { return listIndex_; }
    // Selecting an entry also makes it the text.
    void setListIndex(int i) {
        if (i < -1 || i >= static_cast<int>(items_.size())) return;
        listIndex_ = i;
        text_ = i >= 0 ? items_[static_cast<std::size_t>(i)] : std::string();
        changed();
    }
    const std::string& text() const { return text_; }
    void setText(const std::string& t) { set(text_, t); }
    // A drop-down list only offers its entries; a combo box takes typing too.
    bool editable() const { return editable_; }
    void setEditable(bool on) { set(editable_, on); }
    // The user chose an entry.
    std::function<void()> onClick;
    void choose(int i) {
        setListIndex(i);
        if (onClick) onClick();
    }

private:
    std::vector<std::string> items_;
    int listIndex_ = -1;
    std::string text_;
    bool editable_ = true;
};

// A read-only table: column headings and rows of texts.
class Table : public Control {
public:
    using Control::Control;
    using Row = std::vector<std::string>;
    const Row& columns() const { return columns_; }
    void setColumns(Row columns) { set(columns_, columns); }
    const std::vector<Row>& rows() const { return rows_; }
    void setRows(std::vector<Row> rows) { set(rows_, rows); }

private:
    Row columns_;
    std::vector<Row> rows_;
};

class MenuItem : public Captioned {
public:
    using Captioned::Captioned;
    void click() override {
        if (enabled() && onClick) onClick();
    }
};

}  // namespace kv::ui
