#include "ui/TerminalBox.h"

namespace kv::ui {

void TerminalBox::setColumns(int columns) {
    if (columns < 1) columns = 1;
    set(columns_, columns);
}

long TerminalBox::lineCount() const {
    if (text_.empty()) return 1;
    return static_cast<long>((text_.size() + columns_ - 1) / static_cast<std::size_t>(columns_));
}

long TerminalBox::lineIndex(long line) const {
    if (line < 0 || line >= lineCount()) return -1;
    return line * columns_;
}

void TerminalBox::append(std::string_view s) {
    if (s.empty()) return;
    text_.append(s);
    if (edits_.appended) edits_.appended(s);
}

void TerminalBox::removeHead(std::size_t count) {
    if (count > text_.size()) count = text_.size();
    if (count == 0) return;
    text_.erase(0, count);
    if (edits_.removedHead) edits_.removedHead(count);
}

void TerminalBox::clear() {
    if (text_.empty()) return;
    text_.clear();
    if (edits_.cleared) edits_.cleared();
}

}  // namespace kv::ui
