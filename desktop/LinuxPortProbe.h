#pragma once
// Tells free, held and absent serial devices apart on Linux, through the same
// port-number mapping the port itself uses.
#include <QString>

#include "platform/PortProbe.h"

namespace kv::desktop {

class LinuxPortProbe : public platform::PortProbe {
public:
    platform::PortState probe(int portNumber) override;

    // The state an open() refused with this errno means.
    static platform::PortState fromOpenError(int error);
    // A lock file of another live process names this device.
    static bool lockedByAnother(const QString& path);
};

}  // namespace kv::desktop
