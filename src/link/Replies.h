#pragma once
// Which reply a handler has just dealt with. Handlers only say what arrived;
// each flow keeps its own step numbers and decides what the reply means for
// the step it waits in.
#include <cstdint>

#include "platform/Listeners.h"

namespace kv::link {

enum class Reply : std::uint8_t {
    FwVersion,           // a controller that does not identify as supported
    FwVersionSupported,  // a supported controller (third character 'b')
    Checksum,
    Config,
    Status,
    Params,
    ParamAck,            // a parameter write was acknowledged
    Mac,
    Client,
    Asset,
    ServiceMode,
    // SET ASSET and SET CLIENT finding nothing to send: no reply will come,
    // so they acknowledge a waiting flow themselves.
    AssetNotSent,
    ClientNotSent,
};

using ReplyListeners = platform::Listeners<Reply>;

}  // namespace kv::link
