#pragma once
// Helpers of the desktop tests: event waiting and a kv5x-sim process.
#include <QTest>
#include <QtWidgets>
#include <filesystem>
#include <functional>

#include "platform/Desktop.h"
#include "tests/support/Fakes.h"

namespace kv::test {

// Lets events run until `done` holds or `ms` have passed.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

// Where a screenshot goes: the test's temporary home, or the folder
// KV_SCREENSHOT_DIR names (to refresh the pictures of the documentation).
inline QString screenshotPath(const QString& name) {
    QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
    QString folder = dir.isEmpty() ? QDir::homePath() + "/screenshots" : QString::fromLocal8Bit(dir);
    QDir().mkpath(folder);
    return folder + "/" + name;
}

// The CR LF lines of a file as they are on disk (the log, the record).
inline QStringList fileLines(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split("\r\n");
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
}

// kv5x-sim on a pseudo-terminal, linked as a COM port of the test's home.
class SimProcess {
public:
    // `awaitLink`: started() only once it has linked its port (one that
    // refuses its settings never does).
    explicit SimProcess(const QStringList& args, bool awaitLink = true) {
        process_.setProgram(KV_SIM_PATH);
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start();
        started_ = process_.waitForStarted(5000) && (!awaitLink || says("linked as"));
    }
    ~SimProcess() { stop(); }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool started() const { return started_; }
    bool says(const QString& text, int ms = 5000) {
        return waitUntil([&] { return output().contains(text); }, ms);
    }
    QProcess& process() { return process_; }
    QString output() {
        text_ += QString::fromLatin1(process_.readAll());
        return text_;
    }

private:
    QProcess process_;
    QString text_;
    bool started_ = false;
};

// Answers the next file dialog with `path` once it is open, and records how
// it was set up.
struct DialogAnswer {
    QString title, folder, suffix;
    QStringList filters;
    void answerWith(const QString& path) {
        QTimer::singleShot(0, [this, path] { poll(path, 0); });
    }
    void poll(const QString& path, int tries) {
        QFileDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) dialog = f;
        if (!dialog) {
            if (tries < 1000) QTimer::singleShot(10, [this, path, tries] { poll(path, tries + 1); });
            return;
        }
        title = dialog->windowTitle();
        folder = dialog->directory().absolutePath();
        suffix = dialog->defaultSuffix();
        filters = dialog->nameFilters();
        if (path.isEmpty()) return dialog->reject();
        // Typed into the name field, as a person would: selecting waits for
        // the folder's listing, which comes in the background.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (name) name->setText(path);
        else dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
        if (dialog->isVisible()) QTimer::singleShot(10, [this, path, tries] { poll(path, tries + 1); });
    }
};

}  // namespace kv::test
