#include "ports/PortMap.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kv::ports {

QString PortMap::portsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/ports";
}

QString PortMap::defaultDevice(int n) {
#if defined(Q_OS_WIN)
    return QString("COM%1").arg(n);
#else
    if (n >= 1 && n <= 8) return QString("/dev/ttyS%1").arg(n - 1);
    if (n >= 9 && n <= 20) return QString("/dev/ttyUSB%1").arg(n - 9);
    if (n >= 21 && n <= 32) return QString("/dev/ttyACM%1").arg(n - 21);
    return {};
#endif
}

QString PortMap::device(int n) {
#if !defined(Q_OS_WIN)
    QString link = portsFolder() + QString("/COM%1").arg(n);
    QFileInfo info(link);
    if (info.isSymLink() || info.exists()) return link;
#endif
    return defaultDevice(n);
}

}  // namespace kv::ports
