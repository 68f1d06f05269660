// kv5x-sim serving a production line on its pseudo-terminal: the options it
// refuses, its own values, Enter on its standard input, swaps by itself, the
// summary at the end, and a closed standard input.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSerialPort>
#include <sstream>
#include <string>
#include <vector>

#include "ports/PortMap.h"
#include "sim/VirtualController.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/TempDir.h"

using kv::test::SimProcess;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Settings it cannot serve end it with status 2 and a line that says why,
// before it links a port; a values file with a line that is not N=V (or
// none at all) by its path (%1) and the line.
TEST(SimLine, RefusesSettingsItCannotServe) {
    kv::test::TempDir dir;
    const QString file = QString::fromStdString((dir.path() / "values.txt").string());
    const struct {
        QStringList args;
        const char* says;
        const char* content = nullptr;  // of the values file
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
        {{"--values", file}, "--values: %1, line 4: \"P12=455\" is not N=V", "# factory\n\n1=440\nP12=455\n"},
        {{"--values", file}, "--values: %1, line 1: \"40=1\" is not N=V", "40=1\n"},
        {{"--values", file}, "--values: %1, line 2: \"1=65536\" is not N=V", "  \r\n1=65536\r\n"},
        {{"--values", file}, "--values: %1, line 1: \"1=-1\" is not N=V", "1=-1"},
        {{"--values", file}, "--values: %1, line 1: \"7\" is not N=V", "7\n"},
        {{"--values", file + ".none"}, "--values: cannot read %1.none"},
    };
    for (const auto& c : cases) {
        if (c.content) kv::test::writeFile(file.toStdString(), c.content);
        SimProcess sim(c.args, false);
        const std::string name = c.args.join(' ').left(40).toStdString();
        ASSERT_TRUE(sim.process().waitForFinished(5000)) << name;
        EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(sim.process().exitCode(), 2) << name;
        const QString said = sim.output();
        EXPECT_TRUE(said.startsWith("kv5x-sim: " + QString(c.says).replace("%1", file)))
            << name << ": " << said.toStdString();
        EXPECT_FALSE(said.contains("linked as")) << name;
    }
}

// Sends a request to the simulator's port, opened as the dashboard opens
// it, and collects the reply: what came until `expected` bytes had come (or
// a second passed), and 100 ms more.
Bytes ask(QSerialPort& port, const Bytes& request, std::size_t expected) {
    port.write(reinterpret_cast<const char*>(request.data()), qint64(request.size()));
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    for (qint64 until = 1000; timer.elapsed() < until; port.waitForReadyRead(20)) {
        reply += port.readAll();
        if (std::size_t(reply.size()) >= expected && until == 1000) until = timer.elapsed() + 100;
    }
    return Bytes(reply.begin(), reply.end());
}

Bytes bytes(const std::string& hex) {
    Bytes out;
    std::istringstream in(hex);
    for (unsigned b; in >> std::hex >> b;) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

// The reply to "18 01 01 00" of controller `number` of the line.
Bytes mac(int number) {
    Bytes r{0x18, 0x01, 0x0C};
    for (char ch : QString("0004A3B1C2%1").arg(number, 2, 10, QChar('0')).toStdString()) r.push_back(std::uint8_t(ch));
    return r;
}

// CPU time the process used so far, in clock ticks: utime and stime, the
// 14th and 15th fields of its stat, counted after the command name.
long cpuTicks(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13 ? -1 : fields[11].toLong() + fields[12].toLong();
}

// A line served on its pseudo-terminal, step by step: "ask HEX" (the reply
// must be `reply`), "says TEXT" / "lacks TEXT" (in its output or not),
// "enter" (a line on its standard input), "eof" (its standard input closed),
// "idle" (neither stopped nor busy for a second), "wait MS", "ends TEXT"
// (stopped, it ends normally with TEXT).
struct LineStep {
    std::string act;
    Bytes reply = {};
};

TEST(SimLine, ServesItsLineOnItsPseudoTerminal) {
    kv::test::TempDir dir;
    const QString values = QString::fromStdString((dir.path() / "values.txt").string());
    kv::test::writeFile(values.toStdString(), "# the line's factory values\n\n1=65535\n 38 = 40000\r\n12=0\n");
    // Values of the line's own (the file, then --param over it) reach the
    // wire high byte first, limits or not.
    std::string read = "06 01 29";
    Bytes all{0x06, 0x01, 0x50};
    kv::sim::Params p = kv::sim::kFactoryParams;
    p[0] = 65535, p[1] = 0, p[11] = 1000, p[37] = 40000;
    for (int n = 0; n < 39; ++n) {
        read += " " + QString::number(n + 1, 16).toStdString();
        all.insert(all.end(), {std::uint8_t(p[n] >> 8), std::uint8_t(p[n] & 0xFF)});
    }
    read += " 99 99";
    all.insert(all.end(), {0x99, 0x99});
    Bytes longest{0x16, 0x01, 0xFF};
    longest.insert(longest.end(), 253, 'A');
    longest.insert(longest.end(), {0x00, 0x00});
    const struct {
        const char* name;
        QStringList args;
        int port;
        std::vector<LineStep> steps;
    } runs[] = {
        {"its own values, controller 1 swapped right after its client write",
         {"--values", values, "--param", "2=0", "--param", "12=1000", "--line", "2", "--swap-during", "1:client"}, 22,
         {{"says controller 1 of 2 on the line"}, {"ask " + read, all},
          {"ask 15 01 04 01 30 30 37", bytes("15 01 03 30 30 37")},
          // A MAC asked for at once still reaches it; the next request, the next one.
          {"ask 18 01 01 00", mac(1)}, {"ask 07 01 05 01 01 B8 99 99", bytes("07 01 01 00")},
          {"says controller 2 of 2 on the line"},
          {"says controller 1 swapped for the next one during its provisioning (1:client)"},
          {"ask 18 01 01 00", mac(2)},
          {"ends    01  0004A3B1C201  asset \"\"  client \"007\"  factory parameters\n"
           "   02  0004A3B1C202  asset \"\"  client \"<00\"  P001=440\nkv5x-sim: stopped\n"}}},
        {"the longest asset fills a whole reply", {"--asset", QString(253, 'A')}, 20, {{"ask 16 01 01 00", longest}}},
        {"Enter swaps controllers, a closed input leaves the line serving", {"--line", "3"}, 21,
         {{"says controller 1 of 3 on the line"}, {"ask 18 01 01 00", mac(1)},
          {"ask 16 01 03 01 4C 31", bytes("16 01 04 4C 31 00 00")}, {"enter"},
          {"says controller 2 of 3 on the line"},
          {"says    01  0004A3B1C201  asset \"L1\"  client \"<00\"  factory parameters\n"},
          {"ask 18 01 01 00", mac(2)}, {"eof"}, {"says standard input closed"}, {"idle"}, {"ask 18 01 01 00", mac(2)},
          {"ends kv5x-sim: controllers served (2 of 3):\n"
           "   01  0004A3B1C201  asset \"L1\"  client \"<00\"  factory parameters\n"
           "   02  0004A3B1C202  asset \"\"  client \"<00\"  factory parameters\nkv5x-sim: stopped\n"}}},
        {"swaps by itself after the identification that follows a restart; the client answered, not kept",
         {"--line", "2", "--auto-swap", "--restart-ms", "100", "--no-store-client"}, 21,
         {{"says controller 1 of 2 on the line"}, {"ask 08 01 01 01", bytes("08 01 01 01")},
          {"ask 15 01 04 01 30 30 37", bytes("15 01 03 3C 30 30")},
          {"ask 07 01 05 0C 01 C7 99 99", bytes("07 01 01 00")}, {"ask 08 01 01 00", bytes("08 01 01 00")},
          {"wait 200"}, {"ask 18 01 01 00", mac(1)}, {"lacks controller 2 of 2"},
          {"ask 16 01 01 00", bytes("16 01 02 00 00")}, {"says controller 2 of 2 on the line"},
          {"says    01  0004A3B1C201  asset \"\"  client \"<00\"  P012=455\n"}, {"ask 18 01 01 00", mac(2)}}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        SimProcess sim(QStringList{"--com", QString::number(r.port), "--quiet"} + r.args);
        ASSERT_TRUE(sim.started()) << sim.output().toStdString();
        QSerialPort port(kv::ports::PortMap::device(r.port));
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        for (const auto& [act, reply] : r.steps) {
            const std::string verb = act.substr(0, act.find(' ')), arg = act.substr(verb.size() + (verb != act));
            const QString text = QString::fromStdString(arg);
            const std::string why = act + "\n" + sim.output().toStdString();
            if (verb == "ask") {
                EXPECT_EQ(ask(port, bytes(arg), reply.size()), reply) << act;
            } else if (verb == "says" || verb == "lacks") {
                EXPECT_EQ(verb == "says" ? sim.says(text) : sim.output().contains(text), verb == "says") << why;
            } else if (verb == "enter" || verb == "eof") {
                verb == "enter" ? void(sim.process().write("\n")) : sim.process().closeWriteChannel();
            } else if (verb == "wait") {
                QTest::qWait(std::stoi(arg));
            } else if (verb == "idle") {
                const long before = cpuTicks(sim.process().processId());
                QTest::qWait(1000);
                ASSERT_GE(before, 0);
                EXPECT_LT(cpuTicks(sim.process().processId()) - before, 20) << "ticks of CPU time in one second";
                EXPECT_EQ(sim.process().state(), QProcess::Running);
            } else {
                sim.process().terminate();
                ASSERT_TRUE(sim.process().waitForFinished(5000));
                EXPECT_EQ(sim.process().exitCode(), 0);
                EXPECT_TRUE(sim.output().endsWith(text)) << why;
            }
        }
    }
}

}  // namespace
