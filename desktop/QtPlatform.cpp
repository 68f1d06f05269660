#include "desktop/QtPlatform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

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

namespace {

QMessageBox* newBox(const std::string& text, platform::MsgIcon icon, const std::string& title) {
    auto* box = new QMessageBox;
    box->setObjectName("MessageBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(toQt(title));
    box->setText(toQt(text));
    switch (icon) {
        case platform::MsgIcon::Critical: box->setIcon(QMessageBox::Critical); break;
        case platform::MsgIcon::Question: box->setIcon(QMessageBox::Question); break;
        case platform::MsgIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
        case platform::MsgIcon::Information: box->setIcon(QMessageBox::Information); break;
        case platform::MsgIcon::None: break;
    }
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
}

}  // namespace

QtMessageBox::~QtMessageBox() {
    auto boxes = std::move(boxes_);
    boxes_.clear();
    for (auto& [id, box] : boxes)
        if (box) delete box.data();
}

platform::MessageId QtMessageBox::put(QMessageBox* box, bool question) {
    platform::MessageId id = ++last_;
    boxes_[id] = box;
    QObject::connect(box, &QObject::destroyed, [this, id] { boxes_.erase(id); });
    // A box raised by a flow never takes the keyboard from the scan field:
    // the scanner's next code would land in the box and its Enter close it.
    QWidget* active = QApplication::activeWindow();
    if (!question && active && active->objectName() == "frmSetAsset")
        box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(question ? Qt::ApplicationModal : Qt::NonModal);
    box->show();
    return id;
}

platform::MessageId QtMessageBox::show(const std::string& text, platform::MsgButtons, platform::MsgIcon icon,
                                       const std::string& title) {
    QMessageBox* box = newBox(text, icon, title);
    box->setStandardButtons(QMessageBox::Ok);
    return put(box, false);
}

platform::MessageId QtMessageBox::ask(const std::string& text, platform::MsgIcon icon, const std::string& title,
                                      const std::vector<std::string>& buttons, std::function<void(int)> answered) {
    QMessageBox* box = newBox(text, icon, title);
    std::vector<QAbstractButton*> made;
    // In the order given; the first is the safe answer: Enter, Escape and
    // closing the box all give it.
    for (const std::string& text : buttons) made.push_back(box->addButton(toQt(text), QMessageBox::ActionRole));
    if (!made.empty()) {
        box->setDefaultButton(qobject_cast<QPushButton*>(made.front()));
        box->setEscapeButton(made.front());
    }
    platform::MessageId id = put(box, true);
    QObject::connect(box, &QMessageBox::finished, box, [this, id, box, made, answered = std::move(answered)] {
        // Taken down by close(): no answer.
        if (!boxes_.count(id) || !answered) return;
        boxes_.erase(id);
        auto it = std::find(made.begin(), made.end(), box->clickedButton());
        int index = it == made.end() ? 0 : int(it - made.begin());
        answered(index);
    });
    return id;
}

void QtMessageBox::close(platform::MessageId id) {
    auto it = boxes_.find(id);
    if (it == boxes_.end()) return;
    QPointer<QMessageBox> box = it->second;
    boxes_.erase(it);
    if (box) box->close();
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

std::string QtSettingsStore::load(const std::string& app, const std::string& section, const std::string& key) const {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, toQt(app), toQt(app));
    return settings.value(toQt(section) + "/" + toQt(key)).toString().toStdString();
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
