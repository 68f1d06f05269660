// The real Qt windows under the offscreen platform, the real QSerialPort
// adapter talking to kv5x-sim over a pseudo-terminal, the keyboard, the
// settings dialog, and the program in a process of its own.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "desktop/Dashboard.h"
#include "desktop/QtPlatform.h"
#include "desktop/Widgets.h"
#include "tests/desktop/DesktopSupport.h"

using kv::test::SimProcess;
using kv::test::waitUntil;

namespace {

template <class W>
W* find(kv::desktop::Dashboard& d, const char* name) {
    return d.mainWindow()->findChild<W*>(name);
}

// OK in the port dialog, as the technician confirms the preselected port.
void confirmPort(kv::desktop::Dashboard& d) {
    auto* ok = d.startupView()->findChild<QPushButton*>("cmdAction(0)");
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(ok->isVisible());
    QTest::mouseClick(ok, Qt::LeftButton);
}

TEST(MainWindow, ShowsItsDesignAndFollowsTheCore) {
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    ASSERT_TRUE(waitUntil([&] { return d.mainWindow()->isVisible(); }));
    EXPECT_EQ(d.mainWindow()->windowTitle(), "Varkel KV5x COMM Dashboard V1.6");

    // Every control has its widget, shown exactly when the core shows it.
    EXPECT_TRUE(d.mainView()->unplaced().empty()) << d.mainView()->unplaced().front();
    EXPECT_TRUE(d.progressView()->unplaced().empty());
    for (const auto& c : core.window.controls()) {
        QWidget* w = d.mainView()->widget(c->name());
        if (!w) continue;  // menu items
        EXPECT_EQ(w->isVisibleTo(d.mainWindow()), c->visible()) << c->name();
    }
    auto* getAsset = find<QPushButton>(d, "cmdGetAssetID");
    ASSERT_NE(getAsset, nullptr);
    EXPECT_EQ(getAsset->text(), "GET ASSET");
    EXPECT_TRUE(getAsset->isVisible());
    EXPECT_FALSE(find<QPushButton>(d, "cmdSTOPComms")->isEnabled());

    // Core to widget, once the event loop runs.
    core.identity.lblFWVersion.setCaption("K5b 162");
    QCoreApplication::processEvents();
    EXPECT_EQ(find<QLabel>(d, "lblFWVersion")->text(), "K5b 162");
    // Widget to core.
    QTest::keyClicks(find<QLineEdit>(d, "txtAssetID"), "A77");
    EXPECT_EQ(core.identity.txtAssetID.text(), "A77");
    // The hidden terminal follows the receive path in whole lines.
    auto* terminal = find<kv::desktop::TerminalView>(d, "txtTerminal");
    ASSERT_NE(terminal, nullptr);
    core.receive.txtTerminal.setColumns(4);
    core.receive.PostTerminal(std::string("\x01\x02\xff", 3));
    EXPECT_EQ(terminal->lines(), (QStringList{"{1}{", "2}{2", "55}"}));
    // Shown, it fits its columns to its width.
    core.receive.txtTerminal.setVisible(true);
    kv::desktop::flushBindings();
    terminal->resize(400, 200);
    EXPECT_EQ(core.receive.txtTerminal.columns(), terminal->fittingColumns());
    EXPECT_GT(terminal->fittingColumns(), 20);
    // Start-up made the folders in the user's documents.
    EXPECT_TRUE(core.log.isOpen());
    EXPECT_TRUE(messages.shown.empty());
    // The information bar sits where the layout rule puts it.
    QWidget* info = d.mainView()->widget("picInfo");
    EXPECT_EQ(info->y(), (d.mainView()->height() * 15 - 1135) / 15);
}

TEST(EndToEnd, GetAssetReachesTheSimulatorAndTheReplyIsDispatched) {
    SimProcess sim({"--com", "10", "--asset", "Z9876"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    auto* ports = d.startupView()->findChild<QComboBox*>("cboPort");
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->currentText(), " COM  10");  // the simulator's link, found and preselected
    confirmPort(d);
    ASSERT_EQ(core.indicators.lblOpen.caption(), "Open");
    EXPECT_FALSE(d.startupView()->isVisible());
    core.sequence.tmrLoopBack.setEnabled(false);  // this test asks by itself

    QTest::mouseClick(find<QPushButton>(d, "cmdGetAssetID"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return core.identity.txtAssetID.text() == " Z9876"; }))
        << core.receive.txtTerminal.text();
    EXPECT_EQ(core.receive.Text1.text(), " 16 01 07 5A 39 38 37 36 00 00 00");
    EXPECT_NE(core.receive.txtTerminal.text().find("{22}{1}{7}{90}"), std::string::npos);
    EXPECT_TRUE(waitUntil([&] { return sim.output().contains("<- 16 01 01 00"); }));

    // A pseudo-terminal has no modem lines: the lamps stay off and DTR and
    // RTS clicks change nothing, quietly.
    QTest::mouseClick(d.mainView()->widget("imgDTR"), Qt::LeftButton);
    QTest::mouseClick(d.mainView()->widget("imgRTS"), Qt::LeftButton);
    for (const char* lamp : {"imgCD", "imgCTS", "imgDSR", "imgRTS", "imgDTR"})
        EXPECT_EQ(core.window.image(lamp).picture(), "line_off") << lamp;
    EXPECT_EQ(core.indicators.lblError.caption(), "");

    // Typing in the terminal goes out raw; the simulator ignores it.
    QTest::keyClick(find<kv::desktop::TerminalView>(d, "txtTerminal"), Qt::Key_A);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(EndToEnd, ASimulatorThatGoesAwayIsShownClosedAndReopenedWhenItComesBack) {
    auto sim = std::make_unique<SimProcess>(QStringList{"--com", "10"});
    ASSERT_TRUE(sim->started());
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    confirmPort(d);
    ASSERT_EQ(core.indicators.lblOpen.caption(), "Open");
    sim.reset();  // the pseudo-terminal disappears
    EXPECT_TRUE(waitUntil([&] { return core.indicators.lblOpen.caption() == "Closed"; }));
    EXPECT_EQ(core.indicators.cmdSTOPComms.caption(), "START");
    // START on the vanished port says why and leaves it closed.
    core.indicators.cmdSTOPComms.press();
    EXPECT_EQ(core.receive.lblError.caption(), "No such port");

    // The simulator back on the same link, as a replugged adapter: the port
    // reopens by itself and the controller is identified again.
    SimProcess again({"--com", "10", "--mac", "FEDCBA987654"});
    ASSERT_TRUE(again.started());
    EXPECT_TRUE(waitUntil([&] { return core.indicators.lblOpen.caption() == "Open"; }, 3000));
    EXPECT_EQ(core.receive.lblError.caption(), "Port back");
    EXPECT_EQ(core.indicators.cmdSTOPComms.caption(), "STOP");
    EXPECT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    EXPECT_EQ(core.identity.lblMacAddress.caption(), " FEDCBA987654");
}

TEST(EndToEnd, OkIdentifiesTheSimulatorsControllerInRealTime) {
    SimProcess sim({"--com", "10", "--client", "042", "--asset", "QA-77", "--mac", "ABCDEF012345"});
    ASSERT_TRUE(sim.started());
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    confirmPort(d);
    EXPECT_TRUE(d.progressView()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000))
        << core.progress.lblCurrentINFO.caption();
    EXPECT_EQ(core.identity.lblFWVersion.caption(), "K5b 162");
    EXPECT_EQ(core.identity.lblCheckSum.caption(), "1A 2B ");
    EXPECT_EQ(core.identity.lblMacAddress.caption(), " ABCDEF012345");
    EXPECT_EQ(core.identity.lblClient.caption(), " 042");
    EXPECT_EQ(core.identity.txtAssetID.text(), " QA-77");
    EXPECT_EQ(find<QLabel>(d, "lblMacAddress")->text(), " ABCDEF012345");
    EXPECT_TRUE(waitUntil([&] { return !d.progressView()->isVisible(); }, 3000));
    EXPECT_TRUE(messages.shown.empty());
}

TEST(SerialAdapter, APortHeldByAnotherAdapterIsBusyAndAMissingOneAbsent) {
    SimProcess sim({"--com", "12", "--quiet"});
    ASSERT_TRUE(sim.started());
    kv::desktop::QtSerialPort first, second;
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

    kv::desktop::QtSerialPort missing;
    missing.setCommPort(30);  // no link and no /dev/ttyACM9 here
    EXPECT_FALSE(missing.setPortOpen(true));
    EXPECT_EQ(missing.lastOpenError(), kv::platform::OpenError::Absent);
    // A malformed settings string is refused and the old settings stay.
    EXPECT_FALSE(missing.setSettings("38400,x,8,1"));
    EXPECT_FALSE(missing.setSettings("fast"));
    EXPECT_EQ(missing.Settings(), "9600,n,8,1");
}

TEST(SerialAdapter, EverySettingReachesTheSerialLibrary) {
    SimProcess sim({"--com", "12", "--quiet"});
    ASSERT_TRUE(sim.started());
    const struct {
        const char* settings;
        std::int16_t handshaking;
        qint32 baud;
        QSerialPort::Parity parity;
        QSerialPort::DataBits dataBits;
        QSerialPort::StopBits stopBits;
        QSerialPort::FlowControl flow;
    } cases[] = {
        {"600,N,8,1", 0, 600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop, QSerialPort::NoFlowControl},
        {"9600,e,7,2", 1, 9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop, QSerialPort::SoftwareControl},
        {"19200,O,6,1.5", 2, 19200, QSerialPort::OddParity, QSerialPort::Data6, QSerialPort::OneAndHalfStop,
         QSerialPort::HardwareControl},
        {"57600,m,5,1", 3, 57600, QSerialPort::MarkParity, QSerialPort::Data5, QSerialPort::OneStop,
         QSerialPort::HardwareControl},
        {"115200,S,8,2", 0, 115200, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::TwoStop,
         QSerialPort::NoFlowControl},
    };
    for (const auto& c : cases) {
        kv::desktop::QtSerialPort port;
        port.setCommPort(12);
        ASSERT_TRUE(port.setSettings(c.settings)) << c.settings;
        ASSERT_TRUE(port.setHandshaking(c.handshaking));
        ASSERT_TRUE(port.setPortOpen(true)) << c.settings << " " << port.lastOpenErrorText();
        const QSerialPort& d = port.device();
        EXPECT_EQ(d.baudRate(), c.baud) << c.settings;
        EXPECT_EQ(d.parity(), c.parity) << c.settings;
        EXPECT_EQ(d.dataBits(), c.dataBits) << c.settings;
        EXPECT_EQ(d.stopBits(), c.stopBits) << c.settings;
        EXPECT_EQ(d.flowControl(), c.flow) << c.settings;
        port.setPortOpen(false);
    }
}

// At start the port dialog is drawn first; the main window's controls follow
// by themselves, all of them.
TEST(Look, ThePortDialogIsDrawnBeforeTheMainWindowsControls) {
    struct FirstPaints : QObject {
        std::vector<std::string> order;  // "dialog", "control"
        bool eventFilter(QObject* o, QEvent* e) override {
            auto* w = qobject_cast<QWidget*>(o);
            if (e->type() != QEvent::Paint || !w) return false;
            const char* what = w->window()->windowType() == Qt::Dialog ? "dialog"
                               : w->parentWidget() && w->parentWidget()->parentWidget() ? "control"
                                                                                        : nullptr;
            if (what && std::find(order.begin(), order.end(), what) == order.end()) order.push_back(what);
            return false;
        }
    } paints;
    qApp->installEventFilter(&paints);
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    EXPECT_TRUE(waitUntil([&] { return paints.order.size() == 2; }, 3000));
    qApp->removeEventFilter(&paints);
    EXPECT_EQ(paints.order, (std::vector<std::string>{"dialog", "control"}));
    auto* view = dynamic_cast<kv::desktop::FormView*>(d.mainWindow()->centralWidget());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->widget("lblFWVersion")->isVisible());
    EXPECT_EQ(view->widget("cmdSetAssetID"), find<QPushButton>(d, "cmdSetAssetID"));
}

TEST(Look, LampsAndPanelAreDrawnFromTheProjectsPictures) {
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    QWidget* rx = d.mainView()->widget("imgRx");
    ASSERT_NE(rx, nullptr);
    auto lampColour = [&] {
        QImage image = rx->grab().toImage();
        return image.pixelColor(7, image.height() / 2);  // the middle of the lamp
    };
    QColor idle = lampColour();
    core.indicators.BlinkRx();
    kv::desktop::flushBindings();
    QColor lit = lampColour();
    EXPECT_GT(lit.value(), idle.value() + 60) << idle.name().toStdString() << " " << lit.name().toStdString();
    EXPECT_GT(lit.red(), lit.blue() + 80);  // amber
    // The front panel's display is the dark picture with the red reading on it.
    QImage panel = d.mainView()->widget("imgZMCDisplay")->grab().toImage();
    EXPECT_LT(panel.pixelColor(panel.width() / 2, panel.height() / 2).value(), 80);
    // A picture of the whole window, for a person to look at.
    EXPECT_TRUE(d.mainWindow()->grab().save(kv::test::screenshotPath("main-window.png")));
}

// The room a widget gives its caption, in its window's coordinates: the
// style's text area of a button, check box or option button, a label's
// contents less its indent, cut by every widget it lies in.
QRect captionRoom(QWidget* w) {
    QRect room = w->contentsRect();
    auto contents = [w](QStyle::SubElement element, const QString& text) {
        QStyleOptionButton o;
        o.initFrom(w);
        o.text = text;
        return w->style()->subElementRect(element, &o, w);
    };
    if (auto* b = qobject_cast<QPushButton*>(w)) room = contents(QStyle::SE_PushButtonContents, b->text());
    else if (auto* c = qobject_cast<QCheckBox*>(w)) room = contents(QStyle::SE_CheckBoxContents, c->text());
    else if (auto* r = qobject_cast<QRadioButton*>(w)) room = contents(QStyle::SE_RadioButtonContents, r->text());
    else if (auto* l = qobject_cast<QLabel*>(w)) {
        int indent = l->indent();  // unset: half an x beside a frame
        if (indent < 0) indent = l->frameWidth() > 0 ? l->fontMetrics().horizontalAdvance('x') / 2 : 0;
        room.adjust(l->margin(), l->margin(), -l->margin(), -l->margin());
        if (l->alignment() & Qt::AlignLeft) room.setLeft(room.left() + indent);
        if (l->alignment() & Qt::AlignRight) room.setRight(room.right() - indent);
    }
    QWidget* top = w->window();
    room.moveTopLeft(w->mapTo(top, room.topLeft()));
    for (QWidget* p = w->parentWidget(); p; p = p->isWindow() ? nullptr : p->parentWidget())
        room &= QRect(p == top ? QPoint() : p->mapTo(top, QPoint()), p->size());
    return room;
}

// Every visible caption of a window that its control has no room for, as
// "window: control "caption" needs WxH, has WxH"; a frame's title is named
// by its frame.
QStringList unfitCaptions(QWidget* window) {
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        int flags = Qt::TextShowMnemonic;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            flags = l->wordWrap() ? Qt::TextWordWrap : 0;
        }
        if (text.isEmpty() || !w->isVisible()) continue;
        QRect room = captionRoom(w);
        QSize needs = w->fontMetrics().boundingRect(QRect(0, 0, std::max(1, room.width()), 10000), flags, text).size();
        if (needs.width() <= room.width() && needs.height() <= room.height()) continue;
        QString name = w->objectName();
        if (name.isEmpty() && w->parentWidget()) name = w->parentWidget()->objectName();
        out << QString("%1: %2 \"%3\" needs %4x%5, has %6x%7")
                   .arg(window->objectName(), name, text)
                   .arg(needs.width()).arg(needs.height()).arg(room.width()).arg(room.height());
    }
    return out;
}

// Each window of the program as it is opened, its captions measured with
// their fonts against the room their controls give them.
TEST(Look, EveryCaptionFitsItsControl) {
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    d.mainWindow()->setObjectName("main window");
    d.startupView()->setObjectName("start-up dialog");
    d.settingsView()->setObjectName("settings dialog");
    d.setAssetView()->setObjectName("asset dialog");
    d.progressView()->setObjectName("progress window");
    QStringList unfit;
    auto measure = [&](QWidget* window) {
        kv::desktop::flushBindings();
        EXPECT_TRUE(window->isVisible()) << window->objectName().toStdString();
        unfit << unfitCaptions(window);
    };
    auto* cancel = d.startupView()->findChild<QPushButton*>("cmdAction(1)");
    ASSERT_TRUE(waitUntil([&] { return cancel->isEnabled() && d.mainView()->isVisible(); }));
    measure(d.startupView());
    measure(d.mainWindow());
    QTest::mouseClick(cancel, Qt::LeftButton);
    // The menu waits for the settings dialog.
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return d.settingsView()->findChild<QPushButton*>("cmdAction(1)")->isEnabled(); });
        measure(d.settingsView());
        QTest::mouseClick(d.settingsView()->findChild<QPushButton*>("cmdAction(1)"), Qt::LeftButton);
    });
    d.mainWindow()->findChild<QAction*>("mnuSettings")->trigger();
    QTest::mouseClick(find<QPushButton>(d, "cmdSetCounter"), Qt::LeftButton);
    QTest::mouseClick(d.setAssetView()->findChild<QCheckBox*>("chkCustom1(0)"), Qt::LeftButton);
    measure(d.setAssetView());
    // A scanned asset starts the automatic setting, which the progress window follows.
    QTest::keyClicks(d.setAssetView()->findChild<QLineEdit*>("txtScannedAsset"), "KV-1001\r");
    QTest::keyClicks(d.setAssetView()->findChild<QLineEdit*>("txtCustom1(0)"), "356938035645001\r");
    measure(d.progressView());
    // The widest the information bar's record count gets on a line.
    d.core().sender.lblRecords.setCaption("Records: 9999 waiting for the server");
    measure(d.mainWindow());  // with the count shown
    d.mainWindow()->findChild<QAction*>("mRecords")->trigger();
    d.recordsView()->setObjectName("records window");
    measure(d.recordsView());
    d.mainWindow()->findChild<QAction*>("mnuRecordStore")->trigger();
    d.recordStoreView()->setObjectName("record store dialog");
    measure(d.recordStoreView());
    unfit.removeDuplicates();
    EXPECT_TRUE(unfit.isEmpty()) << unfit.join("\n").toStdString();
}

// Each port dialog is centred on the screen with its own size.
TEST(Look, EachPortDialogIsCentredOnTheScreen) {
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    auto offCentre = [&](QWidget* dialog) {
        QRect g = dialog->geometry();
        return QPoint(2 * g.left() + g.width() - 2 * screen.left() - screen.width(),
                      2 * g.top() + g.height() - 2 * screen.top() - screen.height());
    };
    auto centred = [&](QWidget* dialog) {
        QPoint off = offCentre(dialog);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_LE(std::abs(off.x()), 1) << off.x() << " " << dialog->width();
        EXPECT_LE(std::abs(off.y()), 1) << off.y() << " " << dialog->height();
    };
    auto* cancel = d.startupView()->findChild<QPushButton*>("cmdAction(1)");
    ASSERT_TRUE(waitUntil([&] { return cancel->isEnabled(); }));
    centred(d.startupView());
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return d.settingsView()->findChild<QPushButton*>("cmdAction(1)")->isEnabled(); });
        centred(d.settingsView());
        QTest::mouseClick(d.settingsView()->findChild<QPushButton*>("cmdAction(1)"), Qt::LeftButton);
    });
    d.mainWindow()->findChild<QAction*>("mnuSettings")->trigger();
}

// ----------------------------------------------------------------
// What the technician sees and types on the real windows, offscreen: the
// batch count box and the scan dialog's hold on the keyboard.

// The dashboard started, the port dialog dismissed, the main window active.
struct Started {
    Started() : d(&messages) {
        d.start();
        waitUntil([&] { return d.mainWindow()->isVisible(); });
        auto* cancel = d.startupView()->findChild<QPushButton*>("cmdAction(1)");
        if (cancel && cancel->isVisible() && cancel->isEnabled()) QTest::mouseClick(cancel, Qt::LeftButton);
        d.mainWindow()->activateWindow();
        waitUntil([&] { return QApplication::activeWindow() == d.mainWindow(); }, 2000);
    }
    template <class W>
    W* widget(const char* name) {
        return qobject_cast<W*>(d.mainView()->widget(name));
    }
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d;
};

// A key pressed and released, with the text the window system gives it.
void typeKey(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}
// Characters typed on a keyboard layout that has them (AltGr+E, a Cyrillic
// or Greek layout): one key press each, with the character as its text.
void typeCharacter(QWidget* target, QChar ch) { typeKey(target, ch.toUpper().unicode(), QString(ch)); }

TEST(CountBox, TakesOnlyDigitsAndItsFewCharactersWhateverTheKeyboard) {
    Started s;
    auto* count = s.widget<QLineEdit>("txtSetCounter");
    ASSERT_NE(count, nullptr);
    // Each of these is refused (with a beep), as a letter is.
    const struct {
        const char* name;
        QChar ch;
    } cases[] = {
        {"latin letter", QChar('x')},
        {"euro sign", QChar(0x20AC)},
        {"cyrillic letter", QChar(0x0416)},
        {"greek letter", QChar(0x03A9)},
    };
    for (const auto& c : cases) {
        count->setFocus();
        count->selectAll();
        QTest::keyClicks(count, "4");
        ASSERT_EQ(count->text().toStdString(), "4") << c.name;
        typeCharacter(count, c.ch);
        EXPECT_EQ(count->text().toStdString(), "4") << c.name;
        EXPECT_EQ(s.d.core().identityWrite.txtSetCounter.text(), "4") << c.name;
    }
}

// Delete removes the character after the cursor in every box with a key
// routine, as Backspace removes the one before it: neither is refused.
TEST(CountBox, DeleteAndBackspaceEditEveryBoxWithAKeyRoutine) {
    Started s;
    kv::app::frmMain& core = s.d.core();
    QTest::mouseClick(s.widget<QPushButton>("cmdSetCounter"), Qt::LeftButton);  // opens the scan dialog
    const struct {
        QWidget* window;
        const char* name;
        kv::ui::TextBox& model;
    } boxes[] = {
        {s.d.mainView(), "txtSetCounter", core.identityWrite.txtSetCounter},
        {s.d.mainView(), "txtAssetID", core.identity.txtAssetID},
        {s.d.setAssetView(), "txtScannedAsset", core.assetDialog.txtScannedAsset},
    };
    // The keys as the window system delivers them: Delete with the text DEL.
    const struct {
        Qt::Key key;
        char text;
        const char* left;
    } keys[] = {{Qt::Key_Delete, '\x7f', "13"}, {Qt::Key_Backspace, '\b', "23"}};
    for (const auto& box : boxes) {
        auto* edit = box.window->findChild<QLineEdit*>(box.name);
        ASSERT_NE(edit, nullptr) << box.name;
        for (const auto& k : keys) {
            edit->selectAll();
            QTest::keyClicks(edit, "123");
            edit->setCursorPosition(1);
            typeKey(edit, k.key, QString(QChar(k.text)));
            EXPECT_EQ(edit->text().toStdString(), k.left) << box.name << " " << k.key;
            EXPECT_EQ(box.model.text(), k.left) << box.name << " " << k.key;
        }
    }
}

TEST(ScanDialog, SetCounterAgainGivesTheOpenDialogTheKeyboard) {
    Started s;
    auto* count = s.widget<QLineEdit>("txtSetCounter");
    auto* setCounter = s.widget<QPushButton>("cmdSetCounter");
    ASSERT_NE(count, nullptr);
    ASSERT_NE(setCounter, nullptr);
    QWidget* dialog = s.d.setAssetView();
    QWidget* scanField = dialog->findChild<QWidget*>("txtScannedAsset");
    ASSERT_NE(scanField, nullptr);

    QTest::mouseClick(setCounter, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible() && QApplication::focusWidget() == scanField; }, 3000));

    // The technician goes back to the main window to correct the count and
    // presses SET COUNTER again; the dialog is still open behind it.
    s.d.mainWindow()->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == s.d.mainWindow(); }, 2000));
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "5");
    QTest::mouseClick(setCounter, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == scanField; }, 3000))
        << "the keyboard is with "
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "nothing");

    // So the scanner's code lands in the scan field, and starts the setting.
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClicks(target, "KV-9001");
    EXPECT_EQ(s.d.core().assetDialog.txtScannedAsset.text(), "KV-9001");
}

// A question about a scanned asset closed with Escape (or its title bar's
// close button) is no answer: the asset is not taken as it would be on its
// riskier button.
TEST(ScanDialog, EscapeOnAQuestionAboutTheAssetTakesNothing) {
    const struct {
        const char* name;
        const char* label;
    } cases[] = {
        {"a label of 18 characters", "KV-ABCDEFGHIJKLMNO"},
        {"an asset of an earlier run", "KV-ESC-1"},
    };
    QDir().mkpath(QDir::homePath() + "/Documents/KV53_LOGS");
    QFile earlier(QDir::homePath() + "/Documents/KV53_LOGS/RECORD_09_00_00_01_01_2020.csv");
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified\r\n"
                  "09:01:00 01/01/2020,0004A3B1C2FF,0004A3B1C2FF,12 34,K5b 162,KV-ESC-1,005,,,yes\r\n");
    earlier.close();
    for (const auto& c : cases) {
        kv::desktop::Dashboard d;  // the desktop's own message boxes
        d.start();
        waitUntil([&] { return d.mainWindow()->isVisible(); });
        auto* cancel = d.startupView()->findChild<QPushButton*>("cmdAction(1)");
        if (cancel && cancel->isVisible()) QTest::mouseClick(cancel, Qt::LeftButton);
        QTest::mouseClick(d.mainView()->widget("cmdSetCounter"), Qt::LeftButton);
        QWidget* field = d.setAssetView()->findChild<QWidget*>("txtScannedAsset");
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == field; }, 3000)) << c.name;
        QTest::keyClicks(field, c.label);
        QTest::keyClick(field, Qt::Key_Return);
        QMessageBox* box = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
                return box != nullptr;
            },
            3000))
            << c.name;
        QPointer<QMessageBox> asked = box;
        QTest::keyClick(box, Qt::Key_Escape);
        ASSERT_TRUE(waitUntil([&] { return !asked || !asked->isVisible(); }, 3000)) << c.name;
        QApplication::processEvents();
        EXPECT_EQ(d.core().identity.txtAssetID.text(), "") << c.name << ": taken on Escape";
    }
    QFile::remove(earlier.fileName());
}

// ----------------------------------------------------------------
// The communications settings dialog, opened from the real menu and clicked
// as a technician would, applying its settings to a kv5x-sim port.

TEST(SettingsDialog, AppliesItsSettingsToTheSimulatorsPortOnStart) {
    SimProcess sim({"--com", "10"});
    ASSERT_TRUE(sim.started());
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    EXPECT_TRUE(d.settingsView()->unplaced().empty()) << d.settingsView()->unplaced().front();
    QTest::mouseClick(d.startupView()->findChild<QPushButton*>("cmdAction(0)"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return sim.output().contains("line settings: 38400,N,8,1"); }, 3000))
        << sim.output().toStdString();

    // The menu waits for the dialog: the technician's clicks come meanwhile.
    bool shown = false, twoStopsAtEight = true;
    QTimer::singleShot(100, [&] {
        kv::desktop::FormView* v = d.settingsView();
        shown = v->isVisible() && v->windowTitle() == "Communications Port Settings";
        auto* baud = v->findChild<QComboBox*>("cboBaud");
        auto option = [&](const char* name) { return v->findChild<QRadioButton*>(name); };
        twoStopsAtEight = option("optStopBits(1)")->isEnabled();  // 8 bits shown: "2  Bit" is off
        EXPECT_TRUE(option("optDataBits(1)")->isChecked());
        EXPECT_EQ(baud->currentText(), "38400");
        // Between a person's clicks the window catches up.
        auto click = [](QWidget* w) {
            QTest::mouseClick(w, Qt::LeftButton);
            QApplication::processEvents();
        };
        click(option("optDataBits(0)"));
        click(option("optStopBits(1)"));
        click(option("optParity(0)"));
        baud->setCurrentIndex(4);
        emit baud->activated(4);  // 9600, as a choice from the list
        QTest::mouseClick(v->findChild<QPushButton*>("cmdAction(0)"), Qt::LeftButton);
    });
    d.mainWindow()->findChild<QAction*>("mnuSettings")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(twoStopsAtEight);
    EXPECT_FALSE(d.settingsView()->isVisible());
    EXPECT_EQ(core.session.config().line.text(), "9600,E,7,2");
    EXPECT_EQ(core.indicators.lblOpen.caption(), "Closed");
    auto* startStop = d.mainView()->findChild<QPushButton*>("cmdSTOPComms");
    QApplication::processEvents();
    EXPECT_EQ(startStop->text(), "START");
    ASSERT_TRUE(startStop->isEnabled());
    QTest::mouseClick(startStop, Qt::LeftButton);
    // The pseudo-terminal carries the baud rate and the stop bits; it keeps
    // 8 bits without parity whatever is asked.
    EXPECT_TRUE(waitUntil([&] { return sim.output().contains("line settings: 9600,N,8,2"); }, 3000))
        << sim.output().toStdString();
    EXPECT_EQ(core.indicators.lblOpen.caption(), "Open");
    EXPECT_EQ(core.indicators.lblSettings.caption().find("9600"), 0u) << core.indicators.lblSettings.caption();
    EXPECT_TRUE(messages.shown.empty());
}

// ----------------------------------------------------------------
// The program as it runs, in a process of its own with the program's own
// quit settings.

// Run by the next test in a process of its own: the dashboard with the
// progress window and the settings dialog open, its main window closed.
TEST(Program, DISABLED_EndsWhenItsMainWindowCloses) {
    kv::desktop::applyProgramSettings();
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
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
    QByteArray said = child.readAll();
    if (!ended) child.kill();
    EXPECT_TRUE(ended) << said.toStdString();
    EXPECT_TRUE(said.contains("windows open: 1 1")) << said.toStdString();
    EXPECT_TRUE(said.contains("exited 0, port open 0")) << said.toStdString();
}

}  // namespace

namespace {

// The real boxes: up at once, the program going on; a question answers from
// the event loop with the button pressed, the safe first one when it is
// closed without a choice, and nothing when the program takes it down.
TEST(MessageBoxes, AQuestionAnswersWithItsButtonAndTheSafeOneWhenClosed) {
    kv::desktop::QtMessageBox boxes;
    auto open = [] {
        QList<QMessageBox*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) out << b;
        return out;
    };
    const struct {
        const char* name;
        std::function<void(QMessageBox*, kv::platform::MessageId)> act;
        int answer;  // -1: none
    } cases[] = {
        {"the second button", [](QMessageBox* b, kv::platform::MessageId) { b->buttons()[1]->click(); }, 1},
        {"Escape", [](QMessageBox* b, kv::platform::MessageId) { QTest::keyClick(b, Qt::Key_Escape); }, 0},
        {"Enter", [](QMessageBox* b, kv::platform::MessageId) { QTest::keyClick(b, Qt::Key_Return); }, 0},
        {"closed by the program", [&](QMessageBox*, kv::platform::MessageId id) { boxes.close(id); }, -1},
    };
    for (const auto& c : cases) {
        int answer = -1;
        auto id = boxes.ask("Write it to this controller too?", kv::platform::MsgIcon::Question, "Set Asset",
                            {"No", "Yes", "Later"}, [&](int a) { answer = a; });
        ASSERT_EQ(open().size(), 1) << c.name;
        QMessageBox* box = open().front();
        EXPECT_EQ(box->text(), "Write it to this controller too?");
        QStringList texts;
        for (QAbstractButton* b : box->buttons()) texts << b->text();
        EXPECT_EQ(texts, (QStringList{"No", "Yes", "Later"})) << c.name;
        EXPECT_EQ(answer, -1) << c.name;  // nothing until pressed
        c.act(box, id);
        kv::test::waitUntil([&] { return open().isEmpty(); }, 1000);
        QApplication::processEvents();
        EXPECT_EQ(answer, c.answer) << c.name;
        EXPECT_TRUE(open().isEmpty()) << c.name;
    }
    boxes.show("Saved.", kv::platform::MsgButtons::Ok, kv::platform::MsgIcon::None, "KV53_Varkel_Comms");
    EXPECT_EQ(open().size(), 1);  // an information box stays until closed; its owner takes it down at the end
}

}  // namespace
