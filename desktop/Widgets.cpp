#include "desktop/Widgets.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "desktop/Pictures.h"
#include "desktop/QtPlatform.h"

namespace kv::desktop {

namespace {

QRect pixels(const ui::Rect& r) { return {r.left / 15, r.top / 15, r.width / 15, r.height / 15}; }

class ClickLabel : public QLabel {
public:
    ClickLabel(ui::Label& model, QWidget* parent) : QLabel(parent), model_(model) {}

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && isEnabled()) model_.click();
    }

private:
    ui::Label& model_;
};

// A picture, with its caption beside it when it has one (the lamps).
class ImageWidget : public QWidget {
public:
    ImageWidget(ui::Image& model, QWidget* parent) : QWidget(parent), model_(model) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QString caption = toQt(model_.caption());
        if (caption.isEmpty()) {
            p.drawPixmap(0, 0, picture(toQt(model_.picture()), size()));
            return;
        }
        int side = std::min(height(), 14);
        int top = (height() - side) / 2;
        p.drawPixmap(0, top, picture(toQt(model_.picture()), QSize(side, side)));
        p.drawText(QRect(side + 3, 0, width() - side - 3, height()), Qt::AlignVCenter | Qt::AlignLeft, caption);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && isEnabled()) model_.click();
    }

private:
    ui::Image& model_;
};

class KeyLineEdit : public QLineEdit {
public:
    KeyLineEdit(ui::TextBox& model, QWidget* parent) : QLineEdit(parent), model_(model) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
        std::int16_t code = keyAsciiOf(e);
        if (code == 0) return QLineEdit::keyPressEvent(e);
        std::int16_t result = model_.keyPress(code);
        if (result == 0) return;  // swallowed by the routine
        if (result == code) return QLineEdit::keyPressEvent(e);
        insert(QString(QChar(result)));
    }

private:
    ui::TextBox& model_;
};

}  // namespace

std::int16_t keyAsciiOf(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Tab: return 9;
        case Qt::Key_Escape: return 27;
        default: break;
    }
    QString text = e->text();
    if (text.size() != 1) return 0;
    ushort u = text[0].unicode();
    return u > 0 && u < 256 ? static_cast<std::int16_t>(u) : 0;
}

void follow(QWidget* widget, ui::Control& model, std::function<void()> update) {
    int id = model.listen(update);
    QObject::connect(widget, &QObject::destroyed, [&model, id] { model.unlisten(id); });
    update();
}

void applyCommon(QWidget* w, const ui::Control& model, int& focusSeen) {
    if (model.geometry()) w->setGeometry(pixels(*model.geometry()));
    w->setEnabled(model.enabled());
    w->setVisible(model.visible());
    if (model.focusRequests() != focusSeen) {
        focusSeen = model.focusRequests();
        w->setFocus(Qt::OtherFocusReason);
    }
}

QWidget* bindLabel(ui::Label& model, QWidget* parent) {
    auto* w = new ClickLabel(model, parent);
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        w->setText(toQt(model.caption()));
        applyCommon(w, model, *focus);
    });
    return w;
}

QWidget* bindButton(ui::Button& model, QWidget* parent) {
    auto* w = new QPushButton(parent);
    QObject::connect(w, &QPushButton::clicked, [&model] { model.click(); });
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        w->setText(toQt(model.caption()));
        applyCommon(w, model, *focus);
    });
    return w;
}

QWidget* bindTextBox(ui::TextBox& model, QWidget* parent) {
    auto* w = new KeyLineEdit(model, parent);
    QObject::connect(w, &QLineEdit::textEdited, [&model](const QString& t) { model.setText(fromQt(t)); });
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        QString text = toQt(model.text());
        if (w->text() != text) w->setText(text);
        applyCommon(w, model, *focus);
    });
    return w;
}

QWidget* bindImage(ui::Image& model, QWidget* parent) {
    auto* w = new ImageWidget(model, parent);
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        applyCommon(w, model, *focus);
        w->update();
    });
    return w;
}

QWidget* bindFrame(ui::Frame& model, QWidget* parent) {
    auto* w = new QFrame(parent);
    w->setFrameShape(QFrame::StyledPanel);
    auto* title = new QLabel(w);
    title->move(6, 0);
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, title, &model, focus] {
        title->setText(toQt(model.caption()));
        title->adjustSize();
        title->setVisible(!model.caption().empty());
        applyCommon(w, model, *focus);
    });
    return w;
}

QWidget* bindComboBox(ui::ComboBox& model, QWidget* parent) {
    auto* w = new QComboBox(parent);
    w->setEditable(model.editable());
    w->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(w, &QComboBox::activated, [&model](int i) { model.choose(i); });
    QObject::connect(w, &QComboBox::editTextChanged, [&model](const QString& t) { model.setText(fromQt(t)); });
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        const auto& items = model.items();
        bool same = w->count() == static_cast<int>(items.size());
        for (int i = 0; same && i < w->count(); ++i) same = w->itemText(i) == toQt(items[static_cast<std::size_t>(i)]);
        if (!same) {
            QSignalBlocker block(w);
            w->clear();
            for (const auto& item : items) w->addItem(toQt(item));
        }
        QString text = toQt(model.text());
        if (w->currentText() != text) {
            QSignalBlocker block(w);
            w->setCurrentIndex(model.listIndex());
            w->setEditText(text);
        }
        applyCommon(w, model, *focus);
    });
    return w;
}

QWidget* bindCheckBox(ui::CheckBox& model, QWidget* parent) {
    auto* w = new QCheckBox(parent);
    QObject::connect(w, &QCheckBox::toggled, [&model](bool on) { model.setChecked(on); });
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        w->setText(toQt(model.caption()));
        if (w->isChecked() != model.checked()) w->setChecked(model.checked());
        applyCommon(w, model, *focus);
    });
    return w;
}

// ---- terminal ----

TerminalView::TerminalView(ui::TerminalBox& model, QWidget* parent) : QPlainTextEdit(parent), model_(model) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(40);
    connect(&flushTimer_, &QTimer::timeout, this, &TerminalView::flush);
    model_.follow({[this](std::string_view s) {
                       pendingAppend_ += QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
                       if (!flushTimer_.isActive()) flushTimer_.start();
                   },
                   [this](std::size_t n) {
                       pendingCut_ += n;
                       if (!flushTimer_.isActive()) flushTimer_.start();
                   },
                   [this] {
                       pendingRebuild_ = true;
                       if (!flushTimer_.isActive()) flushTimer_.start();
                   }});
    auto focus = std::make_shared<int>(0);
    follow(this, model_, [this, focus] { applyCommon(this, model_, *focus); });
    rebuild();
}

TerminalView::~TerminalView() { model_.follow({}); }

int TerminalView::fittingColumns() const {
    int advance = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    int usable = viewport()->width() - 2 * static_cast<int>(document()->documentMargin());
    return advance > 0 ? std::max(1, usable / advance) : 80;
}

void TerminalView::resizeEvent(QResizeEvent* e) {
    QPlainTextEdit::resizeEvent(e);
    int columns = fittingColumns();
    if (columns != columns_) {
        columns_ = columns;
        model_.setColumns(columns);
        pendingRebuild_ = true;
        flush();
    }
}

void TerminalView::flush() {
    flushTimer_.stop();
    bool cutFits = pendingCut_ % static_cast<std::size_t>(columns_) == 0 &&
                   pendingCut_ / static_cast<std::size_t>(columns_) < static_cast<std::size_t>(blockCount());
    if (pendingRebuild_ || !cutFits) {
        rebuild();
        return;
    }
    QTextCursor cursor(document());
    if (pendingCut_ > 0) {
        // Whole lines go from the top.
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                            static_cast<int>(pendingCut_ / static_cast<std::size_t>(columns_)));
        cursor.removeSelectedText();
        pendingCut_ = 0;
    }
    if (!pendingAppend_.isEmpty()) {
        appendText(pendingAppend_);
        pendingAppend_.clear();
    }
}

void TerminalView::appendText(const QString& text) {
    QString lines;
    lines.reserve(text.size() + text.size() / columns_ + 2);
    int column = lastColumn_;
    for (QChar c : text) {
        if (column == columns_) {
            lines += QChar('\n');
            column = 0;
        }
        lines += c;
        ++column;
    }
    lastColumn_ = column;
    QScrollBar* bar = verticalScrollBar();
    bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(lines);
    if (atEnd) bar->setValue(bar->maximum());
}

void TerminalView::rebuild() {
    pendingAppend_.clear();
    pendingCut_ = 0;
    pendingRebuild_ = false;
    clear();
    lastColumn_ = 0;
    appendText(toQt(model_.text()));
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    std::int16_t code = keyAsciiOf(e);
    if (code == 0) return QPlainTextEdit::keyPressEvent(e);  // scrolling and selection keys
    model_.keyPress(code);  // the terminal shows only what comes back
}

}  // namespace kv::desktop
