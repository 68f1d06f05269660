// The program as it runs, in a process of its own with the program's own
// quit settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QProcess>
#include <QTimer>

#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"

namespace {

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
