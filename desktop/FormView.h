#pragma once
// Draws one core window: creates a widget for each of its controls at the
// place the layout table gives, bound to the control of the same name.
#include <QMainWindow>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/Window.h"

namespace kv::desktop {

// Where a control goes, in pixels, and how it looks.
struct Place {
    const char* name;
    int x, y, w, h;
    const char* parent = nullptr;  // a frame of the same window
    const char* style = nullptr;   // see FormView.cpp
};

class FormView : public QWidget {
public:
    FormView(ui::Window& model, const std::vector<Place>& layout, QWidget* parent = nullptr);

    QWidget* widget(const std::string& name) const;
    // Controls of the window that the layout does not place.
    const std::vector<std::string>& unplaced() const { return unplaced_; }

    std::function<void(QSize)> onResize;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    std::map<std::string, QWidget*> widgets_;
    std::vector<std::string> unplaced_;
};

// Makes `top` follow the window's caption, visibility, stay-on-top flag and
// repaint requests; closing it by hand unloads the window.
void bindWindow(QWidget* top, ui::Window& model);

}  // namespace kv::desktop
