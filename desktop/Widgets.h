#pragma once
// Widgets bound to the core's control models: each shows its model's state
// and hands the user's clicks and keys to the model's routines.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QTimer>

#include "ui/Control.h"
#include "ui/TerminalBox.h"

namespace kv::desktop {

// Follows a model for as long as the widget lives.
void follow(QWidget* widget, ui::Control& model, std::function<void()> update);

// Applies the visible, enabled, geometry and focus state common to all controls.
void applyCommon(QWidget* widget, const ui::Control& model, int& focusSeen);

QWidget* bindLabel(ui::Label& model, QWidget* parent);
QWidget* bindButton(ui::Button& model, QWidget* parent);
QWidget* bindTextBox(ui::TextBox& model, QWidget* parent);
QWidget* bindImage(ui::Image& model, QWidget* parent);
QWidget* bindFrame(ui::Frame& model, QWidget* parent);
QWidget* bindComboBox(ui::ComboBox& model, QWidget* parent);
QWidget* bindCheckBox(ui::CheckBox& model, QWidget* parent);

// The terminal: it keeps the model's running text as lines of the model's
// column count, appends in place and cuts whole lines, and applies the edits
// of one burst of events together.
class TerminalView : public QPlainTextEdit {
public:
    TerminalView(ui::TerminalBox& model, QWidget* parent);
    ~TerminalView() override;

    // Columns that fit the current width.
    int fittingColumns() const;
    void flush();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void appendText(const QString& text);

    ui::TerminalBox& model_;
    QString pendingAppend_;
    std::size_t pendingCut_ = 0;
    bool pendingRebuild_ = false;
    int lastColumn_ = 0;  // characters in the view's last line
    int columns_ = 80;
    QTimer flushTimer_;
};

// Key code of a key event as the core's key routines take it (0: none).
std::int16_t keyAsciiOf(const QKeyEvent* event);

}  // namespace kv::desktop
