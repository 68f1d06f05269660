#pragma once
// Helpers of the desktop tests: event waiting, a kv5x-sim process, this test
// program run again as a child, and the one step driver of the real windows.
#include <QTest>
#include <QtWidgets>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <optional>

#include "desktop/Dashboard.h"
#include "desktop/FormView.h"
#include "desktop/Widgets.h"
#include "platform/Desktop.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"

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
    QStringList lines = QString::fromLatin1(readFile(path)).split("\r\n");
    if (lines.back().isEmpty()) lines.pop_back();
    return lines;
}

// A process of its own, its output (with its errors) kept as it comes.
struct Proc {
    QProcess process;
    QString said;
    Proc() { process.setProcessChannelMode(QProcess::MergedChannels); }
    ~Proc() { stop(); }
    void stop() {
        if (process.state() != QProcess::NotRunning) process.terminate(), process.waitForFinished(5000);
    }
    const QString& output() { return said += QString::fromLatin1(process.readAll()); }
    bool says(const QString& text, int ms = 5000) { return waitUntil([&] { return output().contains(text); }, ms); }
};

// kv5x-sim on a pseudo-terminal, linked as a COM port of the test's home;
// `started` only once it has linked its port when `awaitLink` (one that
// refuses its settings never does).
struct SimProcess : Proc {
    explicit SimProcess(const QStringList& args, bool awaitLink = true) {
        process.start(KV_SIM_PATH, args);
        started = process.waitForStarted(5000) && (!awaitLink || says("linked as"));
    }
    bool started = false;
};

// Answers the next file dialog with `path` (none: Cancel) once it is up,
// and records how it was set up.
struct DialogAnswer {
    QString title, folder, suffix;
    QStringList filters;
    void answerWith(const QString& path) {
        QTimer::singleShot(10, [this, path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return answerWith(path);
            title = dialog->windowTitle();
            folder = dialog->directory().absolutePath();
            suffix = dialog->defaultSuffix();
            filters = dialog->nameFilters();
            if (path.isEmpty()) return dialog->reject();
            // Typed into the name field, as a person would: selecting waits
            // for the folder's listing, which comes in the background.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible()) answerWith(path);
        });
    }
};

// The real message box up, if any.
inline QMessageBox* openBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) return b;
    return nullptr;
}

// This test program again, in a home of its own, running the tests `filter`
// names with `env` added to its environment (an empty value removes one).
struct Child : Proc {
    TempDir home;
    ~Child() { stop(); }  // before its home goes
    void start(const QString& filter, const std::map<QString, QString>& env = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("KV_TEST_HOME", path(""));
        for (const auto& [name, value] : env) value.isEmpty() ? e.remove(name) : e.insert(name, value);
        process.setProcessEnvironment(e);
        process.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_also_run_disabled_tests", "--gtest_filter=" + filter});
    }
    QString path(const char* inHome) const { return QString::fromStdString(home.path() / inHome); }
};

// The dashboard, with a kv5x-sim started first on its line (linked as COM10
// of the test's home, so the port dialog preselects it) when `simArgs` are
// given; the fake message boxes unless `realBoxes`.
struct Desk {
    explicit Desk(std::optional<QStringList> simArgs = std::nullopt, bool realBoxes = false)
        : args(QStringList{"--com", "10"} + simArgs.value_or(QStringList())),
          d((simArgs ? (void)sims.emplace_back(args) : (void)0, realBoxes ? nullptr : &messages)) {
        d.start();
        for (auto [name, label] : {std::pair{"lblError", &d.core().receive.lblError},
                                   {"lblCurrentINFO", &d.core().progress.lblCurrentINFO}})
            label->listen([&texts = shown[name], label] {
                if (texts.isEmpty() || texts.back() != label->caption().c_str()) texts << label->caption().c_str();
            });
    }
    // A widget by its control's name, in the first window that has one or in
    // the window named before a dot ("settings.cmdAction(1)"); a window by its
    // name; "box", the real message box up.
    QWidget* widget(const QString& name) {
        const std::pair<QString, kv::desktop::FormView*> windows[] = {
            {"progress", d.progressView()}, {"startup", d.startupView()}, {"asset", d.setAssetView()},
            {"records", d.recordsView()}, {"main", d.mainView()}, {"settings", d.settingsView()},
            {"store", d.recordStoreView()}};
        if (name == "box") return openBox();
        const QString window = name.section('.', 0, -2), control = name.section('.', -1);
        for (auto [title, view] : windows) {
            if (name == title) return title == "main" ? d.mainWindow() : static_cast<QWidget*>(view);
            if (!view || (!window.isEmpty() && window != title)) continue;
            if (QWidget* w = view->widget(control.toStdString())) return w;
        }
        return nullptr;
    }
    QStringList args;
    std::list<SimProcess> sims;  // the one on the line last
    FakeMessageBox messages;
    std::map<QString, QStringList> shown;  // every text of the two labels above, in order
    kv::desktop::Dashboard d;
    qsizetype mark = 0;  // where "@sim" starts counting in the simulator's output
};

// "firmware 2, checksum 1": the requests in `output` (the simulator's "<-"
// lines), counted by kind, in the order each kind first came.
inline QString requestSummary(const QString& output) {
    static const std::map<QString, QString> kinds = {
        {"01", "firmware"}, {"02", "status"},   {"05", "config"}, {"06", "params"}, {"07", "param write"},
        {"08", "service"},  {"0A", "checksum"}, {"15", "client"}, {"16", "asset"},  {"18", "MAC"}};
    static const QRegularExpression request("^<- ([0-9A-F]{2})", QRegularExpression::MultilineOption);
    QStringList order;
    std::map<QString, int> counts;
    for (auto it = request.globalMatch(output); it.hasNext();) {
        const QString code = it.next().captured(1), name = kinds.count(code) ? kinds.at(code) : "code " + code;
        if (counts[name]++ == 0) order << name;
    }
    for (QString& name : order) name += " " + QString::number(counts[name]);
    return order.join(", ");
}

// Every visible caption of a window that its control has no room for, as
// "control "caption" needs WxH, has WxH". The room is the style's text area
// of a button, check box or option button, a label's contents less its
// indent, cut by every widget it lies in; a frame's title is named by its
// frame.
inline QString unfitCaptions(QWidget* window) {
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        int flags = Qt::TextShowMnemonic;
        QRect room = w->contentsRect();
        auto contents = [w, &room, &text](QStyle::SubElement element) {
            QStyleOptionButton o;
            o.initFrom(w);
            o.text = text;
            room = w->style()->subElementRect(element, &o, w);
        };
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (qobject_cast<QPushButton*>(w)) contents(QStyle::SE_PushButtonContents);
        else if (qobject_cast<QCheckBox*>(w)) contents(QStyle::SE_CheckBoxContents);
        else if (qobject_cast<QRadioButton*>(w)) contents(QStyle::SE_RadioButtonContents);
        else if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            flags = l->wordWrap() ? Qt::TextWordWrap : 0;
            int indent = l->indent();  // unset: half an x beside a frame
            if (indent < 0) indent = l->frameWidth() > 0 ? l->fontMetrics().horizontalAdvance('x') / 2 : 0;
            room.adjust(l->margin(), l->margin(), -l->margin(), -l->margin());
            if (l->alignment() & Qt::AlignLeft) room.setLeft(room.left() + indent);
            if (l->alignment() & Qt::AlignRight) room.setRight(room.right() - indent);
        }
        if (text.isEmpty() || !w->isVisible()) continue;
        QWidget* top = w->window();
        room.moveTopLeft(w->mapTo(top, room.topLeft()));
        for (QWidget* p = w->parentWidget(); p; p = p->isWindow() ? nullptr : p->parentWidget())
            room &= QRect(p == top ? QPoint() : p->mapTo(top, QPoint()), p->size());
        QSize needs = w->fontMetrics().boundingRect(QRect(0, 0, std::max(1, room.width()), 10000), flags, text).size();
        if (needs.width() <= room.width() && needs.height() <= room.height()) continue;
        QString name = w->objectName().isEmpty() && w->parentWidget() ? w->parentWidget()->objectName() : w->objectName();
        out << QString("%1 \"%2\" needs %3x%4, has %5x%6").arg(name, text).arg(needs.width()).arg(needs.height())
                   .arg(room.width()).arg(room.height());
    }
    return out.join('\n');
}

// What a check names, as text, once the event loop has run:
// - NAME: a widget's text (a box's, a label's, a list's chosen entry, a
//   button's caption); "(none)" when no window has it;
// - "visible" / "enabled" / "focus" (has the keyboard) / "active" /
//   "checked" NAME: "1" or "0"; "title NAME": a window's title; "core NAME":
//   the text of a box's control in the core; "fits NAME": the captions of a
//   window shown that have no room ("" when all fit); "centred NAME": "1"
//   when the window is in the middle of the screen; "action NAME": a menu
//   item's caption;
// - "@rows" (rows of the record), "@row N" (row N's serial, MAC, asset,
//   client and verdict, of its ten fields; 0: the header), "@sim TEXT" (how
//   often the simulator said TEXT since the last "mark"), "@params" (the
//   values it printed last), "@table" (the parameter table's values),
//   "@scan" (the asset dialog's title and box while it waits for a scan, "|-"
//   when the box has not the keyboard), "@boxes" / "@said" (the real boxes
//   on screen / the fake boxes put up), "@requests" (what each simulator
//   received, see requestSummary, " | " between them; each linked as COM10
//   of this home), "@identified" (how often " CONNECTED..OK" came up),
//   "@bar" (every text the information bar showed), "@log" (the
//   provisioning log's rows, then any line that is not its header or a row
//   of this controller's checksum and firmware), "@column HEADING" (the
//   records window's column, top to bottom; a MAC by its last four digits).
inline QString seen(Desk& s, const QString& what) {
    QCoreApplication::processEvents();
    const QString key = what.section(' ', 0, 0), arg = what.section(' ', 1);
    const QStringList record = fileLines(s.d.core().record.path()), f = record.value(arg.toInt()).split(',');
    const QStringList log = key == "@log" ? fileLines(s.d.core().log.path()) : QStringList();
    static const QRegularExpression row(R"(^\d\d:\d\d:\d\d \d\d/\d\d/\d{4}, [0-9A-F]{2} [0-9A-F]{2} , , K5b 162$)");
    const QString said = s.sims.empty() ? QString() : s.sims.back().output();
    QWidget* w = s.widget(key.startsWith('@') || !what.contains(' ') ? what : arg);
    auto* box = s.d.setAssetView()->findChild<QLineEdit*>("txtScannedAsset");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry(), g = w ? w->geometry() : QRect();
    QStringList out;
    kv::app::frmMain& core = s.d.core();
    if (key == "core")
        for (kv::ui::TextBox* t : {&core.identityWrite.txtSetCounter, &core.identity.txtAssetID,
                                   &core.assetDialog.txtScannedAsset})
            if (t->name() == arg.toStdString()) return QString::fromStdString(t->text());
    if (key == "visible" && arg == "box") return w ? "1" : "0";
    if (auto* a = s.d.mainWindow()->findChild<QAction*>(arg); key == "action") return a ? a->text() : "(none)";
    if (!key.startsWith('@') && !w) return "(none)";
    if (key == "fits" || key == "centred") kv::desktop::flushBindings();
    if (key == "fits") return w->isVisible() ? unfitCaptions(w) : "(not shown)";
    if (key == "centred")
        return std::abs(2 * g.left() + g.width() - 2 * screen.left() - screen.width()) <= 1 &&
               std::abs(2 * g.top() + g.height() - 2 * screen.top() - screen.height()) <= 1 ? "1" : "0";
    if (key == "title") return w->windowTitle();
    if (key == "visible" || key == "enabled" || key == "focus" || key == "active" || key == "checked")
        return (key == "visible" ? w->isVisible() : key == "enabled" ? w->isEnabled()
                : key == "focus" ? QApplication::focusWidget() == w : key == "active" ? QApplication::activeWindow() == w
                : w->property("checked").toBool()) ? "1" : "0";
    if (key == "@rows") return QString::number(record.size() - 1);
    if (key == "@row" && arg == "0") return record.value(0);
    if (key == "@row" && f.size() != 10) return QString("(%1 fields)").arg(f.size());
    if (key == "@row") return QStringList{f[1], f[2], f[5], f[6], f[9]}.join(',');
    if (key == "@sim") return QString::number(said.mid(s.mark).count(arg));
    if (key == "@identified") return QString::number(s.shown["lblCurrentINFO"].count(" CONNECTED..OK"));
    if (key == "@bar") return s.shown["lblError"].join(" | ");
    if (key == "@boxes")
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(top); b && b->isVisible()) out << b->text();
    if (key == "@said")
        for (const auto& m : s.messages.shown) out << QString::fromStdString(m.text);
    if (key == "@scan" && s.d.setAssetView()->isVisible())
        out << s.d.setAssetView()->windowTitle() + "|" + box->text() + (QApplication::focusWidget() == box ? "" : "|-");
    for (int n = 1; key == "@params" && n <= 39; ++n)
        out << said.mid(said.lastIndexOf(QString::asprintf(" P%03d=", n)) + 6, 6).simplified().section(' ', 0, 0);
    auto* table = qobject_cast<QTableWidget*>(s.widget("records.grdRecords"));
    for (int c = 0; key == "@column" && c < table->columnCount(); ++c)
        if (table->horizontalHeaderItem(c)->text() == arg)
            for (int r = 0; r < table->rowCount(); ++r) out << table->item(r, c)->text().right(arg == "MAC" ? 4 : -1);
    for (int k = 0; key == "@table" && k < 39; ++k) out << QString::fromStdString(core.params.row(k).sParamValue);
    for (SimProcess& sim : s.sims)
        if (key == "@requests")
            out << requestSummary(sim.output()) +
                       (sim.output().contains("linked as COM10 (" + QDir::homePath() + "/") ? "" : " (elsewhere)");
    for (int k = 0; key == "@log" && k < log.size(); ++k)
        if (k ? !row.match(log[k]).hasMatch() : log[k] != kv::app::ProvisioningLog::kHeader) out << log[k];
    if (key == "@log") out.prepend(QString::number(log.size() - 1));
    const QVariant text = w ? w->property(qobject_cast<QComboBox*>(w) ? "currentText" : "text") : QVariant();
    if (!key.startsWith('@')) return text.isValid() ? text.toString() : "(no text)";
    return out.join(key == "@said" || key == "@boxes" || key == "@requests" || key == "@log" ? " | " : " ");
}

// One step of the technician at the dashboard: an action, then what must
// hold, each waited for up to `ms`; for "menu ACTION WINDOW", the steps taken
// while that (modal) window is up.
struct Live {
    QString act;
    std::vector<std::pair<QString, QString>> holds = {};
    int ms = 12000;
    std::vector<Live> meanwhile = {};
};
using Lives = std::vector<Live>;

inline Lives operator+(Lives a, const Lives& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Plays the steps; "" when each was done and its checks held, else what
// failed, naming the step. Actions: "click NAME" (only when shown); "type
// NAME TEXT" (into the emptied box, key by key; no TEXT: emptied); "enter NAME TEXT" (typed,
// then Enter); "choose NAME TEXT" (a list's entry, once the list takes a
// choice); "scan TEXT" (a scanner: the keys and Enter, into whatever has the
// keyboard); "keys NAME TEXT" (into whatever has the keyboard, else NAME);
// "key NAME K" (Return, Escape, Delete, Backspace, or one character of any
// layout); "at NAME N" (the box's cursor put at N); "menu ACTION [WINDOW]";
// "activate" (the main window); "wait MS"; "mark" (see "@sim"); "unplug" /
// "replug [ARGS]" (the simulator ends / another comes on its link, with ARGS
// in place of the first one's); "say TEXT" (a line on standard output, for a
// parent process); "" checks only.
inline std::string play(Desk& s, const Lives& steps) {
    for (std::size_t n = 0; n < steps.size(); ++n) {
        const QString& act = steps[n].act;
        const QString verb = act.section(' ', 0, 0), name = act.section(' ', 1, 1), rest = act.section(' ', 2);
        QWidget* w = s.widget(name);
        QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : w;
        auto* box = qobject_cast<QLineEdit*>(w);
        auto* list = qobject_cast<QComboBox*>(w);
        auto* action = verb == "menu" ? s.d.mainWindow()->findChild<QAction*>(name) : nullptr;
        const bool takes = verb == "choose" && list && waitUntil([&] { return list->isEnabled(); }, 2000);
        const int entry = takes ? list->findText(rest) : -1;
        std::map<QString, std::pair<Qt::Key, QString>> keyOf = {{"Return", {Qt::Key_Return, "\r"}},
            {"Escape", {Qt::Key_Escape, "\x1b"}}, {"Delete", {Qt::Key_Delete, "\x7f"}},
            {"Backspace", {Qt::Key_Backspace, "\b"}}};
        if (rest.size() == 1) keyOf[rest] = {Qt::Key(rest[0].toUpper().unicode()), rest};
        std::string inner;
        bool done = verb.isEmpty() || verb == "wait" || verb == "mark" || verb == "unplug" || verb == "say" ||
                    verb == "activate";
        if (verb == "click" && (done = w && w->isVisible())) QTest::mouseClick(w, Qt::LeftButton);
        if ((verb == "type" || verb == "enter") && (done = box))
            box->setFocus(), box->selectAll(), QTest::keyClicks(box, rest);
        if (verb == "type" && box && rest.isEmpty()) QTest::keyClick(box, Qt::Key_Backspace);
        if (verb == "enter" && box) QTest::keyClick(box, Qt::Key_Return);
        if (verb == "choose" && (done = entry >= 0)) list->setCurrentIndex(entry), emit list->activated(entry);
        if ((verb == "scan" || verb == "keys") && (done = keys)) QTest::keyClicks(keys, verb == "scan" ? name : rest);
        if (verb == "scan" && keys) QTest::keyClick(keys, Qt::Key_Return);
        if (verb == "key" && (done = w && keyOf.count(rest)))
            QTest::sendKeyEvent(QTest::Click, w, keyOf[rest].first, keyOf[rest].second, Qt::NoModifier);
        if (verb == "at" && (done = box)) box->setCursorPosition(rest.toInt());
        if (verb == "menu" && (done = action) && !rest.isEmpty()) {
            std::function<void()> poll = [&] {
                if (!s.widget(rest)->isVisible()) return QTimer::singleShot(10, s.d.mainWindow(), poll);
                inner = play(s, steps[n].meanwhile);
            };
            QTimer::singleShot(10, s.d.mainWindow(), poll);
        }
        if (action) action->trigger();
        if (verb == "activate") s.d.mainWindow()->activateWindow();
        if (verb == "wait") QTest::qWait(name.toInt());
        if (verb == "mark") s.mark = s.sims.back().output().size();
        if (verb == "unplug") s.sims.back().stop();
        const QStringList again = act.size() > 7 ? QStringList{"--com", "10"} + act.mid(7).split(' ') : s.args;
        if (verb == "replug") done = s.sims.emplace_back(again).started;
        if (verb == "say") std::printf("%s\n", qPrintable(act.mid(4))), std::fflush(stdout);
        QCoreApplication::processEvents();  // the window catches up between a person's steps
        const std::string where = "step " + std::to_string(n + 1) + " (" + act.toStdString() + ")";
        if (!done) return where + ": could not be done";
        if (!inner.empty()) return where + ", meanwhile " + inner;
        for (const auto& [what, want] : steps[n].holds)
            if (!waitUntil([&] { return seen(s, what) == want; }, steps[n].ms))
                return where + ": " + what.toStdString() + "\n  expected: \"" + want.toStdString() +
                       "\"\n  seen:     \"" + seen(s, what).toStdString() + "\"";
    }
    return "";
}

}  // namespace kv::test
