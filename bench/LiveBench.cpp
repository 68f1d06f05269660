// Figures of the live desktop program, printed, not asserted:
//  - the 32-port probe of the port dialog;
//  - OK to " CONNECTED..OK" against kv5x-sim, against the floor of the
//    one-second ticks;
//  - APPLY PARAMS to the identification after the restart, against the floor
//    of the bulk write's timers;
//  - a controller of a batch, from the Enter of its scan to the
//    " CONNECTED..OK" after its restart, against the floor of the timers;
//  - a replugged device back to " CONNECTED..OK", against the timer floor;
//  - start-up to the port dialog against a bare window with a dialog;
//  - the CPU seconds the window's thread spends per received MB when a
//    pseudo-terminal feeds it binary bytes at 115200-baud line rate.
// Usage: kv5x_live_bench [seconds of feeding, default 20]
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QMainWindow>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "desktop/Dashboard.h"
#include "desktop/LinuxPortProbe.h"
#include "ports/PortMap.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"

namespace {

using kv::test::waitUntil;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void probeFigures() {
    kv::desktop::LinuxPortProbe probe;
    QElapsedTimer t;
    constexpr int runs = 20;
    t.start();
    int listed = 0;
    for (int r = 0; r < runs; ++r)
        for (int n = 1; n <= 32; ++n) listed += probe.probe(n) != kv::platform::PortState::Absent;
    std::printf("port probe: %.2f ms for COM1-COM32 (mean of %d scans, %d ports listed)\n",
                static_cast<double>(t.nsecsElapsed()) / 1e6 / runs, runs, listed / runs);
}

// Starts kv5x-sim on COM10 and waits for its link.
bool startSim(QProcess& sim, QStringList args, const char* figure) {
    sim.start(KV_SIM_PATH, QStringList{"--com", "10", "--quiet"} + args);
    if (sim.waitForStarted() && waitUntil([&] { return QFile::exists(kv::ports::PortMap::device(10)); }, 5000))
        return true;
    std::printf("%s: kv5x-sim did not start\n", figure);
    return false;
}

// OK in the port dialog, then waits for " CONNECTED..OK".
bool identify(kv::app::frmMain& core, const char* figure) {
    core.startup.cmdOK.click();
    if (waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 20000)) return true;
    std::printf("%s: the controller was not identified\n", figure);
    return false;
}

void connectFigures() {
    QProcess sim;
    if (!startSim(sim, {}, "connect")) return;
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    auto& core = d.core();
    QElapsedTimer t;
    qint64 firstStep = -1;
    core.progress.lblCurrentINFO.listen([&] {
        if (firstStep < 0 && core.progress.lblCurrentINFO.caption() == " CONNECTING.... Please Wait")
            firstStep = t.elapsed();
    });
    t.start();
    core.startup.cmdOK.click();
    bool ok = waitUntil([&] { return core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 20000);
    qint64 total = t.elapsed();
    if (!ok || firstStep < 0) {
        std::printf("connect: no \" CONNECTED..OK\" within 20 s\n");
    } else {
        qint64 steps = total - firstStep;
        std::printf("connect: OK to \" CONNECTED..OK\" %lld ms; first step after %lld ms (timer phase), "
                    "steps 0-6 took %lld ms against a floor of 6000 ms: overhead %lld ms\n",
                    static_cast<long long>(total), static_cast<long long>(firstStep), static_cast<long long>(steps),
                    static_cast<long long>(steps - 6000));
    }
    sim.terminate();
    sim.waitForFinished();
}

// APPLY PARAMS to " CONNECTED..OK" of the identification after the restart.
// The floor is what the flow's timers and the simulator's answers set: the
// enter reply (20 ms, plus 1 ms on the line), four frames 500 ms apart after
// it, 1000 ms to the exit, its reply and 500 ms to the refresh, then the
// sequence's timer phase (the wait for its next one-second tick, which the
// flow does not choose) and its six steps of 1000 ms.
void applyFigures(int runs) {
    QProcess sim;
    if (!startSim(sim, {"--restart-ms", "300"}, "apply")) return;
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    auto& core = d.core();
    if (!identify(core, "apply")) return;
    constexpr double kReply = 21, kFlowFloor = kReply + 2000 + 1000 + kReply + 500, kSteps = 6000;
    double worst = 0;
    for (int r = 0; r < runs; ++r) {
        QTest::qWait(300);
        QElapsedTimer t;
        qint64 refreshAt = -1, connectingAt = -1;
        int a = core.serviceMode.cmdRefreshNextController.listen([&] {
            if (refreshAt < 0 && core.serviceMode.cmdRefreshNextController.enabled()) refreshAt = t.elapsed();
        });
        int b = core.progress.lblCurrentINFO.listen([&] {
            if (connectingAt < 0 && core.progress.lblCurrentINFO.caption() == " CONNECTING.... Please Wait")
                connectingAt = t.elapsed();
        });
        t.start();
        core.bulkWrite.cdmSetParams.click();
        bool ok = waitUntil([&] { return connectingAt >= 0 && core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; },
                            30000);
        qint64 total = t.elapsed();
        core.serviceMode.cmdRefreshNextController.unlisten(a);
        core.progress.lblCurrentINFO.unlisten(b);
        if (!ok || refreshAt < 0) {
            std::printf("apply: no \" CONNECTED..OK\" after APPLY PARAMS within 30 s\n");
            break;
        }
        double phase = static_cast<double>(connectingAt - refreshAt);
        double floor = kFlowFloor + phase + kSteps;
        double overhead = static_cast<double>(total) - floor;
        worst = std::max(worst, overhead / floor * 100);
        std::printf("apply: APPLY PARAMS to \" CONNECTED..OK\" %lld ms; refresh at %lld ms against a floor of "
                    "%.0f ms; timer phase %.0f ms; floor in all %.0f ms: overhead %.0f ms (%.2f %%)\n",
                    static_cast<long long>(total), static_cast<long long>(refreshAt), kFlowFloor, phase, floor,
                    overhead, overhead / floor * 100);
    }
    std::printf("apply: worst overhead %.2f %% (goal under 1 %%)\n", worst);
    sim.terminate();
    sim.waitForFinished();
}

// A batch on kv5x-sim's production line: the scan's Enter starts the
// automatic setting, whose four steps go at 1, 2, 3 and 5 s; APPLY PARAMS
// then takes the same floor as above.
void batchFigures(int runs) {
    QProcess sim;
    if (!startSim(sim, {"--restart-ms", "300", "--line", QString::number(runs + 1), "--auto-swap"}, "batch")) return;
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    auto& core = d.core();
    if (!identify(core, "batch")) return;
    constexpr double kReply = 21, kAuto = 5000, kFlowFloor = kReply + 2000 + 1000 + kReply + 500, kSteps = 6000;
    core.customers.cboCLientList.choose(1);
    core.identityWrite.txtSetCounter.setText(std::to_string(runs));
    core.identityWrite.cmdSetCounter.click();
    QWidget* field = d.setAssetView()->findChild<QWidget*>("txtScannedAsset");
    double worst = 0;
    for (int r = 0; r < runs; ++r) {
        if (!waitUntil([&] { return QApplication::focusWidget() == field; }, 30000)) {
            std::printf("batch: the scan field did not come back\n");
            break;
        }
        QTest::keyClicks(field, QString("KV-%1").arg(2001 + r));
        QElapsedTimer t;
        qint64 refreshAt = -1, connectingAt = -1;
        int a = core.serviceMode.cmdRefreshNextController.listen([&] {
            if (refreshAt < 0 && core.serviceMode.cmdRefreshNextController.enabled()) refreshAt = t.elapsed();
        });
        int b = core.progress.lblCurrentINFO.listen([&] {
            if (connectingAt < 0 && core.progress.lblCurrentINFO.caption() == " CONNECTING.... Please Wait")
                connectingAt = t.elapsed();
        });
        t.start();
        QTest::keyClick(field, Qt::Key_Return);
        bool ok = waitUntil(
            [&] { return connectingAt >= 0 && core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; }, 40000);
        qint64 total = t.elapsed();
        core.serviceMode.cmdRefreshNextController.unlisten(a);
        core.progress.lblCurrentINFO.unlisten(b);
        if (!ok || refreshAt < 0) {
            std::printf("batch: no \" CONNECTED..OK\" after the scan within 40 s\n");
            break;
        }
        double phase = static_cast<double>(connectingAt - refreshAt);
        double floor = kAuto + kFlowFloor + phase + kSteps;
        double overhead = static_cast<double>(total) - floor;
        worst = std::max(worst, overhead / floor * 100);
        std::printf("batch: controller %d, Enter of the scan to \" CONNECTED..OK\" %lld ms against a floor of "
                    "%.0f ms (%.0f ms of automatic setting, %.0f ms of APPLY PARAMS, timer phase %.0f ms, %.0f ms "
                    "of steps): overhead %.0f ms (%.2f %%)\n",
                    r + 1, static_cast<long long>(total), floor, kAuto, kFlowFloor, phase, kSteps, overhead,
                    overhead / floor * 100);
    }
    std::printf("batch: worst overhead %.2f %% (goal under 1 %%)\n", worst);
    sim.terminate();
    sim.waitForFinished();
}

// A replugged adapter: the simulator stopped and started again on the same
// link. From the device's return the floor is the reopen watch (up to
// 500 ms), the sequence timer's phase and its six steps of 1000 ms.
void replugFigures(int runs) {
    auto sim = std::make_unique<QProcess>();
    if (!startSim(*sim, {}, "replug")) return;
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    auto& core = d.core();
    if (!identify(core, "replug")) return;
    for (int r = 0; r < runs; ++r) {
        sim->terminate();
        sim->waitForFinished();
        if (!waitUntil([&] { return core.indicators.lblOpen.caption() == "Closed"; }, 5000)) break;
        sim = std::make_unique<QProcess>();
        QElapsedTimer t;
        qint64 reopenedAt = -1, connectingAt = -1;
        int a = core.session.listen([&](kv::link::PortSession::Event e) {
            if (e == kv::link::PortSession::Event::Reopened && reopenedAt < 0) reopenedAt = t.elapsed();
        });
        int b = core.progress.lblCurrentINFO.listen([&] {
            if (connectingAt < 0 && core.progress.lblCurrentINFO.caption() == " CONNECTING.... Please Wait")
                connectingAt = t.elapsed();
        });
        if (!startSim(*sim, {}, "replug")) break;
        t.start();  // the link is there: the device is back
        bool ok = waitUntil([&] { return connectingAt >= 0 && core.progress.lblCurrentINFO.caption() == " CONNECTED..OK"; },
                            20000);
        qint64 total = t.elapsed();
        core.session.unlisten(a);
        core.progress.lblCurrentINFO.unlisten(b);
        if (!ok || reopenedAt < 0) {
            std::printf("replug: not identified again within 20 s\n");
            break;
        }
        double floor = std::min<double>(reopenedAt, kv::link::PortSession::kWatchMs) + double(connectingAt - reopenedAt) + 6000;
        std::printf("replug: device back to \" CONNECTED..OK\" %lld ms: reopened after %lld ms (watch every %d ms), "
                    "timer phase %lld ms, floor %.0f ms: overhead %.0f ms (%.2f %%)\n",
                    static_cast<long long>(total), static_cast<long long>(reopenedAt), kv::link::PortSession::kWatchMs,
                    static_cast<long long>(connectingAt - reopenedAt), floor, double(total) - floor,
                    (double(total) - floor) / floor * 100);
    }
    sim->terminate();
    sim->waitForFinished();
}

double monotonicMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Start-up to the port dialog on screen, in fresh processes of this program:
// the dashboard against a bare main window with a dialog of a list and two
// buttons (both load the font database).
void startupFigures(const char* self, int runs) {
    // A child prints the times of its entry and of the dialog painted on
    // the system's monotonic clock, which the parent shares: from the
    // process's start is loading included, as a technician waits for it.
    struct Start {
        double dialogFromEntry, dialogFromStart, mainFromEntry;
    };
    // One start into `starts`; a child that printed no times is left out.
    auto run = [&](const char* which, std::vector<Start>& starts) {
        QProcess child;
        double started = monotonicMs();
        child.start(self, {"--startup-child", which});
        child.waitForFinished(20000);
        QStringList f = QString::fromLatin1(child.readAllStandardOutput()).split(' ');
        if (f.size() < 3) return;
        double entry = f[0].toDouble(), dialog = f[1].toDouble(), main = f[2].toDouble();
        starts.push_back({dialog - entry, dialog - started, main - entry});
    };
    auto median = [](std::vector<Start> s, double Start::*field) {
        if (s.empty()) return 0.0;
        std::sort(s.begin(), s.end(), [field](const Start& a, const Start& b) { return a.*field < b.*field; });
        return s[s.size() / 2].*field;
    };
    // Taken in turns, so that a slow spell of the machine weighs on both.
    std::vector<Start> bare, dashboard;
    for (int r = 0; r < runs; ++r) {
        run("bare", bare);
        run("dashboard", dashboard);
    }
    for (auto [field, what] : {std::pair{&Start::dialogFromStart, "from the process's start"},
                               std::pair{&Start::dialogFromEntry, "from the program's entry"}}) {
        double b = median(bare, field), d = median(dashboard, field);
        std::printf("start-up (%s): to the port dialog %.1f ms, a bare window with a dialog %.1f ms: %.2f times "
                    "(goal at most 1.3)\n",
                    what, d, b, d / b);
    }
    std::printf("start-up: the main window's controls painted %.1f ms from the program's entry\n",
                median(dashboard, &Start::mainFromEntry));
}

// Notes when a dialog, and the main window's controls, have first been
// painted: a window's paint pass (every widget of it drawn and handed to the
// screen) ends before the event loop takes the next posted call.
class FirstPaints : public QObject {
public:
    double dialog = -1, controls = -1;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (e->type() != QEvent::Paint || !w) return false;
        bool inDialog = w->window()->windowType() == Qt::Dialog;
        // A control: a widget two or more levels below the main window.
        bool control = !inDialog && w->parentWidget() && w->parentWidget()->parentWidget();
        note(inDialog, dialog, dialogSeen_);
        note(control, controls, controlsSeen_);
        return false;
    }

private:
    void note(bool now, double& at, bool& seen) {
        if (!now || seen) return;
        seen = true;
        QTimer::singleShot(0, this, [&at] { at = monotonicMs(); });
    }
    bool dialogSeen_ = false, controlsSeen_ = false;
};

// One start in a child process: prints the monotonic times of its entry, of
// its dialog painted and of its main window's controls painted.
int startupChild(int argc, char** argv, const std::string& which) {
    double entry = monotonicMs();
    QApplication app(argc, argv);
    kv::desktop::applyProgramSettings();
    FirstPaints painted;
    app.installEventFilter(&painted);
    auto settle = [&](QWidget* dialog, bool controls) {
        (void)QTest::qWaitForWindowExposed(dialog);
        if (!QTest::qWaitFor([&] { return painted.dialog >= 0 && (!controls || painted.controls >= 0); }, 5000))
            return;
        std::printf("%.3f %.3f %.3f", entry, painted.dialog, controls ? painted.controls : painted.dialog);
        std::fflush(stdout);
    };
    if (which == "bare") {
        QMainWindow main;
        main.resize(1120, 640);
        main.show();
        // A dialog as small programs have one: a list and two buttons.
        QDialog dialog(&main);
        dialog.resize(300, 130);
        auto* list = new QComboBox(&dialog);
        list->addItem("<none>");
        list->setGeometry(10, 26, 160, 26);
        (new QPushButton("OK", &dialog))->setGeometry(198, 10, 92, 30);
        (new QPushButton("Cancel", &dialog))->setGeometry(198, 46, 92, 30);
        dialog.show();
        settle(&dialog, false);
        return 0;
    }
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    settle(d.startupView(), true);
    return 0;
}

void terminalFigures(int seconds, bool terminalVisible) {
    int master = -1, slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("terminal: no pseudo-terminal\n");
        return;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    QString link = kv::ports::PortMap::portsFolder() + "/COM10";
    QDir().mkpath(kv::ports::PortMap::portsFolder());
    QFile::remove(link);
    QFile::link(name, link);

    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    auto& core = d.core();
    core.startup.cmdOK.click();
    core.sequence.tmrLoopBack.setEnabled(false);  // only the feed talks
    core.receive.txtTerminal.setVisible(terminalVisible);
    QTest::qWait(200);

    std::atomic<bool> stop{false};
    std::atomic<long> fed{0};
    std::thread feeder([&] {
        std::mt19937 random(7);
        unsigned char slice[115];
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            for (auto& b : slice) b = static_cast<unsigned char>(random());
            if (::write(master, slice, sizeof slice) > 0) fed += sizeof slice;
            next += std::chrono::milliseconds(10);  // 11 500 bytes a second
            std::this_thread::sleep_until(next);
        }
    });
    // Drain what the dashboard writes, so nothing blocks.
    std::thread drain([&] {
        char buf[256];
        while (!stop) {
            fcntl(master, F_SETFL, O_NONBLOCK);
            if (::read(master, buf, sizeof buf) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    double cpu0 = threadCpuSeconds();
    QTest::qWait(seconds * 1000);
    stop = true;
    feeder.join();
    drain.join();
    QTest::qWait(200);
    double cpu = threadCpuSeconds() - cpu0;
    double mb = static_cast<double>(fed) / 1e6;
    std::printf("terminal (%s): %.2f MB fed at line rate in %d s, window thread %.3f CPU s: %.2f CPU s per MB "
                "(goal at most 2)\n",
                terminalVisible ? "shown" : "hidden, as designed", mb, seconds, cpu, cpu / mb);
    ::close(slave);
    ::close(master);
    QFile::remove(link);
}

}  // namespace

int main(int argc, char** argv) {
    static kv::test::TempDir home;
    if (argc > 1 && std::string(argv[1]) == "--startup") {
        setenv("HOME", home.path().c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        startupFigures(argv[0], argc > 2 ? std::atoi(argv[2]) : 7);
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "--batch") {
        setenv("HOME", home.path().c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        QApplication::setApplicationName(kv::platform::kAppTitle);
        batchFigures(argc > 2 ? std::atoi(argv[2]) : 3);
        return 0;
    }
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc > 2 && std::string(argv[1]) == "--startup-child") return startupChild(argc, argv, argv[2]);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kv::platform::kAppTitle);
    int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    probeFigures();
    connectFigures();
    applyFigures(3);
    batchFigures(3);
    replugFigures(3);
    startupFigures(argv[0], 7);
    terminalFigures(seconds, false);
    terminalFigures(seconds, true);
    return 0;
}
