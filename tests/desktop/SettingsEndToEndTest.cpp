// The communications settings dialog, opened from the real menu and clicked
// as a technician would, applying its settings to a kv5x-sim port.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"

using kv::test::SimProcess;
using kv::test::waitUntil;

namespace {

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
    EXPECT_EQ(core.session.port().Settings(), "9600,E,7,2");
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

}  // namespace
