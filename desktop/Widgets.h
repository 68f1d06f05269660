#pragma once
// Widgets bound to the core's control models: each shows its model's state
// and hands the user's clicks and keys to the model's routines.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractScrollArea>
#include <QPushButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>

#include "ui/Control.h"
#include "ui/TerminalBox.h"

namespace kv::desktop {

// Follows a model for as long as the widget lives: runs `update` now and
// after the model changes, at once or (the default) once the event loop
// runs again, however many changes came meanwhile.
enum class Follow { Batched, Immediately };
void follow(QWidget* widget, ui::Control& model, std::function<void()> update, Follow when = Follow::Batched);
// Brings every widget up to date with its model now.
void flushBindings();

// Applies the visible, enabled, geometry and focus state common to all controls.
void applyCommon(QWidget* widget, const ui::Control& model, int& focusSeen);

QWidget* bindLabel(ui::Label& model, QWidget* parent);
QWidget* bindButton(ui::Button& model, QWidget* parent);
QWidget* bindTextBox(ui::TextBox& model, QWidget* parent);
// A text box the user never types into, drawn as a sunken value box.
QWidget* bindValueBox(ui::TextBox& model, QWidget* parent);
QWidget* bindImage(ui::Image& model, QWidget* parent);
QWidget* bindFrame(ui::Frame& model, QWidget* parent);
QWidget* bindComboBox(ui::ComboBox& model, QWidget* parent);
QWidget* bindCheckBox(ui::CheckBox& model, QWidget* parent);
QWidget* bindOption(ui::OptionButton& model, QWidget* parent);
QWidget* bindTable(ui::Table& model, QWidget* parent);

// The terminal: it draws the model's running text as lines of the model's
// column count, only the lines in view and at most ten times a second, so a fast
// stream of bytes costs little whether the terminal is shown or hidden.
class TerminalView : public QAbstractScrollArea {
public:
    TerminalView(ui::TerminalBox& model, QWidget* parent);
    ~TerminalView() override;

    // Columns that fit the current width.
    int fittingColumns() const;
    // The lines as shown, top to bottom.
    QStringList lines() const;
    // Applies pending changes now instead of at the next repaint.
    void flush();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void changed();
    int lineHeight() const;
    int visibleLines() const;

    ui::TerminalBox& model_;
    QTimer repaint_;
    bool followEnd_ = true;
};

// Key code of a key event as the core's key routines take it (0: none).
std::int16_t keyAsciiOf(const QKeyEvent* event);

}  // namespace kv::desktop
