#pragma once
// The protocol's requests in one table: each kind's command code, its name,
// the reply kinds its handler announces, the step of an identification that
// its reply ends, the frame of its plain query, and how long a flow waits for
// its reply. The flows read it to know which reply answers which step and how
// long to wait; the owners build their queries with it; the simulator reads it
// to know which requests a controller answers.
// A new kind of request is a code, a reply kind and a row here (with its
// builder and its wait), its handler and its send in the part that owns it,
// and its answer in the simulator.
//
// Pacing is not here: the same request goes at the interval of the flow that
// sends it (identification ticks every second, which also runs the clock
// label; the automatic setting every second, every two while the parameter
// reply is awaited; the bulk write every 100 ms), so a wait is counted in the
// ticks of the flow that waits.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "link/Profile.h"
#include "platform/Listeners.h"
#include "platform/SerialPort.h"

namespace kv::link {

using platform::Bytes;

constexpr std::uint8_t kListEnd = 0x99;

// code, 01, payload size, payload
Bytes requestFrame(std::uint8_t code, const Bytes& payload);

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

// How long a flow waits for a reply, and what it does when none has come.
// The flow acts at the first tick its count of ticks without the reply is
// above `ticks`; identification and the automatic setting count a tick after
// checking it (a request goes again at the seventh tick), the bulk write
// before (a frame is given up at the fifth).
struct Wait {
    enum Then : std::uint8_t {
        Untimed,  // no flow counts ticks for it: awaited, if at all, until it comes
        Resend,   // the request is sent again
        GiveUp,   // the flow goes on without the reply
    };
    std::int16_t ticks;
    Then then;
};
inline constexpr Wait kUntimed{0, Wait::Untimed};

// A plain query whose payload is one byte.
template <Command code, std::uint8_t argument = 0x00>
Bytes oneByteQuery(const Profile&) {
    return requestFrame(code, {argument});
}

struct Request {
    Command code;
    const char* name;
    // What the handler of its reply says it dealt with (at most two kinds).
    std::optional<Reply> answer, alsoAnswer;
    // The identification step whose wait its reply ends; none: no step.
    std::optional<IdentifyStep> ends;
    // Its frame for a controller of the model; nullptr for a request whose
    // frame carries the sender's data (its builder is in Frames.h).
    Bytes (*query)(const Profile& model);
    Wait wait;
};

inline constexpr Request kRequests[] = {
    {cmdFwVersion, "firmware", Reply::FwVersion, Reply::FwVersionSupported, IdentifyStep::Firmware,
     oneByteQuery<cmdFwVersion>, {5, Wait::Resend}},
    {cmdChecksum, "checksum", Reply::Checksum, std::nullopt, IdentifyStep::Checksum, oneByteQuery<cmdChecksum>,
     {5, Wait::Resend}},
    // The status reply ends the checksum step too, as the configuration's does.
    {cmdStatus, "status", Reply::Status, std::nullopt, IdentifyStep::Checksum, oneByteQuery<cmdStatus>, kUntimed},
    // No payload, yet four bytes: 05 01 00 00.
    {cmdConfig, "configuration", Reply::Config, std::nullopt, IdentifyStep::Checksum,
     [](const Profile&) -> Bytes { return {cmdConfig, 0x01, 0x00, 0x00}; }, kUntimed},
    // Every parameter of the model, 1 to its count, then the list end.
    {cmdReadParams, "parameter read", Reply::Params, std::nullopt, IdentifyStep::Params,
     [](const Profile& model) {
         Bytes numbers;
         for (int n = 1; n <= model.params; ++n) numbers.push_back(static_cast<std::uint8_t>(n));
         numbers.push_back(kListEnd);
         numbers.push_back(kListEnd);
         return requestFrame(cmdReadParams, numbers);
     },
     {5, Wait::Resend}},
    {cmdWriteParams, "parameter write", Reply::ParamAck, std::nullopt, std::nullopt, nullptr, {4, Wait::GiveUp}},
    {cmdServiceMode, "service mode", Reply::ServiceMode, std::nullopt, std::nullopt, nullptr, kUntimed},
    {cmdClient, "client", Reply::Client, std::nullopt, IdentifyStep::Client, oneByteQuery<cmdClient>,
     {5, Wait::Resend}},
    {cmdAsset, "asset", Reply::Asset, std::nullopt, IdentifyStep::Asset, oneByteQuery<cmdAsset>, {5, Wait::Resend}},
    {cmdMac, "MAC", Reply::Mac, std::nullopt, IdentifyStep::Mac, oneByteQuery<cmdMac>, {5, Wait::Resend}},
    {cmdClearScreen, "clear screen", std::nullopt, std::nullopt, std::nullopt, oneByteQuery<cmdClearScreen, 0x02>,
     kUntimed},
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

// The row of `code`, for constant expressions: a code that is no request
// does not compile. (Lookups that compare addresses with null are not
// constant under every sanitizer, so these return references.)
constexpr const Request& row(Command code) {
    for (const Request& r : kRequests)
        if (r.code == code) return r;
    throw std::logic_error("no such request");
}

// The row of the request an identification step sends; a step that sends
// none does not compile.
constexpr const Request& rowOf(IdentifyStep step) {
    for (const Request& r : kRequests)
        if (r.ends == step) return r;
    throw std::logic_error("a step that sends no request");
}

// The frame of the plain query `code` for a controller of `model`.
template <Command code>
Bytes query(const Profile& model) {
    Bytes (*build)(const Profile&) = row(code).query;
    if (!build) throw std::logic_error(std::string("the ") + row(code).name + " request's frame carries data");
    return build(model);
}

}  // namespace kv::link
