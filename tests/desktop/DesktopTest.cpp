// The real Qt windows under the offscreen platform: widgets bound to the
// core's controls, how the windows look, the keyboard, the real message
// boxes, the program's quit settings, and the real QSerialPort adapter
// talking to kv5x-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QtWidgets>
#include <sstream>

#include "desktop/Dashboard.h"
#include "desktop/Widgets.h"
#include "tests/desktop/DesktopSupport.h"

namespace {

using namespace kv::test;
using kv::desktop::Dashboard;
using Checks = std::vector<std::pair<std::string, std::string>>;

QMessageBox* openBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) return b;
    return nullptr;
}

// A widget by its control's name, in the first window that has one or in the
// window named before a dot ("settings.cmdAction(1)"); a window by its name;
// "box", the message box up. The main window's controls only once drawn.
QWidget* widget(Dashboard& d, const std::string& name) {
    const std::pair<std::string, QWidget*> windows[] = {
        {"main", d.mainWindow()->centralWidget()}, {"progress", d.progressView()}, {"startup", d.startupView()},
        {"asset", d.setAssetView()}, {"settings", d.settingsView()}, {"records", d.recordsView()},
        {"store", d.recordStoreView()}};
    const auto dot = name.find('.');  // npos + 1 is 0
    if (name == "box") return openBox();
    for (auto [window, view] : windows) {
        auto* v = dynamic_cast<kv::desktop::FormView*>(view);
        if (name == window) return window == "main" ? d.mainWindow() : view;
        if (QWidget* w = v && (dot == std::string::npos || name.substr(0, dot) == window) ? v->widget(name.substr(dot + 1)) : nullptr) return w;
    }
    return nullptr;
}

// Every visible caption of a window that its control has no room for, as
// "window: control "caption" needs WxH, has WxH". The room is the style's
// text area of a button, check box or option button, a label's contents less
// its indent, cut by every widget it lies in; a frame's title is named by
// its frame.
QString unfitCaptions(QWidget* window) {
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

// What the screen shows, once the event loop has run: a widget's text;
// "visible", "enabled", "focus" (it has the keyboard), "active" or "checked"
// NAME, "1"/"0"; "title NAME", a window's title; "core NAME", the text of a
// box's control in the core; "fits NAME", the captions of a window shown
// that have no room ("" when all fit); "centred NAME", "1" when the window
// is in the middle of the screen.
std::string shown(Dashboard& d, const std::string& what) {
    QCoreApplication::processEvents();
    const auto space = what.find(' ');
    const std::string flag = space == std::string::npos ? "" : what.substr(0, space), name = what.substr(space + 1);
    kv::app::frmMain& core = d.core();
    if (flag == "core")
        for (kv::ui::TextBox* box : {&core.identityWrite.txtSetCounter, &core.identity.txtAssetID,
                                     &core.assetDialog.txtScannedAsset})
            if (box->name() == name) return box->text();
    QWidget* w = widget(d, name);
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!w) return what == "visible box" ? "0" : "(nothing named " + what + ")";
    if (flag == "fits" || flag == "centred") kv::desktop::flushBindings();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry(), g = w->geometry();
    if (flag == "fits") return w->isVisible() ? unfitCaptions(w).toStdString() : "(not shown)";
    if (flag == "centred")
        return std::abs(2 * g.left() + g.width() - 2 * screen.left() - screen.width()) <= 1 &&
               std::abs(2 * g.top() + g.height() - 2 * screen.top() - screen.height()) <= 1 ? "1" : "0";
    if (flag == "title") return w->windowTitle().toStdString();
    if (!flag.empty())
        return (flag == "visible" ? w->isVisible() : flag == "enabled" ? w->isEnabled()
                : flag == "focus" ? QApplication::focusWidget() == w : flag == "active" ? QApplication::activeWindow() == w
                : button && button->isChecked()) ? "1" : "0";
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    return button ? button->text().toStdString() : "(no text)";
}

// A key pressed and released with the text the window system gives it.
void typeKey(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text), release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

// What the technician does, then what the screen shows (each check waited
// for up to 12 s with the event loop running; a failure names the step):
// "click NAME"; "type NAME TEXT", the box's text replaced key by key; "scan
// TEXT", typed where the keyboard is; "key NAME K" (Return, Escape, Delete,
// Backspace, or one character of any layout); "at NAME N", the box's cursor
// put at N; "choose NAME N", the list's Nth entry picked; "menu ACTION" and,
// for one that waits for its dialog, "menu ACTION WINDOW" with the steps
// taken while that window is up; "activate", the main window; "" checks only.
struct Step {
    std::string act;
    Checks checks = {};
    std::vector<Step> meanwhile = {};
};

void walk(Dashboard& d, const std::vector<Step>& steps);
// Walks `steps` from the event loop once `window` is up (a menu that waits
// for its dialog runs the loop meanwhile).
void whenShown(Dashboard& d, const std::string& window, const std::vector<Step>& steps) {
    QTimer::singleShot(10, d.mainWindow(), [&d, window, &steps] {
        widget(d, window)->isVisible() ? walk(d, steps) : whenShown(d, window, steps);
    });
}

void walk(Dashboard& d, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        std::istringstream in(step.act);
        std::string verb, name, text;
        in >> verb >> name;
        std::getline(in >> std::ws, text);
        QWidget* w = name.empty() || verb == "menu" || verb == "scan" ? nullptr : widget(d, name);
        const QString t = QString::fromStdString(text);
        if (verb == "activate") d.mainWindow()->activateWindow();
        else if (verb == "scan") QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(name));
        else if (verb == "menu") {
            if (!text.empty()) whenShown(d, text, step.meanwhile);
            d.mainWindow()->findChild<QAction*>(QString::fromStdString(name))->trigger();
        } else if (!verb.empty() && !w) ADD_FAILURE() << step.act << ": no such widget";
        else if (verb == "click") QTest::mouseClick(w, Qt::LeftButton);
        else if (verb == "at") qobject_cast<QLineEdit*>(w)->setCursorPosition(t.toInt());
        else if (verb == "type") {
            w->setFocus();
            qobject_cast<QLineEdit*>(w)->selectAll();
            QTest::keyClicks(w, t);
        } else if (verb == "choose") {
            qobject_cast<QComboBox*>(w)->setCurrentIndex(t.toInt());
            emit qobject_cast<QComboBox*>(w)->activated(t.toInt());  // as a choice from the list
        } else if (verb == "key" && t.size() == 1) typeKey(w, t[0].toUpper().unicode(), t);
        else if (verb == "key") {
            const std::map<QString, std::pair<Qt::Key, QString>> keys = {{"Return", {Qt::Key_Return, "\r"}},
                {"Escape", {Qt::Key_Escape, "\x1b"}}, {"Delete", {Qt::Key_Delete, "\x7f"}},
                {"Backspace", {Qt::Key_Backspace, "\b"}}};
            typeKey(w, keys.at(t).first, keys.at(t).second);
        }
        QCoreApplication::processEvents();  // the window catches up between a person's steps
        for (const auto& [what, expected] : step.checks) {
            waitUntil([&] { return shown(d, what) == expected; }, 12000);
            EXPECT_EQ(shown(d, what), expected) << step.act << ": " << what;
        }
    }
}

// At start the port dialog is drawn first and the main window's controls
// follow by themselves; each widget follows its control both ways; the
// lamps and the front panel are the project's pictures.
TEST(MainWindow, ShowsItsDesignAndFollowsTheCore) {
    struct FirstPaints : QObject {
        std::vector<std::string> order;  // "dialog", "control"
        bool eventFilter(QObject* o, QEvent* e) override {
            auto* w = qobject_cast<QWidget*>(o);
            const char* what = !w || e->type() != QEvent::Paint ? nullptr
                               : w->window()->windowType() == Qt::Dialog ? "dialog"
                               : w->parentWidget() && w->parentWidget()->parentWidget() ? "control" : nullptr;
            if (what && std::find(order.begin(), order.end(), what) == order.end()) order.push_back(what);
            return false;
        }
    } paints;
    qApp->installEventFilter(&paints);
    FakeMessageBox messages;
    Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    EXPECT_TRUE(waitUntil([&] { return paints.order.size() == 2; }, 3000));
    qApp->removeEventFilter(&paints);
    EXPECT_EQ(paints.order, (std::vector<std::string>{"dialog", "control"}));
    EXPECT_EQ(d.mainWindow()->centralWidget(), d.mainView());
    EXPECT_EQ(d.mainView()->widget("cmdSetAssetID"), d.mainWindow()->findChild<QPushButton*>("cmdSetAssetID"));
    // Every control has its widget, shown exactly when the core shows it.
    for (kv::desktop::FormView* v : {d.mainView(), d.progressView(), d.settingsView()})
        EXPECT_TRUE(v->unplaced().empty()) << v->unplaced().front();
    for (const auto& c : core.window.controls())
        if (QWidget* w = d.mainView()->widget(c->name())) {  // menu items have none
            EXPECT_EQ(w->isVisibleTo(d.mainWindow()), c->visible()) << c->name();
        }
    walk(d, {{"", {{"visible main", "1"}, {"visible lblFWVersion", "1"}, {"cmdGetAssetID", "GET ASSET"},
                   {"visible cmdGetAssetID", "1"}, {"enabled cmdSTOPComms", "0"},
                   {"title main", "Varkel KV5x COMM Dashboard V1.6"}}}});
    core.identity.lblFWVersion.setCaption("K5b 162");
    walk(d, {{"type txtAssetID A77",
              {{"core txtAssetID", "A77"}, {"lblFWVersion", "K5b 162"}, {"txtAssetID", "A77"}}}});
    // The hidden terminal follows the receive path in whole lines; shown, it
    // fits its columns to its width.
    auto* terminal = dynamic_cast<kv::desktop::TerminalView*>(widget(d, "txtTerminal"));
    ASSERT_NE(terminal, nullptr);
    core.receive.txtTerminal.setColumns(4);
    core.receive.PostTerminal(std::string("\x01\x02\xff", 3));
    EXPECT_EQ(terminal->lines(), (QStringList{"{1}{", "2}{2", "55}"}));
    core.receive.txtTerminal.setVisible(true);
    kv::desktop::flushBindings();
    terminal->resize(400, 200);
    EXPECT_EQ(core.receive.txtTerminal.columns(), terminal->fittingColumns());
    EXPECT_GT(terminal->fittingColumns(), 20);
    // Start-up made the folders in the user's documents.
    EXPECT_TRUE(core.log.isOpen());
    EXPECT_TRUE(messages.shown.empty());
    // The information bar sits where the layout rule puts it.
    EXPECT_EQ(widget(d, "picInfo")->y(), (d.mainView()->height() * 15 - 1135) / 15);
    // The Rx lamp lights amber; the front panel's display is dark, the red
    // reading on it.
    auto middle = [&](const char* name, int x = -1) {
        QImage image = widget(d, name)->grab().toImage();
        return image.pixelColor(x < 0 ? image.width() / 2 : x, image.height() / 2);
    };
    const QColor idle = middle("imgRx", 7);
    core.indicators.BlinkRx();
    kv::desktop::flushBindings();
    const QColor lit = middle("imgRx", 7);
    EXPECT_GT(lit.value(), idle.value() + 60) << idle.name().toStdString() << " " << lit.name().toStdString();
    EXPECT_GT(lit.red(), lit.blue() + 80);
    EXPECT_LT(middle("imgZMCDisplay").value(), 80);
    // A picture of the whole window, for a person to look at.
    EXPECT_TRUE(d.mainWindow()->grab().save(screenshotPath("main-window.png")));
}

// Each window as it opens, every caption with room for it and each port
// dialog centred on the screen; on the way the keyboard goes where the
// technician types: the count box refuses (with a beep, as a letter) the
// characters of other layouts (AltGr+E, Cyrillic, Greek); SET COUNTER
// pressed again gives the scan dialog open behind the main window the
// keyboard; Delete and Backspace edit every box with a key routine; and a
// question about a scanned asset (a label of 18 characters, an asset of an
// earlier run) closed with Escape is no answer: the asset is not taken as it
// would be on the riskier button.
TEST(Windows, LookAsDesignedAndTakeTheTechniciansKeys) {
    QDir().mkpath(QDir::homePath() + "/Documents/KV53_LOGS");
    QFile earlier(QDir::homePath() + "/Documents/KV53_LOGS/RECORD_09_00_00_01_01_2020.csv");
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified\r\n"
                  "09:01:00 01/01/2020,0004A3B1C2FF,0004A3B1C2FF,12 34,K5b 162,KV-ESC-1,005,,,yes\r\n");
    earlier.close();
    Dashboard d;  // the desktop's own message boxes
    d.start();
    std::vector<Step> steps = {
        {"", {{"enabled startup.cmdAction(1)", "1"}, {"visible main.lblFWVersion", "1"}, {"centred startup", "1"},
              {"fits startup", ""}, {"fits main", ""}}},
        {"click startup.cmdAction(1)"},
        {"menu mnuSettings settings", {{"visible startup", "0"}, {"visible settings", "0"}},
         {{"", {{"enabled settings.cmdAction(1)", "1"}, {"centred settings", "1"}, {"fits settings", ""}}},
          {"click settings.cmdAction(1)"}}},
        {"activate", {{"active main", "1"}}}};
    for (const char* ch : {"x", "\u20ac", "\u0416", "\u03a9"})
        steps.insert(steps.end(), {{"type txtSetCounter 4"}, {std::string("key txtSetCounter ") + ch,
                                                              {{"txtSetCounter", "4"}, {"core txtSetCounter", "4"}}}});
    steps.insert(steps.end(), {{"click cmdSetCounter", {{"visible asset", "1"}, {"focus txtScannedAsset", "1"}}},
                               {"activate", {{"active main", "1"}}},
                               {"type txtSetCounter 5"},
                               {"click cmdSetCounter", {{"focus txtScannedAsset", "1"}}},
                               {"scan KV-9001", {{"core txtScannedAsset", "KV-9001"}}}});
    for (std::string box : {"txtSetCounter", "txtAssetID", "txtScannedAsset"})
        for (auto [key, left] : {std::pair{"Delete", "13"}, {"Backspace", "23"}})
            steps.insert(steps.end(), {{"type " + box + " 123"}, {"at " + box + " 1"},
                                       {"key " + box + " " + key, {{box, left}, {"core " + box, left}}}});
    walk(d, steps);
    for (std::string label : {"KV-ABCDEFGHIJKLMNO", "KV-ESC-1"}) {
        d.core().identity.txtAssetID.setText("");
        walk(d, {{"click cmdSetCounter"}, {"type txtScannedAsset " + label},
                 {"key txtScannedAsset Return", {{"visible box", "1"}}},
                 {"key box Escape", {{"visible box", "0"}, {"txtAssetID", ""}, {"core txtAssetID", ""}}}});
    }
    QFile::remove(earlier.fileName());
    // A scanned asset starts the automatic setting, which the progress window
    // follows; the widest the information bar's record count gets on a line.
    walk(d, {{"click chkCustom1(0)", {{"fits asset", ""}}}, {"type txtScannedAsset KV-1001\r"},
             {"type txtCustom1(0) 356938035645001\r", {{"visible progress", "1"}, {"fits progress", ""}}}});
    d.core().sender.lblRecords.setCaption("Records: 9999 waiting for the server");
    walk(d, {{"", {{"fits main", ""}}}, {"menu mRecords", {{"fits records", ""}}},
             {"menu mnuRecordStore", {{"fits store", ""}}}});
}

// The real boxes: up at once, the program going on; a question answers from
// the event loop with the button pressed, the safe first one when it is
// closed without a choice, and nothing when the program takes it down.
TEST(MessageBoxes, AQuestionAnswersWithItsButtonAndTheSafeOneWhenClosed) {
    kv::desktop::QtMessageBox boxes;
    // How the box goes, and the answer then (-1: none).
    for (const auto& [how, expected] : {std::pair<std::string, int>{"the second button", 1}, {"Escape", 0},
                                        {"Enter", 0}, {"closed by the program", -1}}) {
        int answer = -1;
        auto id = boxes.ask("Write it to this controller too?", kv::platform::MsgIcon::Question, "Set Asset",
                            {"No", "Yes", "Later"}, [&](int a) { answer = a; });
        QMessageBox* box = openBox();
        ASSERT_NE(box, nullptr) << how;
        QStringList texts{box->text()};
        for (QAbstractButton* b : box->buttons()) texts << b->text();
        EXPECT_EQ(texts.join("|").toStdString(), "Write it to this controller too?|No|Yes|Later") << how;
        EXPECT_EQ(answer, -1) << how;  // nothing until pressed
        if (how == "the second button") box->buttons()[1]->click();
        else if (how == "closed by the program") boxes.close(id);
        else QTest::keyClick(box, how == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        waitUntil([&] { return !openBox(); }, 1000);
        QApplication::processEvents();
        EXPECT_EQ(answer, expected) << how;
        EXPECT_EQ(openBox(), nullptr) << how;
    }
    boxes.show("Saved.", kv::platform::MsgButtons::Ok, kv::platform::MsgIcon::None, "KV53_Varkel_Comms");
    EXPECT_NE(openBox(), nullptr);  // an information box stays until closed; its owner takes it down at the end
}

// Run by the next test in a process of its own: the dashboard with the
// progress window and the settings dialog open, its main window closed.
TEST(Program, DISABLED_EndsWhenItsMainWindowCloses) {
    kv::desktop::applyProgramSettings();
    FakeMessageBox messages;
    Dashboard d(&messages);
    d.start();
    QTimer::singleShot(100, [&] {
        d.core().progress.window.show();
        d.mainWindow()->findChild<QAction*>("mnuSettings")->trigger();  // waits for the dialog
    });
    QTimer::singleShot(600, [&] {
        std::printf("windows open: %d %d\n", d.progressView()->isVisible(), d.settingsView()->isVisible());
        d.mainWindow()->close();
    });
    int rc = QApplication::exec();
    d.core().Form_Terminate();
    std::printf("exited %d, port open %d\n", rc, d.core().session.isOpen());
}

TEST(Program, EndsWhenItsMainWindowClosesWhateverElseIsOpen) {
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=Program.DISABLED_EndsWhenItsMainWindowCloses"});
    bool ended = child.waitForFinished(10000);
    const std::string said = child.readAll().toStdString();
    if (!ended) child.kill();
    EXPECT_TRUE(ended) << said;
    EXPECT_NE(said.find("windows open: 1 1"), std::string::npos) << said;
    EXPECT_NE(said.find("exited 0, port open 0"), std::string::npos) << said;
}

template <class E>
const char* key(E value) { return QMetaEnum::fromType<E>().valueToKey(value); }

// Two adapters on one simulator link: the second finds it busy until the
// first lets it go; a missing port is absent; a malformed settings string is
// refused, the old settings kept; and every setting reaches the serial library.
TEST(SerialAdapter, APortHeldByAnotherIsBusyAMissingOneAbsentAndEverySettingArrives) {
    SimProcess sim({"--com", "12", "--quiet"});
    ASSERT_TRUE(sim.started());
    kv::desktop::QtSerialPort first, second, missing;
    for (auto* p : {&first, &second}) {
        p->setCommPort(12);
        ASSERT_TRUE(p->setSettings("38400,n,8,1"));
    }
    ASSERT_TRUE(first.setPortOpen(true)) << first.lastOpenErrorText();
    EXPECT_FALSE(second.setPortOpen(true));
    EXPECT_EQ(second.lastOpenError(), kv::platform::OpenError::Busy) << second.lastOpenErrorText();
    first.setPortOpen(false);
    EXPECT_TRUE(second.setPortOpen(true)) << second.lastOpenErrorText();
    second.setPortOpen(false);
    missing.setCommPort(30);  // no link and no /dev/ttyACM9 here
    EXPECT_FALSE(missing.setPortOpen(true));
    EXPECT_EQ(missing.lastOpenError(), kv::platform::OpenError::Absent);
    EXPECT_FALSE(missing.setSettings("38400,x,8,1") || missing.setSettings("fast"));
    EXPECT_EQ(missing.Settings(), "9600,n,8,1");
    const std::tuple<const char*, std::int16_t, const char*> cases[] = {
        {"600,N,8,1", 0, "600 NoParity Data8 OneStop NoFlowControl"},
        {"9600,e,7,2", 1, "9600 EvenParity Data7 TwoStop SoftwareControl"},
        {"19200,O,6,1.5", 2, "19200 OddParity Data6 OneAndHalfStop HardwareControl"},
        {"57600,m,5,1", 3, "57600 MarkParity Data5 OneStop HardwareControl"},
        {"115200,S,8,2", 0, "115200 SpaceParity Data8 TwoStop NoFlowControl"}};
    for (const auto& [settings, handshaking, device] : cases) {
        kv::desktop::QtSerialPort port;
        port.setCommPort(12);
        ASSERT_TRUE(port.setSettings(settings) && port.setHandshaking(handshaking)) << settings;
        ASSERT_TRUE(port.setPortOpen(true)) << settings << " " << port.lastOpenErrorText();
        const QSerialPort& d = port.device();
        EXPECT_EQ(QString("%1 %2 %3 %4 %5").arg(d.baudRate()).arg(key(d.parity()), key(d.dataBits()),
                      key(d.stopBits()), key(d.flowControl())).toStdString(), device) << settings;
        port.setPortOpen(false);
    }
}

// OK on the simulator's preselected link opens it; GET ASSET goes out and
// its reply is dispatched; a pseudo-terminal has no modem lines, so the
// lamps stay off and DTR and RTS clicks change nothing, quietly; a key typed
// in the terminal goes out raw, and the simulator ignores it.
TEST(EndToEnd, GetAssetReachesTheSimulatorAndTheReplyIsDispatched) {
    SimProcess sim({"--com", "10", "--asset", "Z9876"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    FakeMessageBox messages;
    Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    // The simulator's link, found and preselected.
    walk(d, {{"", {{"cboPort", " COM  10"}}},
             {"click startup.cmdAction(0)", {{"lblOpen", "Open"}, {"visible startup", "0"}}}});
    core.sequence.tmrLoopBack.setEnabled(false);  // this test asks by itself
    walk(d, {{"click cmdGetAssetID", {{"txtAssetID", " Z9876"}, {"Text1", " 16 01 07 5A 39 38 37 36 00 00 00"}}},
             {"click imgDTR"}, {"click imgRTS", {{"lblError", ""}}}, {"key txtTerminal a"}});
    EXPECT_NE(core.receive.txtTerminal.text().find("{22}{1}{7}{90}"), std::string::npos);
    EXPECT_TRUE(sim.says("<- 16 01 01 00"));
    for (const char* lamp : {"imgCD", "imgCTS", "imgDSR", "imgRTS", "imgDTR"})
        EXPECT_EQ(core.window.image(lamp).picture(), "line_off") << lamp;
    EXPECT_TRUE(messages.shown.empty());
}

// OK identifies the simulator's controller in real time; the simulator gone,
// the port is shown closed and START says why; back on the same link, as a
// replugged adapter, the port reopens by itself and the new controller is
// identified; the settings dialog, opened from the menu and clicked as a
// technician would, applies its settings on START.
TEST(EndToEnd, OkIdentifiesTheControllerFollowsItsLinkAndAppliesTheSettingsDialog) {
    auto sim = std::make_unique<SimProcess>(
        QStringList{"--com", "10", "--client", "042", "--asset", "QA-77", "--mac", "ABCDEF012345"});
    ASSERT_TRUE(sim->started());
    FakeMessageBox messages;
    Dashboard d(&messages);
    d.start();
    walk(d, {{"click startup.cmdAction(0)"}});
    EXPECT_TRUE(sim->says("line settings: 38400,N,8,1", 3000)) << sim->output().toStdString();
    walk(d, {{"", {{"lblOpen", "Open"}, {"visible progress", "1"}, {"lblCurrentINFO", " CONNECTED..OK"},
                   {"lblFWVersion", "K5b 162"}, {"lblCheckSum", "1A 2B "}, {"lblMacAddress", " ABCDEF012345"},
                   {"lblGetStatus(3)", " 042"}, {"txtAssetID", " QA-77"}, {"visible progress", "0"}}}});
    sim.reset();  // the pseudo-terminal disappears
    walk(d, {{"", {{"lblOpen", "Closed"}, {"cmdSTOPComms", "START"}}}});
    d.core().indicators.cmdSTOPComms.press();
    walk(d, {{"", {{"lblError", "No such port"}, {"lblOpen", "Closed"}}}});
    SimProcess again({"--com", "10", "--mac", "FEDCBA987654"});
    ASSERT_TRUE(again.started());
    walk(d, {{"", {{"lblOpen", "Open"}, {"lblError", "Port back"}, {"cmdSTOPComms", "STOP"},
                   {"lblMacAddress", " FEDCBA987654"}, {"lblCurrentINFO", " CONNECTED..OK"}}},
             // 8 bits: "2  Bit" is off until 7 are chosen; 9600 is the list's fifth.
             {"menu mnuSettings settings",
              {{"visible settings", "0"}, {"lblOpen", "Closed"}, {"cmdSTOPComms", "START"},
               {"enabled cmdSTOPComms", "1"}},
              {{"", {{"cboBaud", "38400"}, {"checked optDataBits(1)", "1"}, {"enabled optStopBits(1)", "0"},
                     {"title settings", "Communications Port Settings"}}},
               {"click optDataBits(0)"}, {"click optStopBits(1)"}, {"click optParity(0)"}, {"choose cboBaud 4"},
               {"click settings.cmdAction(0)"}}}});
    EXPECT_EQ(d.core().session.config().line.text(), "9600,E,7,2");
    walk(d, {{"click cmdSTOPComms"}});
    // The pseudo-terminal carries the baud rate and the stop bits; it keeps
    // 8 bits without parity whatever is asked.
    EXPECT_TRUE(again.says("line settings: 9600,N,8,2", 3000)) << again.output().toStdString();
    walk(d, {{"", {{"lblOpen", "Open"}}}});
    EXPECT_EQ(shown(d, "lblSettings").find("9600"), 0u) << shown(d, "lblSettings");
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
