// A batch end to end: kv5x-sim serving a production line of three
// controllers on a pseudo-terminal, the real QSerialPort and the real
// windows; the technician sets the count and a scanner types the codes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"

using kv::test::SimProcess;
using kv::test::waitUntil;

namespace {

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

}  // namespace
