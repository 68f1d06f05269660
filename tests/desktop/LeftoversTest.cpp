// Desktop tests clean up after themselves: a test run in a process of its
// own, with a temporary folder of its own as TMPDIR, leaves that folder as
// empty as it found it, and no lock file naming it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include "tests/support/TempDir.h"

namespace {

// The tests run here as CI and a root shell run them: no desktop session,
// so no XDG_RUNTIME_DIR.
TEST(Leftovers, ADesktopTestLeavesNothingOutsideItsTemporaryFolders) {
    for (const char* test : {"MainWindow.ShowsItsDesignAndFollowsTheCore",
                             "EndToEnd.GetAssetReachesTheSimulatorAndTheReplyIsDispatched",
                             "PortProbe.TellsFreeHeldAndAbsentApart"}) {
        kv::test::TempDir tmp;
        const QString folder = QString::fromStdString(tmp.path().string());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", folder);
        env.remove("KV_TEST_HOME");
        env.remove("XDG_RUNTIME_DIR");
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString("--gtest_filter=") + test});
        ASSERT_TRUE(child.waitForFinished(60000)) << test;
        const QString said = QString::fromLocal8Bit(child.readAll());
        ASSERT_TRUE(said.contains("[  PASSED  ] 1 test")) << test << "\n" << said.toStdString();
        const QStringList left =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        EXPECT_TRUE(left.isEmpty()) << test << " left in " << folder.toStdString() << ": "
                                    << left.join(", ").toStdString();
        const QStringList locks =
            QDir("/run/lock").entryList({"LCK..*" + QString(folder).replace('/', '_') + "*"}, QDir::Files);
        EXPECT_TRUE(locks.isEmpty()) << test << ": " << locks.join(", ").toStdString();
    }
}

}  // namespace
