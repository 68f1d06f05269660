// The real Qt windows under the offscreen platform: widgets bound to the
// core's controls, how the windows look, the keyboard, the real message
// boxes, the program's quit settings, and the real QSerialPort adapter
// talking to kv5x-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include "tests/desktop/DesktopSupport.h"

namespace {

using namespace kv::test;

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
    Desk s;
    kv::desktop::Dashboard& d = s.d;
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
    // Start-up made the log in the user's documents, quietly.
    EXPECT_TRUE(core.log.isOpen());
    EXPECT_EQ(play(s, {{"", {{"visible main", "1"}, {"visible lblFWVersion", "1"}, {"cmdGetAssetID", "GET ASSET"},
                             {"visible cmdGetAssetID", "1"}, {"enabled cmdSTOPComms", "0"}, {"@said", ""},
                             {"title main", "Varkel KV5x COMM Dashboard V1.6"}}}}), "");
    core.identity.lblFWVersion.setCaption("K5b 162");
    EXPECT_EQ(play(s, {{"type txtAssetID A77", {{"core txtAssetID", "A77"}, {"lblFWVersion", "K5b 162"}}}}), "");
    // The hidden terminal follows the receive path in whole lines; shown, it
    // fits its columns to its width.
    auto* terminal = dynamic_cast<kv::desktop::TerminalView*>(s.widget("txtTerminal"));
    ASSERT_NE(terminal, nullptr);
    core.receive.txtTerminal.setColumns(4);
    core.receive.PostTerminal(std::string("\x01\x02\xff", 3));
    EXPECT_EQ(terminal->lines(), (QStringList{"{1}{", "2}{2", "55}"}));
    core.receive.txtTerminal.setVisible(true);
    kv::desktop::flushBindings();
    terminal->resize(400, 200);
    EXPECT_EQ(core.receive.txtTerminal.columns(), terminal->fittingColumns());
    EXPECT_GT(terminal->fittingColumns(), 20);
    // The information bar sits where the layout rule puts it.
    EXPECT_EQ(s.widget("picInfo")->y(), (d.mainView()->height() * 15 - 1135) / 15);
    // The Rx lamp lights amber; the front panel's display is dark, the red
    // reading on it.
    auto middle = [&](const char* name, int x = -1) {
        QImage image = s.widget(name)->grab().toImage();
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
    const QString earlier = QDir::homePath() + "/Documents/KV53_LOGS/RECORD_09_00_00_01_01_2020.csv";
    writeFile(earlier.toStdString(),
              "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified\r\n"
              "09:01:00 01/01/2020,0004A3B1C2FF,0004A3B1C2FF,12 34,K5b 162,KV-ESC-1,005,,,yes\r\n");
    Desk s(std::nullopt, true);  // the desktop's own message boxes
    Lives steps = {
        {"", {{"enabled startup.cmdAction(1)", "1"}, {"visible main.lblFWVersion", "1"}, {"centred startup", "1"},
              {"fits startup", ""}, {"fits main", ""}}},
        {"click startup.cmdAction(1)"},
        {"menu mnuSettings settings", {{"visible startup", "0"}, {"visible settings", "0"}}, 12000,
         {{"", {{"enabled settings.cmdAction(1)", "1"}, {"centred settings", "1"}, {"fits settings", ""}}},
          {"click settings.cmdAction(1)"}}},
        {"activate", {{"active main", "1"}}}};
    for (QString ch : {"x", "\u20ac", "\u0416", "\u03a9"})
        steps = steps + Lives{{"type txtSetCounter 4"},
                              {"key txtSetCounter " + ch, {{"txtSetCounter", "4"}, {"core txtSetCounter", "4"}}}};
    steps = steps + Lives{{"click cmdSetCounter", {{"visible asset", "1"}, {"focus txtScannedAsset", "1"}}},
                          {"activate", {{"active main", "1"}}},
                          {"type txtSetCounter 5"},
                          {"click cmdSetCounter", {{"focus txtScannedAsset", "1"}}},
                          {"keys txtScannedAsset KV-9001", {{"core txtScannedAsset", "KV-9001"}}}};
    for (QString box : {"txtSetCounter", "txtAssetID", "txtScannedAsset"})
        for (auto [key, left] : {std::pair{"Delete", "13"}, {"Backspace", "23"}})
            steps = steps + Lives{{"type " + box + " 123"}, {"at " + box + " 1"},
                                  {"key " + box + " " + key, {{box, left}, {"core " + box, left}}}};
    for (QString label : {"KV-ABCDEFGHIJKLMNO", "KV-ESC-1"})
        steps = steps + Lives{{"type txtAssetID"}, {"click cmdSetCounter"}, {"type txtScannedAsset " + label},
                              {"key txtScannedAsset Return", {{"visible box", "1"}}},
                              {"key box Escape", {{"visible box", "0"}, {"txtAssetID", ""}, {"core txtAssetID", ""}}}};
    // A scanned asset starts the automatic setting, which the progress window
    // follows.
    EXPECT_EQ(play(s, steps + Lives{{"click chkCustom1(0)", {{"fits asset", ""}}},
                                    {"type txtScannedAsset KV-1001\r"},
                                    {"type txtCustom1(0) 356938035645001\r",
                                     {{"visible progress", "1"}, {"fits progress", ""}}}}), "");
    QFile::remove(earlier);
    // The widest the information bar's record count gets on a line.
    s.d.core().sender.lblRecords.setCaption("Records: 9999 waiting for the server");
    EXPECT_EQ(play(s, {{"", {{"fits main", ""}}}, {"menu mRecords", {{"fits records", ""}}},
                       {"menu mnuRecordStore", {{"fits store", ""}}}}), "");
}

// The real boxes: up at once, the program going on; a question answers from
// the event loop with the button pressed, the safe first one when it is
// closed without a choice, and nothing when the program takes it down.
TEST(MessageBoxes, AQuestionAnswersWithItsButtonAndTheSafeOneWhenClosed) {
    kv::desktop::QtMessageBox boxes;
    // How the box goes, and the answer then (-1: none).
    for (const auto& [how, expected] : {std::pair<std::string, int>{"the second button", 1}, {"Escape", 0},
                                        {"Enter", 0}, {"closed by the program", -1}}) {
        SCOPED_TRACE(how);
        int answer = -1;
        auto id = boxes.ask("Write it to this controller too?", kv::platform::MsgIcon::Question, "Set Asset",
                            {"No", "Yes", "Later"}, [&](int a) { answer = a; });
        QMessageBox* box = openBox();
        ASSERT_NE(box, nullptr);
        QStringList texts{box->text()};
        for (QAbstractButton* b : box->buttons()) texts << b->text();
        EXPECT_EQ(texts.join("|").toStdString() + " " + std::to_string(answer),
                  "Write it to this controller too?|No|Yes|Later -1");  // nothing until pressed
        if (how == "the second button") box->buttons()[1]->click();
        else if (how == "closed by the program") boxes.close(id);
        else QTest::keyClick(box, how == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        waitUntil([&] { return !openBox(); }, 1000);
        QApplication::processEvents();
        EXPECT_EQ(answer, expected);
        EXPECT_EQ(openBox(), nullptr);
    }
    boxes.show("Saved.", kv::platform::MsgButtons::Ok, kv::platform::MsgIcon::None, "KV53_Varkel_Comms");
    EXPECT_NE(openBox(), nullptr);  // an information box stays until closed; its owner takes it down at the end
}

// Run by the next test in a process of its own: the dashboard with the
// progress window and the settings dialog open, its main window closed.
TEST(Program, DISABLED_EndsWhenItsMainWindowCloses) {
    kv::desktop::applyProgramSettings();
    Desk s;
    QTimer::singleShot(100, [&] {
        s.d.core().progress.window.show();
        s.d.mainWindow()->findChild<QAction*>("mnuSettings")->trigger();  // waits for the dialog
    });
    QTimer::singleShot(600, [&] {
        std::printf("windows open: %d %d\n", s.d.progressView()->isVisible(), s.d.settingsView()->isVisible());
        s.d.mainWindow()->close();
    });
    int rc = QApplication::exec();
    s.d.core().Form_Terminate();
    std::printf("exited %d, port open %d\n", rc, s.d.core().session.isOpen());
}

TEST(Program, EndsWhenItsMainWindowClosesWhateverElseIsOpen) {
    Child child;
    child.start("Program.DISABLED_EndsWhenItsMainWindowCloses");
    const bool ended = child.process.waitForFinished(10000);  // else ended on leaving
    EXPECT_TRUE(ended && child.output().contains("windows open: 1 1\n") && child.said.contains("exited 0, port open 0"))
        << child.said.toStdString();
}

template <class E>
const char* key(E value) { return QMetaEnum::fromType<E>().valueToKey(value); }

// Two adapters on one simulator link: the second finds it busy until the
// first lets it go; a missing port is absent; a malformed settings string is
// refused, the old settings kept; and every setting reaches the serial library.
TEST(SerialAdapter, APortHeldByAnotherIsBusyAMissingOneAbsentAndEverySettingArrives) {
    SimProcess sim({"--com", "12", "--quiet"});
    ASSERT_TRUE(sim.started);
    kv::desktop::QtSerialPort first, second, missing;
    for (auto* p : {&first, &second}) {
        p->setCommPort(12);
        ASSERT_TRUE(p->setSettings("38400,n,8,1"));
    }
    ASSERT_TRUE(first.setPortOpen(true)) << first.lastOpenErrorText();
    EXPECT_TRUE(!second.setPortOpen(true) && second.lastOpenError() == kv::platform::OpenError::Busy)
        << second.lastOpenErrorText();
    first.setPortOpen(false);
    EXPECT_TRUE(second.setPortOpen(true)) << second.lastOpenErrorText();
    second.setPortOpen(false);
    missing.setCommPort(30);  // no link and no /dev/ttyACM9 here
    EXPECT_TRUE(!missing.setPortOpen(true) && missing.lastOpenError() == kv::platform::OpenError::Absent)
        << missing.lastOpenErrorText();
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
    Desk s(QStringList{"--asset", "Z9876"});
    ASSERT_TRUE(s.sims.back().started) << s.sims.back().output().toStdString();
    kv::app::frmMain& core = s.d.core();
    EXPECT_EQ(play(s, {{"", {{"cboPort", " COM  10"}}},  // the simulator's link, found and preselected
                       {"click startup.cmdAction(0)", {{"lblOpen", "Open"}, {"visible startup", "0"}}}}), "");
    core.sequence.tmrLoopBack.setEnabled(false);  // this test asks by itself
    EXPECT_EQ(play(s, {{"click cmdGetAssetID", {{"txtAssetID", " Z9876"}, {"@sim <- 16 01 01 00", "1"},
                                                {"Text1", " 16 01 07 5A 39 38 37 36 00 00 00"}}},
                       {"click imgDTR"}, {"click imgRTS", {{"lblError", ""}}}, {"key txtTerminal a"}}), "");
    EXPECT_NE(core.receive.txtTerminal.text().find("{22}{1}{7}{90}"), std::string::npos);
    for (const char* lamp : {"imgCD", "imgCTS", "imgDSR", "imgRTS", "imgDTR"})
        EXPECT_EQ(core.window.image(lamp).picture(), "line_off") << lamp;
    EXPECT_EQ(seen(s, "@said"), "");
}

// OK identifies the simulator's controller in real time; the simulator gone,
// the port is shown closed and START says why; back on the same link, as a
// replugged adapter, the port reopens by itself and the new controller is
// identified; the settings dialog, opened from the menu and clicked as a
// technician would, applies its settings on START. The pseudo-terminal
// carries the baud rate and the stop bits; it keeps 8 bits without parity
// whatever is asked.
TEST(EndToEnd, OkIdentifiesTheControllerFollowsItsLinkAndAppliesTheSettingsDialog) {
    Desk s(QStringList{"--client", "042", "--asset", "QA-77", "--mac", "ABCDEF012345"});
    EXPECT_EQ(play(s, {{"click startup.cmdAction(0)", {{"@sim line settings: 38400,N,8,1", "1"}}},
                       {"", {{"lblOpen", "Open"}, {"visible progress", "1"}, {"lblCurrentINFO", " CONNECTED..OK"},
                             {"lblFWVersion", "K5b 162"}, {"lblCheckSum", "1A 2B "}, {"visible progress", "0"},
                             {"lblMacAddress", " ABCDEF012345"}, {"lblGetStatus(3)", " 042"},
                             {"txtAssetID", " QA-77"}}},
                       {"unplug", {{"lblOpen", "Closed"}, {"cmdSTOPComms", "START"}}}}), "");
    s.d.core().indicators.cmdSTOPComms.press();
    EXPECT_EQ(play(s, {{"", {{"lblError", "No such port"}, {"lblOpen", "Closed"}}},
                       {"replug --mac FEDCBA987654",
                        {{"lblOpen", "Open"}, {"lblError", "Port back"}, {"cmdSTOPComms", "STOP"},
                         {"lblMacAddress", " FEDCBA987654"}, {"lblCurrentINFO", " CONNECTED..OK"}}},
                       // 8 bits: "2  Bit" is off until 7 are chosen.
                       {"menu mnuSettings settings",
                        {{"visible settings", "0"}, {"lblOpen", "Closed"}, {"cmdSTOPComms", "START"},
                         {"enabled cmdSTOPComms", "1"}}, 12000,
                        {{"", {{"cboBaud", "38400"}, {"checked optDataBits(1)", "1"}, {"enabled optStopBits(1)", "0"},
                               {"title settings", "Communications Port Settings"}}},
                         {"click optDataBits(0)"}, {"click optStopBits(1)"}, {"click optParity(0)"},
                         {"choose cboBaud 9600"}, {"click settings.cmdAction(0)"}}},
                       {"click cmdSTOPComms", {{"@sim line settings: 9600,N,8,2", "1"}, {"lblOpen", "Open"},
                                               {"lblSettings", "9600,E,7,2"}, {"@said", ""}}}}), "");
    EXPECT_EQ(s.d.core().session.config().line.text(), "9600,E,7,2");
}

}  // namespace
