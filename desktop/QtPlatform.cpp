#include "desktop/QtPlatform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include "ui/Timer.h"

namespace kv::desktop {

QString toQt(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string fromQt(const QString& s) { return s.toLatin1().toStdString(); }

void QtTimerHost::timerChanged(ui::Timer& timer) {
    auto& qt = timers_[&timer];
    if (!qt) {
        qt = std::make_unique<QTimer>();
        // Coarse timers may fire 5 % late; the flows' pacing is counted in ticks.
        qt->setTimerType(Qt::PreciseTimer);
        QObject::connect(qt.get(), &QTimer::timeout, [&timer] { timer.tick(); });
    }
    if (timer.running()) qt->start(timer.interval());
    else qt->stop();
}

void QtTimerHost::timerRemoved(ui::Timer& timer) { timers_.erase(&timer); }

platform::DateTime QtClock::now() const {
    QDateTime t = QDateTime::currentDateTime();
    return {t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
            t.time().second()};
}

std::string QtLocale::decimalPoint() const { return fromQt(QLocale::system().decimalPoint()); }

// The short date and the time with its seconds, in the locale's own order and
// separators.
std::string QtLocale::generalDate(const platform::DateTime& t) const {
    QLocale locale = QLocale::system();
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains('s')) time.replace("mm", "mm:ss");
    QDateTime when(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    return fromQt(locale.toString(when, locale.dateFormat(QLocale::ShortFormat) + " " + time));
}

void QtEventLoop::doEvents() { QCoreApplication::processEvents(); }

void QtEventLoop::waitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void QtEventLoop::quit() { QCoreApplication::quit(); }

void QtMessageBox::show(const std::string& text, platform::MsgButtons, platform::MsgIcon icon,
                        const std::string& title) {
    QMessageBox box;
    box.setWindowTitle(toQt(title));
    box.setText(toQt(text));
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
        case platform::MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        case platform::MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case platform::MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case platform::MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case platform::MsgIcon::None: break;
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

void QtBeep::beep() { QApplication::beep(); }

void QtPointer::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

platform::ScreenSize QtScreen::size() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    QSize s = screen->availableGeometry().size();
    return {s.width() * 15, s.height() * 15};
}

std::string QtFolders::documents() const {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

std::string QtFolders::program() const { return QCoreApplication::applicationDirPath().toStdString(); }

std::string QtFolders::installedData() const {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" KV_DATA_FROM_BIN).toStdString();
}

std::string QtFolders::userData() const {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString();
}

void QtSettingsStore::save(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, toQt(app), toQt(app));
    settings.beginGroup(toQt(section));
    settings.setValue(toQt(key), toQt(value));
    settings.endGroup();
    settings.sync();
}

namespace {
QString qtFilter(const std::string& filter) {
    // "Name (*.x)|*.x|All (*.*)|*.*" -> "Name (*.x);;All (*.*)"
    QStringList parts = toQt(filter).split('|');
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2) names << parts[i];
    return names.join(";;");
}
}  // namespace

namespace {
std::string runFileDialog(const platform::FileDialogOptions& o, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(nullptr, toQt(o.title), toQt(o.initialFolder), qtFilter(o.filter));
    dialog.setObjectName("CmnOpenFileDialog");
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(toQt(o.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return fromQt(dialog.selectedFiles().first());
}
}  // namespace

std::string QtFileDialog::open(const platform::FileDialogOptions& o) { return runFileDialog(o, QFileDialog::AcceptOpen); }

std::string QtFileDialog::save(const platform::FileDialogOptions& o) { return runFileDialog(o, QFileDialog::AcceptSave); }

}  // namespace kv::desktop
