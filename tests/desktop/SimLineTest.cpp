// kv5x-sim serving a production line on its pseudo-terminal: the options it
// refuses, Enter on its standard input, swaps by itself, the summary at the
// end, and a closed standard input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <string>
#include <vector>

#include "ports/PortMap.h"
#include "sim/VirtualController.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/TempDir.h"

using kv::test::SimProcess;
using kv::test::waitUntil;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The simulator's port, opened raw as the dashboard's serial port would be.
class Terminal {
public:
    explicit Terminal(int port) {
        fd_ = ::open(kv::ports::PortMap::device(port).toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Terminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool open() const { return fd_ >= 0; }

    // Sends a request and collects the reply: what came until `expected`
    // bytes had come (or a second passed), and 100 ms more.
    Bytes ask(const Bytes& request, std::size_t expected) {
        if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return {};
        Bytes reply;
        QElapsedTimer timer;
        timer.start();
        qint64 until = 1000;
        bool complete = false;
        while (timer.elapsed() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                std::uint8_t buf[512];
                ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) reply.insert(reply.end(), buf, buf + n);
            }
            if (reply.size() >= expected && !complete) {
                complete = true;
                until = timer.elapsed() + 100;
            }
        }
        return reply;
    }

private:
    int fd_ = -1;
};

Bytes macReply(int number) {
    Bytes r{0x18, 0x01, 0x0C};
    for (char ch : std::string("0004A3B1C2")) r.push_back(static_cast<std::uint8_t>(ch));
    r.push_back(static_cast<std::uint8_t>('0' + number / 10));
    r.push_back(static_cast<std::uint8_t>('0' + number % 10));
    return r;
}

const Bytes kGetMac{0x18, 0x01, 0x01, 0x00};
const Bytes kGetAsset{0x16, 0x01, 0x01, 0x00};

// CPU time the process used so far, in clock ticks.
long cpuTicks(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name in parentheses; utime and stime are the
    // 14th and 15th of the whole line.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return fields[11].toLong() + fields[12].toLong();
}

TEST(SimLine, RefusesSettingsItCannotServe) {
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"--line", "2", "--mac", "000000000000"}, "--mac sets a single controller"},
        {{"--asset", "A1", "--line", "3"}, "--asset sets a single controller"},
        {{"--client", "007", "--line", "3"}, "--client sets a single controller"},
        {{"--line", "3", "--checksum", "1234"}, "--checksum sets a single controller"},
        {{"--auto-swap"}, "--auto-swap needs --line"},
        {{"--line", "0"}, "--line needs a whole number 1 to 99"},
        {{"--line", "100"}, "--line needs a whole number 1 to 99"},
        {{"--asset", QString(254, 'A')}, "--asset takes at most 253 characters"},
        {{"--config", QString(2 * 256, '0')}, "--config takes at most 255 bytes"},
        {{"--param", "40=1"}, "--param needs N=V, N a parameter number 1 to 39"},
        {{"--param", "1=65536"}, "--param needs N=V"},
        {{"--param", "P1=5"}, "--param needs N=V"},
        {{"--swap-during", "1:asset"}, "--swap-during needs --line"},
        {{"--line", "3", "--swap-during", "1:restart"}, "--swap-during needs K:asset, K:client or K:bulk"},
        {{"--line", "2", "--swap-during", "2:bulk"}, "--swap-during 2:bulk: a --line of 2 has no controller after 2"},
    };
    for (const auto& c : cases) {
        SimProcess sim(c.args, false);
        const std::string name = c.args.join(' ').left(40).toStdString();
        ASSERT_TRUE(sim.process().waitForFinished(5000)) << name;
        EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(sim.process().exitCode(), 2) << name;
        const QString said = sim.output();
        EXPECT_TRUE(said.startsWith(QString("kv5x-sim: ") + c.says)) << name << ": " << said.toStdString();
        EXPECT_FALSE(said.contains("linked as")) << name;
    }
}

// A values file with a line that is not N=V (or none at all) is refused,
// naming the file and the line.
TEST(SimLine, RefusesAValuesFileWithABadLine) {
    const struct {
        const char* content;  // nullptr: no file
        const char* says;     // %1: the file's path
    } cases[] = {
        {"# factory\n\n1=440\nP12=455\n", "%1, line 4: \"P12=455\" is not N=V"},
        {"40=1\n", "%1, line 1: \"40=1\" is not N=V"},
        {"  \r\n1=65536\r\n", "%1, line 2: \"1=65536\" is not N=V"},
        {"1=-1", "%1, line 1: \"1=-1\" is not N=V"},
        {"7\n", "%1, line 1: \"7\" is not N=V"},
        {nullptr, "cannot read %1"},
    };
    kv::test::TempDir dir;
    for (const auto& c : cases) {
        const auto path = dir.path() / (c.content ? "values.txt" : "none.txt");
        if (c.content) kv::test::writeFile(path, c.content);
        SimProcess sim({"--values", QString::fromStdString(path.string())}, false);
        ASSERT_TRUE(sim.process().waitForFinished(5000)) << c.says;
        EXPECT_EQ(sim.process().exitCode(), 2) << c.says;
        const QString expected = QString("kv5x-sim: --values: ") + QString(c.says).arg(path.c_str());
        EXPECT_TRUE(sim.output().startsWith(expected)) << sim.output().toStdString();
    }
}

// Values of the line's own (a file, then --param over it) reach the wire high
// byte first, limits or not; controller 1 is swapped right after its client
// write, and the summary compares with the line's values.
TEST(SimLine, ServesItsOwnValuesAndSwapsAfterTheClientWrite) {
    kv::test::TempDir dir;
    const auto path = dir.path() / "values.txt";
    kv::test::writeFile(path, "# the line's factory values\n\n1=65535\n 38 = 40000\r\n12=0\n");
    SimProcess sim({"--com", "22", "--quiet", "--values", QString::fromStdString(path.string()), "--param", "2=0",
                    "--param", "12=1000", "--line", "2", "--swap-during", "1:client"},
                   false);
    ASSERT_TRUE(sim.says("controller 1 of 2 on the line")) << sim.output().toStdString();
    Terminal port(22);
    ASSERT_TRUE(port.open());
    Bytes read{0x06, 0x01, 0x29};
    for (std::uint8_t n = 1; n <= 39; ++n) read.push_back(n);
    read.insert(read.end(), {0x99, 0x99});
    Bytes expected{0x06, 0x01, 0x50};
    kv::sim::Params values = kv::sim::kFactoryParams;
    values[0] = 65535;
    values[1] = 0;
    values[11] = 1000;
    values[37] = 40000;
    for (std::uint16_t v : values)
        expected.insert(expected.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v & 0xFF)});
    expected.insert(expected.end(), {0x99, 0x99});
    EXPECT_EQ(port.ask(read, expected.size()), expected);

    EXPECT_EQ(port.ask({0x15, 0x01, 0x04, 0x01, '0', '0', '7'}, 6), (Bytes{0x15, 0x01, 0x03, '0', '0', '7'}));
    // A MAC asked for at once still reaches it; the next request, the next one.
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(1));
    EXPECT_EQ(port.ask({0x07, 0x01, 0x05, 1, 0x01, 0xB8, 0x99, 0x99}, 4), (Bytes{0x07, 0x01, 0x01, 0x00}));
    ASSERT_TRUE(sim.says("controller 2 of 2 on the line")) << sim.output().toStdString();
    EXPECT_TRUE(sim.output().contains("controller 1 swapped for the next one during its provisioning (1:client)"));
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(2));
    sim.process().terminate();
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_TRUE(sim.output().endsWith("   01  0004A3B1C201  asset \"\"  client \"007\"  factory parameters\n"
                                      "   02  0004A3B1C202  asset \"\"  client \"<00\"  P001=440\n"
                                      "kv5x-sim: stopped\n"))
        << sim.output().toStdString();
}

TEST(SimLine, TheLongestAssetFillsAWholeReply) {
    SimProcess sim({"--com", "20", "--quiet", "--asset", QString(253, 'A')}, false);
    ASSERT_TRUE(sim.says("linked as")) << sim.output().toStdString();
    Terminal port(20);
    ASSERT_TRUE(port.open());
    Bytes expected{0x16, 0x01, 0xFF};
    expected.insert(expected.end(), 253, 'A');
    expected.insert(expected.end(), {0x00, 0x00});
    EXPECT_EQ(port.ask(kGetAsset, expected.size()), expected);
}

TEST(SimLine, EnterSwapsControllersAndAClosedInputLeavesTheLineServing) {
    SimProcess sim({"--com", "21", "--quiet", "--line", "3"}, false);
    ASSERT_TRUE(sim.says("controller 1 of 3 on the line")) << sim.output().toStdString();
    Terminal port(21);
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(1));
    const Bytes setAsset{0x16, 0x01, 0x03, 0x01, 'L', '1'};
    EXPECT_EQ(port.ask(setAsset, 7), (Bytes{0x16, 0x01, 0x04, 'L', '1', 0x00, 0x00}));

    sim.process().write("\n");
    ASSERT_TRUE(sim.says("controller 2 of 3 on the line")) << sim.output().toStdString();
    EXPECT_TRUE(sim.output().contains("   01  0004A3B1C201  asset \"L1\"  client \"<00\"  factory parameters\n"))
        << sim.output().toStdString();
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(2));

    // The end of standard input neither stops the simulator nor keeps it busy.
    sim.process().closeWriteChannel();
    ASSERT_TRUE(sim.says("standard input closed")) << sim.output().toStdString();
    const long before = cpuTicks(sim.process().processId());
    QTest::qWait(1000);
    const long after = cpuTicks(sim.process().processId());
    ASSERT_GE(before, 0);
    EXPECT_LT(after - before, 20) << "ticks of CPU time in one second";
    EXPECT_EQ(sim.process().state(), QProcess::Running);
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(2));

    sim.process().terminate();
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_EQ(sim.process().exitCode(), 0);
    const QString said = sim.output();
    const QString summary = "kv5x-sim: controllers served (2 of 3):\n"
                            "   01  0004A3B1C201  asset \"L1\"  client \"<00\"  factory parameters\n"
                            "   02  0004A3B1C202  asset \"\"  client \"<00\"  factory parameters\n"
                            "kv5x-sim: stopped\n";
    EXPECT_TRUE(said.endsWith(summary)) << said.toStdString();
}

TEST(SimLine, SwapsByItselfAfterTheIdentificationThatFollowsARestart) {
    SimProcess sim({"--com", "21", "--quiet", "--line", "2", "--auto-swap", "--restart-ms", "100", "--no-store-client"},
                   false);
    ASSERT_TRUE(sim.says("controller 1 of 2 on the line")) << sim.output().toStdString();
    Terminal port(21);
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.ask({0x08, 0x01, 0x01, 0x01}, 4), (Bytes{0x08, 0x01, 0x01, 0x01}));
    // The client is answered but not kept.
    EXPECT_EQ(port.ask({0x15, 0x01, 0x04, 0x01, '0', '0', '7'}, 6), (Bytes{0x15, 0x01, 0x03, '<', '0', '0'}));
    EXPECT_EQ(port.ask({0x07, 0x01, 0x05, 12, 0x01, 0xC7, 0x99, 0x99}, 4), (Bytes{0x07, 0x01, 0x01, 0x00}));
    EXPECT_EQ(port.ask({0x08, 0x01, 0x01, 0x00}, 4), (Bytes{0x08, 0x01, 0x01, 0x00}));
    QTest::qWait(200);
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(1));
    EXPECT_FALSE(sim.output().contains("controller 2 of 2"));
    EXPECT_EQ(port.ask(kGetAsset, 5), (Bytes{0x16, 0x01, 0x02, 0x00, 0x00}));
    ASSERT_TRUE(sim.says("controller 2 of 2 on the line")) << sim.output().toStdString();
    EXPECT_TRUE(sim.output().contains("   01  0004A3B1C201  asset \"\"  client \"<00\"  P012=455\n"))
        << sim.output().toStdString();
    EXPECT_EQ(port.ask(kGetMac, 15), macReply(2));
}

}  // namespace
