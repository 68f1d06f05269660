// End to end: kv5x-sim on a pseudo-terminal, the real QSerialPort and the
// real windows, clicked and scanned as a technician would: the parameter
// table, and a batch of controllers.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <list>

#include "desktop/Dashboard.h"
#include "desktop/Signals.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/TempDir.h"

using kv::test::SimProcess;
using kv::test::waitUntil;
using kv::test::DialogAnswer;

namespace {

QWidget* widget(kv::desktop::Dashboard& d, const char* name) { return d.mainView()->widget(name); }
QString textOf(kv::desktop::Dashboard& d, const char* name) {
    QWidget* w = widget(d, name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return "(no such widget)";
}

void click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString();
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
}

// The last value kv5x-sim printed for parameter n.
int simValue(SimProcess& sim, int n) {
    QRegularExpression re(QString("P%1=(\\d+)").arg(n, 3, 10, QChar('0')));
    int value = -1;
    auto it = re.globalMatch(sim.output());
    while (it.hasNext()) value = it.next().captured(1).toInt();
    return value;
}

TEST(ParamsEndToEnd, StepApplyThenWriteAllAndSeeThemAgainAfterTheRestart) {
    SimProcess sim({"--com", "10", "--restart-ms", "300"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    click(d.startupView()->findChild<QPushButton*>("cmdAction(0)"));
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    QApplication::processEvents();

    // The table as read from the controller, never typeable.
    EXPECT_EQ(textOf(d, "lblParam(0)"), "SP");
    EXPECT_EQ(textOf(d, "txtParam(0)"), "4.0");
    EXPECT_EQ(textOf(d, "txtParam(11)"), "08");
    EXPECT_EQ(textOf(d, "txtParam(38)"), "53");
    EXPECT_FALSE(widget(d, "txtParam(0)")->isEnabled());
    EXPECT_TRUE(widget(d, "txtParam(38)")->isVisible());
    EXPECT_FALSE(widget(d, "txtParam(39)")->isVisible());

    // Select SP, step it on the panel, set it.
    click(widget(d, "lblParam(0)"));
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "lblSettingParam"), "SP");
    EXPECT_EQ(textOf(d, "lblSettingValue"), "4.0");
    click(widget(d, "imgKV53UP"));
    click(widget(d, "imgKV53UP"));
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "txtParam(0)"), "4.2");
    EXPECT_EQ(textOf(d, "lblSettingValue"), "4.2");
    click(widget(d, "imgKV5xSLT"));
    ASSERT_TRUE(waitUntil([&] { return simValue(sim, 1) == 442; }, 3000)) << sim.output().toStdString();
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "lblSettingParam"), "--");

    // Step another one without setting it; APPLY PARAMS writes the table.
    click(widget(d, "lblParam(38)"));
    click(widget(d, "imgKV53DWN"));
    // What the table holds when APPLY PARAMS is pressed (the restart reads
    // the controller back into it).
    std::vector<std::string> values;
    for (int k = 0; k < 39; ++k) values.push_back(core.params.row(k).sParamValue);
    int before = sim.output().size();
    click(d.mainView()->widget("cdmSetParams"));
    ASSERT_TRUE(waitUntil([&] { return sim.output().indexOf("service mode left", before) >= 0; }, 8000));
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 15000))
        << core.progress.lblCurrentINFO.caption();
    QString written = sim.output().mid(before);
    EXPECT_EQ(written.count("parameters (written in service mode)"), 4) << written.toStdString();
    EXPECT_FALSE(written.contains("outside service mode"));
    for (int k = 0; k < 39; ++k) {
        EXPECT_EQ(std::to_string(simValue(sim, k + 1)), values[std::size_t(k)]) << k;
        EXPECT_EQ(core.params.row(k).sParamValue, values[std::size_t(k)]) << k;
    }
    EXPECT_EQ(simValue(sim, 39), 52);
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "txtParam(0)"), "4.2");  // read back after the restart
    EXPECT_EQ(textOf(d, "txtParam(38)"), "52");
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;

    EXPECT_TRUE(d.mainWindow()->grab().save(kv::test::screenshotPath("main-window-parameters.png")));
}

TEST(ParamsEndToEnd, TheFileMenuSavesAndOpensThroughTheRealDialogs) {
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    core.startup.cmdCancel.click();
    for (int k = 0; k < 39; ++k) core.params.SetParamFormat(core.params.txtParam(k), core.params.row(k).sParamValue, k);
    auto* save = d.mainWindow()->findChild<QAction*>("mSaveFile");
    auto* open = d.mainWindow()->findChild<QAction*>("mOpnFile");
    ASSERT_NE(save, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(save->text(), "Save Param File");
    EXPECT_EQ(open->text(), "Open Param File");

    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/KV53_ParamFiles";
    DialogAnswer answer;
    answer.answerWith(folder + "/line4");  // the dialog adds .csv
    save->trigger();
    EXPECT_EQ(answer.title, "Select File");
    EXPECT_EQ(answer.folder, folder);
    EXPECT_EQ(answer.suffix, "csv");
    EXPECT_EQ(answer.filters, (QStringList{"Param Files (*.csv)", "All files (*.*)"}));
    QFile file(folder + "/line4.csv");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray content = file.readAll();
    EXPECT_TRUE(content.startsWith("SP,40\r\nDIF,20\r\n")) << content.toStdString();
    EXPECT_EQ(content.count('\n'), 39);
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "lblSelectedFilename"), "line4.csv");

    // A changed file, opened: its values are shown and will be written.
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("SP,-55\r\n");
    file.close();
    answer.answerWith(folder + "/line4.csv");
    open->trigger();
    QApplication::processEvents();
    EXPECT_EQ(textOf(d, "txtParam(0)"), "-5.5");
    EXPECT_EQ(core.params.row(0).sParamValue, "345");

    // Cancel changes nothing and says nothing.
    answer.answerWith("");
    open->trigger();
    EXPECT_EQ(core.params.row(0).sParamValue, "345");
    EXPECT_TRUE(messages.shown.empty());
}

// ----------------------------------------------------------------
// A batch end to end: kv5x-sim serving a production line of three
// controllers on a pseudo-terminal, the real QSerialPort and the real
// windows; the technician sets the count and a scanner types the codes.

// A barcode scanner in keyboard mode: the characters, then Enter, into
// whatever has the keyboard focus.
void scan(const QString& code) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClicks(target, code);
    QTest::keyClick(target, Qt::Key_Return);
}

TEST(BatchEndToEnd, ThreeControllersProvisionedByScanningAlone) {
    SimProcess sim({"--com", "10", "--restart-ms", "300", "--line", "3", "--auto-swap"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    QTest::mouseClick(d.startupView()->findChild<QPushButton*>("cmdAction(0)"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));

    // The customer, from the list the program came with.
    auto* customers = qobject_cast<QComboBox*>(d.mainView()->widget("cboCLientList"));
    ASSERT_NE(customers, nullptr);
    ASSERT_TRUE(waitUntil([&] { return customers->isEnabled(); }, 2000));
    int acme = customers->findText("005 - Acme Refrigeration Ltd");
    ASSERT_GE(acme, 0);
    customers->setCurrentIndex(acme);
    emit customers->activated(acme);
    auto* client = qobject_cast<QLineEdit*>(d.mainView()->widget("txtSetClient"));
    ASSERT_TRUE(waitUntil([&] { return client->text() == "005"; }, 1000));

    // The count: letters are refused, digits taken.
    auto* count = qobject_cast<QLineEdit*>(d.mainView()->widget("txtSetCounter"));
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "x3");
    EXPECT_EQ(count->text(), "3");
    QTest::mouseClick(d.mainView()->widget("cmdSetCounter"), Qt::LeftButton);
    auto* remaining = qobject_cast<QLabel*>(d.mainView()->widget("lblCounter"));
    ASSERT_TRUE(waitUntil([&] { return remaining->text() == "3"; }, 1000));
    EXPECT_TRUE(d.mainView()->widget("lblHeader(1)")->isVisible());

    QWidget* dialog = d.setAssetView();
    QWidget* scanField = dialog->findChild<QWidget*>("txtScannedAsset");
    ASSERT_NE(scanField, nullptr);
    const QStringList assets{"KV-1001", "KV-1002", "KV-1003"};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(waitUntil([&] { return dialog->isVisible() && QApplication::focusWidget() == scanField; },
                              30000))
            << k << " " << sim.output().toStdString();
        EXPECT_EQ(dialog->windowTitle(), "Set Asset");
        EXPECT_TRUE(qobject_cast<QLineEdit*>(scanField)->text().isEmpty());
        scan(assets[k]);
        ASSERT_TRUE(waitUntil([&] { return kv::test::fileLines(core.record.path()).size() == k + 2; }, 40000))
            << k << " " << core.progress.lblCurrentINFO.caption();
        EXPECT_TRUE(waitUntil([&] { return remaining->text() == QString::number(2 - k); }, 1000));
    }
    QTest::qWait(1500);
    EXPECT_FALSE(dialog->isVisible());  // the batch is done

    // The record and the simulator's own account agree, controller by controller.
    sim.stop();
    QString account = sim.output();
    QStringList rows = kv::test::fileLines(core.record.path());
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified");
    QStringList macs;
    for (int k = 0; k < 3; ++k) {
        QStringList f = rows[k + 1].split(',');
        ASSERT_EQ(f.size(), 10) << rows[k + 1].toStdString();
        EXPECT_EQ(f[1], f[2]);
        EXPECT_EQ(f[5], assets[k]);
        EXPECT_EQ(f[6], "005");
        EXPECT_EQ(f[9], "yes") << rows[k + 1].toStdString();
        macs << f[2];
        QRegularExpression line(QString("%1\\s+%2\\s+asset \"%3\"\\s+client \"005\"\\s+factory parameters")
                                    .arg(k + 1, 2, 10, QChar('0'))
                                    .arg(QRegularExpression::escape(f[2]), QRegularExpression::escape(assets[k])));
        EXPECT_TRUE(line.match(account).hasMatch()) << k << "\n" << account.toStdString();
    }
    macs.removeDuplicates();
    EXPECT_EQ(macs.size(), 3);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
}

// Run by the next test in a process of its own, set up as main() sets up the
// program: the controller identified and APPLY PARAMS pressed, then the event
// loop until the program ends.
TEST(SignalEndToEnd, DISABLED_StartsAParameterWriteThenRuns) {
    SimProcess sim({"--com", "10", "--asset", "KV-9001", "--client", "005"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::desktop::applyProgramSettings();
    kv::desktop::Dashboard d;
    d.start();
    kv::desktop::closeOnSignals(d);
    kv::app::frmMain& core = d.core();
    click(d.startupView()->findChild<QPushButton*>("cmdAction(0)"));
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    click(widget(d, "cdmSetParams"));
    ASSERT_TRUE(sim.says("service mode entered", 3000)) << sim.output().toStdString();
    std::printf("writing\n");
    std::fflush(stdout);
    EXPECT_EQ(QApplication::exec(), 0);
    core.Form_Terminate();
    EXPECT_TRUE(sim.says("service mode left", 2000)) << sim.output().toStdString();
}

// The system asks the program to end (twice) during a parameter write: it
// closes as its main window's "Close anyway" does and ends through main().
// The controller's row is on disk and the port's lock file is gone.
TEST(SignalEndToEnd, EndingOnASignalWritesThePendingRowAndReleasesThePort) {
    struct Run {
        int sig = 0;
        kv::test::TempDir home;
        QProcess child;
        QByteArray said;
        QString lock;
        bool signalled = false;
    };
    // Side by side, each in a home of its own; each is signalled as soon as
    // its write has started (the write lasts about three seconds).
    std::list<Run> runs;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        Run& r = runs.emplace_back();
        r.sig = sig;
        const QString home = QString::fromStdString(r.home.path().string());
        // QSerialPort's lock file: the device's path with '/' as '_'.
        r.lock = "/var/lock/LCK.." + QString(home + "/.local/share/KV53_Varkel_Comms/ports/COM10").replace('/', '_');
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KV_TEST_HOME", home);
        r.child.setProcessEnvironment(env);
        r.child.setProcessChannelMode(QProcess::MergedChannels);
        r.child.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_also_run_disabled_tests", "--gtest_filter=SignalEndToEnd.DISABLED_*"});
    }
    int signalled = 0;
    waitUntil([&] {
        for (Run& r : runs)
            if (!r.signalled && (r.said += r.child.readAll()).contains("writing\n")) {
                EXPECT_TRUE(QFile::exists(r.lock)) << r.lock.toStdString();
                ::kill(static_cast<pid_t>(r.child.processId()), r.sig);
                ::kill(static_cast<pid_t>(r.child.processId()), r.sig);
                r.signalled = true;
                ++signalled;
            }
        return signalled == 3;
    }, 40000);
    for (Run& r : runs) {
        SCOPED_TRACE(strsignal(r.sig));
        const bool ended = r.child.state() == QProcess::NotRunning || r.child.waitForFinished(10000);
        r.said += r.child.readAll();
        ASSERT_TRUE(r.signalled && ended) << r.said.toStdString();
        EXPECT_EQ(r.child.exitStatus(), QProcess::NormalExit) << r.said.toStdString();
        EXPECT_EQ(r.child.exitCode(), 0) << r.said.toStdString();
        EXPECT_FALSE(QFile::exists(r.lock)) << r.lock.toStdString();
        const QDir logs(QString::fromStdString((r.home.path() / "Documents/KV53_LOGS").string()));
        const QStringList records = logs.entryList({"RECORD_*.csv"});
        ASSERT_EQ(records.size(), 1);
        const QStringList rows = kv::test::fileLines(logs.filePath(records[0]).toStdString());
        EXPECT_EQ(rows.size(), 2);
        EXPECT_EQ(rows.value(1).section(',', 1).toStdString(),
                  "0004A3B1C2D3,0004A3B1C2D3,1A 2B,K5b 162,KV-9001,005,,,no: the program was closed during its "
                  "parameter write; taken out of service mode");
    }
}

}  // namespace

namespace {

// The message boxes on screen: the real ones, which never hold the program up.
QList<QMessageBox*> openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) boxes << b;
    return boxes;
}

TEST(ControllersAsTheyComeEndToEnd, ValuesOutsideTheLimitsAreIdentifiedWithoutAKeyAndSaidOnce) {
    SimProcess sim({"--com", "10", "--param", "1=900", "--param", "8=300", "--param", "15=5", "--param", "39=1000"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::desktop::Dashboard d;  // the real message boxes
    d.start();
    kv::app::frmMain& core = d.core();
    click(d.startupView()->findChild<QPushButton*>("cmdAction(0)"));
    // Nobody touches a key: the whole identification runs.
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000))
        << core.progress.lblCurrentINFO.caption();
    EXPECT_EQ(textOf(d, "lblMacAddress"), " 0004A3B1C2D3");
    EXPECT_EQ(textOf(d, "txtParam(0)"), "30.0");
    QList<QMessageBox*> boxes = openBoxes();
    ASSERT_EQ(boxes.size(), 1);
    QStringList lines = boxes[0]->text().split('\n');
    lines.removeFirst();
    EXPECT_EQ(lines, (QStringList{"SP 50.0 (at most 30.0)", "ODS -10 (at least 0)", "DFD 5 (at most 2)",
                                  "PTB 1000 (at most 999)"}));
    // REFRESH reads them again: the box is replaced, never stacked.
    click(widget(d, "cmdRefreshNextController"));
    ASSERT_TRUE(waitUntil(
        [&] { return core.progress.lblCurrentINFO.caption() == " Acquiring Serial Number.... Please Wait"; }, 8000));
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    QTest::qWait(50);
    EXPECT_EQ(openBoxes().size(), 1);
}

TEST(ControllersAsTheyComeEndToEnd, ALineOfThreeWithTheSecondSwappedAfterItsAssetLeavesThreeTrueRows) {
    SimProcess sim({"--com", "10", "--restart-ms", "300", "--line", "3", "--auto-swap", "--swap-during", "2:asset"});
    ASSERT_TRUE(sim.started()) << sim.output().toStdString();
    kv::desktop::Dashboard d;
    d.start();
    kv::app::frmMain& core = d.core();
    click(d.startupView()->findChild<QPushButton*>("cmdAction(0)"));
    ASSERT_TRUE(waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 12000));
    auto* customers = qobject_cast<QComboBox*>(widget(d, "cboCLientList"));
    ASSERT_TRUE(waitUntil([&] { return customers->isEnabled(); }, 2000));
    int acme = customers->findText("005 - Acme Refrigeration Ltd");
    customers->setCurrentIndex(acme);
    emit customers->activated(acme);
    auto* count = qobject_cast<QLineEdit*>(widget(d, "txtSetCounter"));
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "3");
    click(widget(d, "cmdSetCounter"));

    QWidget* dialog = d.setAssetView();
    QWidget* scanField = dialog->findChild<QWidget*>("txtScannedAsset");
    // Assets of their own: the record files of the other tests share the folder.
    for (const char* asset : {"KV-7001", "KV-7002"}) {
        ASSERT_TRUE(waitUntil([&] { return dialog->isVisible() && QApplication::focusWidget() == scanField; },
                              30000))
            << asset << " visible " << dialog->isVisible() << " focus "
            << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none")
            << " rows " << kv::test::fileLines(core.record.path()).size() << " "
            << core.progress.lblCurrentINFO.caption();
        scan(asset);
        // A scan that comes while the controller is written to changes no box.
        QTest::qWait(300);
        QTest::keyClicks(QApplication::focusWidget() ? QApplication::focusWidget() : count, "555");
        EXPECT_EQ(count->text(), "3");
    }
    ASSERT_TRUE(waitUntil([&] { return kv::test::fileLines(core.record.path()).size() == 4; }, 60000))
        << sim.output().toStdString();
    QStringList rows = kv::test::fileLines(core.record.path());
    auto fields = [&](int k) { return rows[k].split(','); };
    EXPECT_EQ(fields(1)[2], "0004A3B1C201");
    EXPECT_EQ(fields(1)[5], "KV-7001");
    EXPECT_EQ(fields(1)[9], "yes");
    EXPECT_EQ(fields(2)[2], "0004A3B1C202");
    EXPECT_EQ(fields(2)[5], "KV-7002");
    EXPECT_EQ(fields(2)[9], "no: replaced before its read-back");
    EXPECT_EQ(fields(3)[2], "0004A3B1C203");
    EXPECT_EQ(fields(3)[5], "");
    EXPECT_EQ(fields(3)[6], "005");
    EXPECT_EQ(fields(3)[9], "no: asset not written");
    sim.stop();
    QString account = sim.output();
    EXPECT_TRUE(account.contains(QRegularExpression("02\\s+0004A3B1C202\\s+asset \"KV-7002\"\\s+client \"<00\"")))
        << account.toStdString();
    EXPECT_TRUE(openBoxes().isEmpty());
}

}  // namespace
