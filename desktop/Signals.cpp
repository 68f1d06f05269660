#include "desktop/Signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QMainWindow>
#include <QSocketNotifier>
#include <QtGlobal>
#include <cerrno>
#include <csignal>

#include "desktop/Dashboard.h"

namespace kv::desktop {

namespace {

// [0]: written by the handler, [1]: read in the event loop. Made once and
// never closed: a signal that comes while the program ends still has
// somewhere to write.
int ends[2] = {-1, -1};

// Only async-signal-safe calls here. Both ends are non-blocking: when the
// socket is full, a close is waiting already and the byte is not needed.
void onSignal(int sig) {
    const int saved = errno;
    const char byte = static_cast<char>(sig);
    const ssize_t written = ::write(ends[0], &byte, 1);
    (void)written;
    errno = saved;
}

bool makeEnds() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0) return true;
    qWarning("No socket pair for the signal handlers: SIGTERM, SIGHUP and SIGINT end the program at once");
    return false;
}

}  // namespace

void closeOnSignals(Dashboard& dashboard) {
    static const bool made = makeEnds();
    if (!made) return;
    Q_ASSERT(dashboard.mainWindow());
    // The main window owns the notifier: it goes before the core does.
    auto* notifier = new QSocketNotifier(ends[1], QSocketNotifier::Read, dashboard.mainWindow());
    app::frmMain& core = dashboard.core();
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&core] {
        char bytes[32];
        while (::read(ends[1], bytes, sizeof bytes) > 0) {
        }
        core.CloseNow();  // does nothing once closed
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &action, nullptr);
}

}  // namespace kv::desktop
