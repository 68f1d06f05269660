// KV53_Varkel_Comms: the KV5x provisioning dashboard.
#include <QApplication>

#include "desktop/Dashboard.h"
#include "desktop/Signals.h"
#include "platform/Desktop.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kv::desktop::applyProgramSettings();
    kv::desktop::Dashboard dashboard;
    dashboard.start();
    kv::desktop::closeOnSignals(dashboard);
    int rc = QApplication::exec();
    dashboard.core().Form_Terminate();
    return rc;
}
