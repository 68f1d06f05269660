#pragma once
// A multi-line text box in a monospaced font that wraps its text at a fixed
// number of columns. The text only grows at its end and shrinks at its start,
// so views can follow it with small edits instead of redrawing everything.
#include <string>
#include <string_view>

#include "ui/Control.h"

namespace kv::ui {

class TerminalBox : public Control {
public:
    using Control::Control;

    const std::string& text() const { return text_; }

    // Characters per line, as the view measures its width. At least 1.
    int columns() const { return columns_; }
    void setColumns(int columns);

    // Lines as the box shows them, wrapped lines included; an empty box has one.
    long lineCount() const;
    // Character position at which line `line` (counted from 0) begins, or -1
    // when the text has no such line.
    long lineIndex(long line) const;

    void append(std::string_view s);
    void removeHead(std::size_t count);
    void clear();

    // Key press with the key's character code (see TextBox).
    std::function<void(std::int16_t& keyAscii)> onKeyPress;
    std::int16_t keyPress(std::int16_t keyAscii) {
        if (onKeyPress) onKeyPress(keyAscii);
        return keyAscii;
    }

    // Views follow the text through these edits.
    struct Edits {
        std::function<void(std::string_view)> appended;
        std::function<void(std::size_t)> removedHead;
        std::function<void()> cleared;
    };
    void follow(Edits edits) { edits_ = std::move(edits); }

private:
    std::string text_;
    int columns_ = 80;
    Edits edits_;
};

}  // namespace kv::ui
