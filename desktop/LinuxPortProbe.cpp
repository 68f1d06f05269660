#include "desktop/LinuxPortProbe.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "ports/PortMap.h"

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kv::desktop {

platform::PortState LinuxPortProbe::fromOpenError(int error) {
#if defined(Q_OS_LINUX)
    switch (error) {
        case EBUSY: return platform::PortState::Held;
        case EACCES:
        case EPERM: return platform::PortState::PermissionDenied;
        default: return platform::PortState::Absent;
    }
#else
    (void)error;
    return platform::PortState::Absent;
#endif
}

bool LinuxPortProbe::lockedByAnother(const QString& path) {
#if defined(Q_OS_LINUX)
    // UUCP-style lock files, as serial programs leave them: named after the
    // device, or (as QSerialPort does) after its path without "/dev/" and
    // with "/" as "_", so a port opened through a link is found as well.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    auto qtName = [](QString p) {
        if (p.startsWith("/dev/")) p.remove(0, 5);
        return p.replace('/', '_');
    };
    const QString names[] = {QFileInfo(path).fileName(), QFileInfo(canonical).fileName(), qtName(path),
                             qtName(canonical)};
    const char* folders[] = {"/run/lock",        "/var/lock", "/var/lock/lockdev", "/etc/locks",
                             "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp"};
    for (const QString& name : names) {
        if (name.isEmpty()) continue;
        for (const char* folder : folders) {
            QFile lock(QString("%1/LCK..%2").arg(folder, name));
            if (!lock.open(QIODevice::ReadOnly)) continue;
            bool ok = false;
            qint64 pid = QString::fromLatin1(lock.read(64)).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)
                             .value(0)
                             .toLongLong(&ok);
            if (ok && pid > 0 && pid != getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
                return true;
        }
    }
#else
    (void)path;
#endif
    return false;
}

platform::PortState LinuxPortProbe::probe(int portNumber) {
#if defined(Q_OS_LINUX)
    const QString path = ports::PortMap::device(portNumber);
    if (path.isEmpty()) return platform::PortState::Absent;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISCHR(st.st_mode)) return platform::PortState::Absent;
    if (lockedByAnother(path)) return platform::PortState::Held;
    int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fromOpenError(errno);
    platform::PortState state = platform::PortState::Free;
    serial_struct serial{};
    // The 8250 driver offers /dev/ttyS* whether or not a UART is behind them.
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) state = platform::PortState::Absent;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) state = platform::PortState::Held;
    ::close(fd);
    return state;
#else
    (void)portNumber;
    return platform::PortState::Absent;
#endif
}

}  // namespace kv::desktop
