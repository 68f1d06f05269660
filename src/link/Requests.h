#pragma once
// The protocol's requests in one table: each kind's command code, its name,
// the reply kinds its handler announces, and the step of an identification
// that its reply ends. The flows read it to know which reply answers which
// step; the simulator reads it to know which requests a controller answers.
// A new kind of request is a code, a reply kind and a row here, its handler
// in the part that sends it, and its answer in the simulator.
#include <cstdint>
#include <optional>

#include "platform/Listeners.h"

namespace kv::link {

// Command codes; a reply repeats the code of the request it answers.
enum Command : std::uint8_t {
    cmdFwVersion = 0x01,
    cmdStatus = 0x02,
    cmdConfig = 0x05,
    cmdReadParams = 0x06,
    cmdWriteParams = 0x07,
    cmdServiceMode = 0x08,
    cmdChecksum = 0x0A,
    cmdClient = 0x15,
    cmdAsset = 0x16,
    cmdMac = 0x18,
    cmdClearScreen = 0xFF,
};

// Which reply a handler has just dealt with. Handlers only say what arrived;
// each flow decides what the reply means for the step it waits in.
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

// The steps of an identification, by the request each sends; the last two
// end it.
enum class IdentifyStep : std::int16_t { Firmware, Checksum, Params, Mac, Client, Asset, Connected, Finished };

struct Request {
    Command code;
    const char* name;
    // What the handler of its reply says it dealt with (at most two kinds).
    std::optional<Reply> answer, alsoAnswer;
    // The identification step whose wait its reply ends; none: no step.
    std::optional<IdentifyStep> ends;
};

inline constexpr Request kRequests[] = {
    {cmdFwVersion, "firmware", Reply::FwVersion, Reply::FwVersionSupported, IdentifyStep::Firmware},
    // The status reply ends the checksum step too, as the configuration's does.
    {cmdStatus, "status", Reply::Status, std::nullopt, IdentifyStep::Checksum},
    {cmdConfig, "configuration", Reply::Config, std::nullopt, IdentifyStep::Checksum},
    {cmdReadParams, "parameter read", Reply::Params, std::nullopt, IdentifyStep::Params},
    {cmdWriteParams, "parameter write", Reply::ParamAck, std::nullopt, std::nullopt},
    {cmdServiceMode, "service mode", Reply::ServiceMode, std::nullopt, std::nullopt},
    {cmdChecksum, "checksum", Reply::Checksum, std::nullopt, IdentifyStep::Checksum},
    {cmdClient, "client", Reply::Client, std::nullopt, IdentifyStep::Client},
    {cmdAsset, "asset", Reply::Asset, std::nullopt, IdentifyStep::Asset},
    {cmdMac, "MAC", Reply::Mac, std::nullopt, IdentifyStep::Mac},
    {cmdClearScreen, "clear screen", std::nullopt, std::nullopt, std::nullopt},
};

// The row of `code`; nullptr for a code that is no request.
constexpr const Request* requestFor(std::uint8_t code) {
    for (const Request& r : kRequests)
        if (r.code == code) return &r;
    return nullptr;
}

// The identification step a reply kind ends; none for a reply that ends none.
constexpr std::optional<IdentifyStep> stepEndedBy(Reply reply) {
    for (const Request& r : kRequests)
        if (r.answer == reply || r.alsoAnswer == reply) return r.ends;
    return std::nullopt;
}

}  // namespace kv::link
