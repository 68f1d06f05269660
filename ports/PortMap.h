#pragma once
// Port numbers to devices. Port n is the device named by the link COM<n> in
// the per-user folder ports/ of the application's data location when that
// link exists; otherwise a fixed table:
//   COM1-COM8   /dev/ttyS0-7
//   COM9-COM20  /dev/ttyUSB0-11
//   COM21-COM32 /dev/ttyACM0-11
// On Windows port n is COM<n>.
#include <QString>

namespace kv::ports {

class PortMap {
public:
    // ~/.local/share/KV53_Varkel_Comms/ports
    static QString portsFolder();
    static QString defaultDevice(int portNumber);
    // The path to open for a port number, empty when there is none.
    static QString device(int portNumber);
};

}  // namespace kv::ports
