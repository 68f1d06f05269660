// The Linux port probe on real devices: a simulator's pseudo-terminal, a
// missing device, and a device another process has locked; the default
// device of every port number.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <cerrno>
#include <iostream>
#include <string>
#include <unistd.h>

#include "desktop/LinuxPortProbe.h"
#include "ports/PortMap.h"
#include "tests/desktop/DesktopSupport.h"

using kv::desktop::LinuxPortProbe;
using kv::platform::PortState;

namespace {

TEST(PortProbe, RefusalsMapToTheirStates) {
    const std::pair<int, PortState> cases[] = {{EBUSY, PortState::Held},          {EACCES, PortState::PermissionDenied},
                                               {EPERM, PortState::PermissionDenied}, {ENOENT, PortState::Absent},
                                               {ENXIO, PortState::Absent},          {EIO, PortState::Absent}};
    for (const auto& [error, state] : cases) EXPECT_EQ(LinuxPortProbe::fromOpenError(error), state) << error;
}

TEST(PortMap, DefaultDevicesAtEveryEdge) {
    const std::pair<int, const char*> cases[] = {{0, ""},  {1, "/dev/ttyS0"},     {8, "/dev/ttyS7"},
                                                 {9, "/dev/ttyUSB0"}, {20, "/dev/ttyUSB11"}, {21, "/dev/ttyACM0"},
                                                 {32, "/dev/ttyACM11"}, {33, ""}};
    for (const auto& [port, device] : cases) EXPECT_EQ(kv::ports::PortMap::defaultDevice(port), device) << port;
}

TEST(PortProbe, TellsFreeHeldAndAbsentApart) {
    kv::test::SimProcess sim({"--com", "11", "--quiet"});
    ASSERT_TRUE(sim.started());
    LinuxPortProbe probe;
    EXPECT_EQ(probe.probe(11), PortState::Free);
    EXPECT_EQ(probe.probe(31), PortState::Absent);  // no link, no /dev/ttyACM10
    EXPECT_EQ(probe.probe(0), PortState::Absent);
    // A port named in another live process's lock file is held; a stale
    // lock (its process is gone) does not count.
    for (auto [pid, state] : {std::pair{qint64(getppid()), PortState::Held}, {99999999, PortState::Free}}) {
        QFile f("/tmp/LCK..COM11");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray::number(pid).rightJustified(10, ' ') + "\n");
        f.close();
        EXPECT_EQ(probe.probe(11), state) << pid;
    }
    QFile::remove("/tmp/LCK..COM11");
    sim.stop();
    EXPECT_EQ(probe.probe(11), PortState::Absent);  // its link went with it
    kv::test::SimProcess last({"--com", "32", "--quiet"});
    ASSERT_TRUE(last.started());
    EXPECT_EQ(probe.probe(32), PortState::Free);  // the last port is probed too
}

// Run by the next test in a process of its own: holds the device named in
// KV_HOLD_DEVICE open with QSerialPort, as a second dashboard would, until a
// line or the end of its standard input; then closes it as a dashboard does.
TEST(PortHolder, DISABLED_HoldsAPortUntilItsInputEnds) {
    QSerialPort port(qEnvironmentVariable("KV_HOLD_DEVICE"));
    ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
    std::printf("holding\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    port.close();
}

TEST(PortProbe, APortAnotherDashboardHoldsThroughItsLinkIsHeld) {
    kv::test::SimProcess sim({"--com", "13", "--quiet"});
    ASSERT_TRUE(sim.started());
    LinuxPortProbe probe;
    ASSERT_EQ(probe.probe(13), PortState::Free);
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KV_HOLD_DEVICE", kv::ports::PortMap::device(13));
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--gtest_also_run_disabled_tests", "--gtest_filter=PortHolder.DISABLED_HoldsAPortUntilItsInputEnds"});
    QByteArray said;
    ASSERT_TRUE(kv::test::waitUntil([&] { return (said += holder.readAll()).contains("holding"); }))
        << said.toStdString();
    // Whoever runs the suite, root included (who may open a held device).
    EXPECT_EQ(probe.probe(13), PortState::Held);
    // QSerialPort's lock file, named after the device's path ('/' as '_'):
    // there while the holder has the port, gone once it has ended normally.
    const QString lock = "/var/lock/LCK.." + kv::ports::PortMap::device(13).replace('/', '_');
    EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_EQ(holder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(holder.exitCode(), 0) << (said + holder.readAll()).toStdString();
    EXPECT_FALSE(QFile::exists(lock)) << lock.toStdString();
}

}  // namespace
