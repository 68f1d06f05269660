#pragma once
// The desktop's side of the core's small interfaces: real time, the Qt event
// loop, message boxes, folders, settings and file dialogs.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/TimerHost.h"

class QWidget;
class QMessageBox;

namespace kv::desktop {

// One QTimer for each core timer.
class QtTimerHost : public platform::TimerHost {
public:
    void timerChanged(ui::Timer& timer) override;
    void timerRemoved(ui::Timer& timer) override;

private:
    std::map<ui::Timer*, std::unique_ptr<QTimer>> timers_;
};

class QtClock : public platform::Clock {
public:
    platform::DateTime now() const override;
};

// The system's locale, as Qt reads it from the environment.
class QtLocale : public platform::Locale {
public:
    std::string decimalPoint() const override;
    std::string generalDate(const platform::DateTime& t) const override;
};

class QtEventLoop : public platform::EventLoop {
public:
    void doEvents() override;
    void waitForEvents() override;
    void quit() override;
};

// Boxes that stay up while the program goes on: shown, never run in an
// event loop of their own.
class QtMessageBox : public platform::MessageBox {
public:
    QtMessageBox() = default;
    QtMessageBox(const QtMessageBox&) = delete;
    QtMessageBox& operator=(const QtMessageBox&) = delete;
    ~QtMessageBox() override;

    platform::MessageId show(const std::string& text, platform::MsgButtons, platform::MsgIcon icon,
                             const std::string& title) override;
    platform::MessageId ask(const std::string& text, platform::MsgIcon icon, const std::string& title,
                            const std::vector<std::string>& buttons, std::function<void(int)> answered) override;
    void close(platform::MessageId id) override;

private:
    platform::MessageId put(QMessageBox* box, bool question);

    platform::MessageId last_ = 0;
    std::map<platform::MessageId, QPointer<QMessageBox>> boxes_;
};

class QtBeep : public platform::Beep {
public:
    void beep() override;
};

class QtPointer : public platform::MousePointer {
public:
    void setBusy(bool busy) override;

private:
    bool busy_ = false;
};

class QtScreen : public platform::Screen {
public:
    platform::ScreenSize size() const override;
};

class QtFolders : public platform::Folders {
public:
    std::string documents() const override;
    std::string program() const override;
    std::string installedData() const override;
    std::string userData() const override;
};

class QtSettingsStore : public platform::SettingsStore {
public:
    void save(const std::string& app, const std::string& section, const std::string& key,
              const std::string& value) override;
    std::string load(const std::string& app, const std::string& section, const std::string& key) const override;
};

class QtFileDialog : public platform::FileDialog {
public:
    std::string open(const platform::FileDialogOptions& options) override;
    std::string save(const platform::FileDialogOptions& options) override;
};

// Core texts are 8-bit (one byte a character); widgets show them as Latin-1.
QString toQt(const std::string& s);
std::string fromQt(const QString& s);

}  // namespace kv::desktop
