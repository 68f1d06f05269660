// The Linux port probe on real devices: a simulator's pseudo-terminal, a
// missing device, and a device another process has locked.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <unistd.h>

#include "desktop/LinuxPortProbe.h"
#include "desktop/PortMap.h"
#include "tests/desktop/DesktopSupport.h"

using kv::desktop::LinuxPortProbe;
using kv::platform::PortState;

namespace {

TEST(PortProbe, RefusalsMapToTheirStates) {
    const struct {
        int error;
        PortState state;
    } cases[] = {{EBUSY, PortState::Held}, {EACCES, PortState::PermissionDenied}, {EPERM, PortState::PermissionDenied},
                 {ENOENT, PortState::Absent}, {ENXIO, PortState::Absent}, {EIO, PortState::Absent}};
    for (const auto& c : cases) EXPECT_EQ(LinuxPortProbe::fromOpenError(c.error), c.state) << c.error;
}

TEST(PortProbe, TellsFreeHeldAndAbsentApart) {
    kv::test::SimProcess sim({"--com", "11", "--quiet"});
    ASSERT_TRUE(sim.started());
    LinuxPortProbe probe;
    EXPECT_EQ(probe.probe(11), PortState::Free);
    EXPECT_EQ(probe.probe(31), PortState::Absent);  // no link, no /dev/ttyACM10
    EXPECT_EQ(probe.probe(0), PortState::Absent);

    // A port named in another live process's lock file is held.
    QString lock = "/tmp/LCK..COM11";
    {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(qint64(getppid())).rightJustified(10, ' ') + "\n");
    }
    EXPECT_EQ(probe.probe(11), PortState::Held);
    // A stale lock (its process is gone) does not count.
    {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("  99999999\n");
    }
    EXPECT_EQ(probe.probe(11), PortState::Free);
    QFile::remove(lock);

    sim.stop();
    EXPECT_EQ(probe.probe(11), PortState::Absent);  // its link went with it
}

}  // namespace
