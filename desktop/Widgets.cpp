#include "desktop/Widgets.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTableWidget>

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
    ImageWidget(ui::Image& model, QWidget* parent) : QWidget(parent), model_(model) {
        // It paints its own background, so a lamp's blink repaints the lamp only.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
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
        // An editing key that types no character (its text may be DEL): the
        // text box edits with it, as with the arrows, without asking the
        // key routine.
        case Qt::Key_Delete: return 0;
        default: break;
    }
    QString text = e->text();
    if (text.isEmpty()) return 0;
    // A character outside the controller's one-byte set reaches the routine
    // as '?', as the text stores it, so a key filter refuses it too.
    ushort u = text[0].unicode();
    if (text.size() != 1 || u >= 256) return text[0].isPrint() ? '?' : 0;
    return u > 0 ? static_cast<std::int16_t>(u) : 0;
}

namespace {

// Widget updates waiting for the event loop: a burst of changes to one
// control (a button disabled and enabled again while a chunk is handled)
// costs one update, or none.
struct PendingUpdate {
    QPointer<QWidget> widget;
    std::shared_ptr<std::function<void()>> update;
    std::shared_ptr<bool> queued;
};

std::vector<PendingUpdate>& pendingUpdates() {
    static std::vector<PendingUpdate> pending;
    return pending;
}

}  // namespace

void flushBindings() {
    std::vector<PendingUpdate> batch;
    batch.swap(pendingUpdates());
    for (auto& p : batch) {
        *p.queued = false;
        if (p.widget) (*p.update)();
    }
}

void follow(QWidget* widget, ui::Control& model, std::function<void()> update, Follow when) {
    auto shared = std::make_shared<std::function<void()>>(std::move(update));
    auto queued = std::make_shared<bool>(false);
    QPointer<QWidget> guard(widget);
    int id = model.listen([guard, shared, queued, when] {
        if (when == Follow::Immediately) return (*shared)();
        if (*queued) return;
        *queued = true;
        if (pendingUpdates().empty()) QTimer::singleShot(0, [] { flushBindings(); });
        pendingUpdates().push_back({guard, shared, queued});
    });
    QObject::connect(widget, &QObject::destroyed, [&model, id] { model.unlisten(id); });
    (*shared)();
}

void applyCommon(QWidget* w, const ui::Control& model, int& focusSeen) {
    if (model.geometry()) w->setGeometry(pixels(*model.geometry()));
    w->setEnabled(model.enabled());
    w->setVisible(model.visible());
    if (model.focusRequests() != focusSeen) {
        focusSeen = model.focusRequests();
        w->setFocus(Qt::OtherFocusReason);
        // The keyboard goes with the focus, also into a window already shown
        // behind another (a scanner types into the active window).
        QWidget* top = w->window();
        if (top->isVisible() && !top->isActiveWindow() && top->windowType() != Qt::Tool) {
            top->raise();
            top->activateWindow();
        }
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

namespace {
// A widget that shows a text box's text.
template <class W>
W* followText(W* w, ui::TextBox& model) {
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        QString text = toQt(model.text());
        if (w->text() != text) w->setText(text);
        applyCommon(w, model, *focus);
    });
    return w;
}
}  // namespace

QWidget* bindTextBox(ui::TextBox& model, QWidget* parent) {
    auto* w = new KeyLineEdit(model, parent);
    QObject::connect(w, &QLineEdit::textEdited, [&model](const QString& t) { model.setText(fromQt(t)); });
    return followText(w, model);
}

QWidget* bindValueBox(ui::TextBox& model, QWidget* parent) {
    auto* w = new QLabel(parent);
    w->setFrameShape(QFrame::StyledPanel);
    w->setFrameShadow(QFrame::Sunken);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, Qt::black);
    w->setPalette(p);
    w->setIndent(3);
    return followText(w, model);
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

QWidget* bindTable(ui::Table& model, QWidget* parent) {
    auto* w = new QTableWidget(parent);
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w->setSelectionBehavior(QAbstractItemView::SelectRows);
    w->verticalHeader()->setVisible(false);
    w->setWordWrap(false);
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        const auto& columns = model.columns();
        const auto& rows = model.rows();
        w->setColumnCount(static_cast<int>(columns.size()));
        QStringList headings;
        for (const auto& c : columns) headings << toQt(c);
        w->setHorizontalHeaderLabels(headings);
        w->setRowCount(static_cast<int>(rows.size()));
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            const auto& row = rows[static_cast<std::size_t>(r)];
            for (int c = 0; c < static_cast<int>(row.size()) && c < w->columnCount(); ++c) {
                QTableWidgetItem* item = w->item(r, c);
                if (!item) w->setItem(r, c, item = new QTableWidgetItem);
                item->setText(toQt(row[static_cast<std::size_t>(c)]));
            }
        }
        w->resizeColumnsToContents();
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

TerminalView::TerminalView(ui::TerminalBox& model, QWidget* parent) : QAbstractScrollArea(parent), model_(model) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    repaint_.setSingleShot(true);
    repaint_.setInterval(100);
    connect(&repaint_, &QTimer::timeout, this, &TerminalView::flush);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        followEnd_ = value == verticalScrollBar()->maximum();
        viewport()->update();
    });
    model_.follow({[this](std::string_view) { changed(); }, [this](std::size_t) { changed(); }, [this] { changed(); }});
    auto focus = std::make_shared<int>(0);
    follow(this, model_, [this, focus] { applyCommon(this, model_, *focus); });
}

TerminalView::~TerminalView() { model_.follow({}); }

void TerminalView::changed() {
    if (isVisible() && !repaint_.isActive()) repaint_.start();
}

int TerminalView::lineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TerminalView::visibleLines() const { return std::max(1, viewport()->height() / lineHeight()); }

int TerminalView::fittingColumns() const {
    int advance = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    return advance > 0 ? std::max(1, (viewport()->width() - 4) / advance) : 80;
}

void TerminalView::flush() {
    repaint_.stop();
    QScrollBar* bar = verticalScrollBar();
    int maximum = std::max(0, static_cast<int>(model_.lineCount()) - visibleLines());
    {
        QSignalBlocker block(bar);
        bar->setRange(0, maximum);
        bar->setPageStep(visibleLines());
        if (followEnd_) bar->setValue(maximum);
    }
    viewport()->update();
}

QStringList TerminalView::lines() const {
    QStringList out;
    const std::string& text = model_.text();
    const std::size_t columns = static_cast<std::size_t>(model_.columns());
    for (std::size_t at = 0; at < text.size(); at += columns)
        out << QString::fromLatin1(text.data() + at, static_cast<qsizetype>(std::min(columns, text.size() - at)));
    return out;
}

void TerminalView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const std::string& text = model_.text();
    const std::size_t columns = static_cast<std::size_t>(model_.columns());
    const int height = lineHeight();
    const int ascent = fontMetrics().ascent();
    std::size_t first = static_cast<std::size_t>(verticalScrollBar()->value());
    for (int row = 0; row <= visibleLines(); ++row) {
        std::size_t at = (first + static_cast<std::size_t>(row)) * columns;
        if (at >= text.size()) break;
        std::size_t n = std::min(columns, text.size() - at);
        p.drawText(2, row * height + ascent, QString::fromLatin1(text.data() + at, static_cast<qsizetype>(n)));
    }
}

void TerminalView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    model_.setColumns(fittingColumns());
    flush();
}

void TerminalView::showEvent(QShowEvent* e) {
    QAbstractScrollArea::showEvent(e);
    flush();
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    std::int16_t code = keyAsciiOf(e);
    if (code == 0) return QAbstractScrollArea::keyPressEvent(e);  // scrolling keys
    model_.keyPress(code);  // the terminal shows only what comes back
}

QWidget* bindOption(ui::OptionButton& model, QWidget* parent) {
    auto* w = new QRadioButton(parent);
    // The dialog's routines keep one button of a group selected.
    w->setAutoExclusive(false);
    QObject::connect(w, &QRadioButton::clicked, [w, &model] {
        model.click();
        w->setChecked(model.value());
    });
    auto focus = std::make_shared<int>(0);
    follow(w, model, [w, &model, focus] {
        w->setText(toQt(model.caption()));
        if (w->isChecked() != model.value()) w->setChecked(model.value());
        applyCommon(w, model, *focus);
    });
    return w;
}

}  // namespace kv::desktop
