#pragma once
// Tells, for a port number, whether its device can be opened right now.

namespace kv::platform {

enum class PortState {
    Free,              // can be opened
    Held,              // opened or locked by another program
    PermissionDenied,  // exists, but this user may not open it
    Absent,            // no such device
};

class PortProbe {
public:
    virtual ~PortProbe() = default;
    virtual PortState probe(int portNumber) = 0;
};

}  // namespace kv::platform
