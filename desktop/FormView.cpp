#include "desktop/FormView.h"

#include <stdexcept>

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>

#include "desktop/QtPlatform.h"
#include "desktop/Widgets.h"

namespace kv::desktop {

namespace {

// Styles: "value" a sunken box for a shown value, "info" the information
// bar's small labels, "lcd" and "panel" the front panel's display, "mono" a
// fixed-width font, "title" a bold caption, "progress" the progress text,
// "param" a parameter's value box (never typed into: drawn as a value box).
void applyStyle(QWidget* w, const char* name) {
    if (!name) return;
    const QString s = name;
    auto* label = qobject_cast<QLabel*>(w);
    // Palettes and sizes of the default family, not style sheets and named
    // families: a style sheet per widget and a font lookup per family cost
    // more at start-up than the rest of the window together.
    auto colours = [w](QPalette::ColorRole role, const QColor& colour, QPalette::ColorGroup group = QPalette::All) {
        QPalette p = w->palette();
        p.setColor(group, role, colour);
        w->setPalette(p);
    };
    auto sized = [w](int points, bool bold) {
        QFont f = w->font();
        if (points > 0) f.setPointSize(points);
        f.setBold(bold);
        w->setFont(f);
    };
    if (s == "value" && label) {
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setAutoFillBackground(true);
        colours(QPalette::Window, Qt::white);
        label->setIndent(3);
    } else if (s == "info" && label) {
        sized(8, false);
    } else if (s == "lcd" && label) {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(22);
        f.setBold(true);
        label->setFont(f);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        colours(QPalette::WindowText, QColor("#ff3b2f"));
    } else if (s == "panel" && label) {
        sized(14, false);
        label->setAlignment(Qt::AlignCenter);
        colours(QPalette::WindowText, QColor("#ff3b2f"));
    } else if (s == "title" && label) {
        sized(0, true);
    } else if (s == "progress" && label) {
        sized(10, false);
    } else if (s == "mono") {
        w->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }
}

QWidget* createWidget(ui::Control& c, QWidget* parent) {
    if (auto* m = dynamic_cast<ui::TerminalBox*>(&c)) return new TerminalView(*m, parent);
    if (auto* m = dynamic_cast<ui::Label*>(&c)) return bindLabel(*m, parent);
    if (auto* m = dynamic_cast<ui::Button*>(&c)) return bindButton(*m, parent);
    if (auto* m = dynamic_cast<ui::TextBox*>(&c)) return bindTextBox(*m, parent);
    if (auto* m = dynamic_cast<ui::Image*>(&c)) return bindImage(*m, parent);
    if (auto* m = dynamic_cast<ui::Frame*>(&c)) return bindFrame(*m, parent);
    if (auto* m = dynamic_cast<ui::ComboBox*>(&c)) return bindComboBox(*m, parent);
    if (auto* m = dynamic_cast<ui::CheckBox*>(&c)) return bindCheckBox(*m, parent);
    if (auto* m = dynamic_cast<ui::OptionButton*>(&c)) return bindOption(*m, parent);
    if (auto* m = dynamic_cast<ui::Table*>(&c)) return bindTable(*m, parent);
    return nullptr;  // menu items are drawn by the window's menu bar
}

}  // namespace

FormView::FormView(ui::Window& model, const std::vector<Place>& layout, QWidget* parent) : QWidget(parent) {
    // In layout order, so that later entries lie above earlier ones.
    for (const Place& p : layout) {
        ui::Control* c = model.find(p.name);
        // A layout that names what the window does not have is a mistake of
        // the program, said at once rather than drawn as nothing.
        if (!c) throw std::logic_error("the layout of " + model.name() + " places " + p.name + ", which it does not have");
        QWidget* host = this;
        if (p.parent) {
            auto it = widgets_.find(p.parent);
            if (it != widgets_.end()) host = it->second;
        }
        auto* box = dynamic_cast<ui::TextBox*>(c);
        // A box that is never typed into costs less as a value box.
        QWidget* w = box && p.style && QString(p.style) == "param" ? bindValueBox(*box, host) : createWidget(*c, host);
        if (!w) continue;
        w->setObjectName(QString::fromStdString(p.name));
        if (!c->geometry()) w->setGeometry(p.x, p.y, p.w, p.h);
        applyStyle(w, p.style);
        widgets_[p.name] = w;
    }
    for (const auto& c : model.controls())
        if (!widgets_.count(c->name()) && !dynamic_cast<ui::MenuItem*>(c.get())) unplaced_.push_back(c->name());
}

QWidget* FormView::widget(const std::string& name) const {
    auto it = widgets_.find(name);
    return it == widgets_.end() ? nullptr : it->second;
}

void FormView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onResize) onResize(size());
}

namespace {

class CloseFilter : public QObject {
public:
    CloseFilter(ui::Window& model, QObject* parent) : QObject(parent), model_(model) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close && model_.visible()) {
            // The window's own unload decides what closing means.
            static_cast<QCloseEvent*>(e)->ignore();
            model_.unload();
            return true;
        }
        return false;
    }

private:
    ui::Window& model_;
};

}  // namespace

void bindWindow(QWidget* top, ui::Window& model) {
    top->installEventFilter(new CloseFilter(model, top));
    auto state = std::make_shared<std::pair<int, bool>>(model.refreshRequests(), model.topMost());
    follow(top, model, [top, &model, state] {
        top->setWindowTitle(toQt(model.caption()));
        if (model.topMost() != state->second) {
            state->second = model.topMost();
            bool shown = top->isVisible();
            top->setWindowFlag(Qt::WindowStaysOnTopHint, model.topMost());
            if (shown) top->show();
        }
        if (model.geometry()) {
            // A window given a size too (a dialog centred on the screen) takes
            // that size, its own area where its place was worked out for it;
            // the frame the window system adds lies around it.
            const ui::Rect& r = *model.geometry();
            const QRect place(r.left / 15, r.top / 15, r.width / 15, r.height / 15);
            if (place.isEmpty()) {
                top->move(place.topLeft());
            } else {
                top->setFixedSize(place.size());
                top->setGeometry(place);
            }
        }
        if (model.visible() && !top->isVisible()) {
            top->show();
            top->raise();
            // A dialog takes the keyboard (a scanner types into the focused
            // field); the progress window never does.
            if (top->windowType() != Qt::Tool) top->activateWindow();
        }
        if (!model.visible() && top->isVisible()) top->hide();
        if (model.refreshRequests() != state->first) {
            state->first = model.refreshRequests();
            flushBindings();
            top->repaint();
        }
    }, Follow::Immediately);
}

}  // namespace kv::desktop
