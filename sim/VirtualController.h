#pragma once
// A virtual KV53 controller: it reads request frames from a byte stream and
// answers them the way the dashboard expects, keeping what is written to it.
// Failure modes (silence, late answers, odd chunking) are set per instance.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Profile.h"

namespace kv::sim {

using Bytes = std::vector<std::uint8_t>;

// Raw values of the parameters, from number 1: one per parameter of the
// controller's model.
using Params = std::vector<std::uint16_t>;

// The factory values of a KV53's parameters: the defaults of the shipped
// parameter definitions.
inline const Params kFactoryParams{
    440, 420, 700, 100, 400, 400, 400, 410, 430, 550,  //
    700, 480, 700, 480, 1,   700, 420, 0,   0,   1,    //
    500, 450, 500, 500, 420, 550, 420, 2,   450, 1,    //
    0,   380, 410, 1,   1,   0,   1,   1,   53};

struct ControllerState {
    // Firmware: three characters, the third 'b' on a supported controller,
    // then three version numbers.
    std::string fwText = "K5b";
    std::array<std::uint8_t, 3> fwNumbers{1, 6, 2};
    bool shortFirmware = false;  // answers "DEV" style: the three numbers only
    std::uint16_t checksum = 0x1A2B;
    // The configuration reply's payload; empty: ten bytes of name, a zero, ten
    // more bytes, the checksum low byte first, and three more.
    Bytes config;
    std::string mac = "0004A3B1C2D3";
    std::string client = "005";
    std::string asset = "A1234";
    // Status: outputs 1 and 2, light, heater, door; three temperatures as raw
    // 16-bit readings (300 = 0.0 degrees, a low byte of 0 is invalid).
    std::array<bool, 4> outputs{true, false, true, false};
    bool doorOpen = false;
    std::array<std::uint16_t, 3> temperatures{555, 420, 250};
    Params params{};
    bool serviceMode = false;
};

// How replies are cut into the pieces that reach the port.
struct Chunking {
    enum Kind { Whole, ByteByByte, SplitAt } kind = Whole;
    std::size_t position = 0;  // SplitAt: the first piece has this many bytes
};

struct FailureModes {
    bool silent = false;           // never answers
    int replyDelayMs = 20;         // from the end of a request to its reply
    Chunking chunking;
    bool doubleReply = false;      // every reply is followed, in the same piece, by a status reply
    int answerOnRepeat = 1;        // answers a request only when it came this many times in a row
    int restartMs = 2000;          // deaf for this long after leaving service mode
    // The n-th parameter-write frame since entering service mode (counted
    // from 1) is stored but gets no acknowledgement; 0: never.
    int loseAckForFrame = 0;
    // Parameter writes outside service mode are acknowledged but not stored,
    // as some firmware does.
    bool storeOnlyInServiceMode = false;
    // Client sets are answered with the client it holds, as a get is, but
    // the new client is not kept.
    bool storeClient = true;
    // A parameter read is answered with only its first N values and the list
    // end, as an older firmware does; 0: every value asked for.
    int shortRead = 0;
};

struct Piece {
    int delayMs;  // after the request
    Bytes bytes;
};

class VirtualController {
public:
    VirtualController();

    ControllerState state;
    FailureModes modes;

    // The model it is: a KV53 unless another is used.
    const link::Profile& profile() const { return *profile_; }
    // Makes it a controller of `model`: its parameters the model's count,
    // those a KV53 also has keeping their factory values, the rest 0.
    void useProfile(const link::Profile& model);

    // Feeds bytes from the line at time `nowMs`; returns the pieces of the
    // replies to every request completed by them, with their delays.
    std::vector<Piece> receive(const Bytes& bytes, std::int64_t nowMs);

    // The reply to one request frame, or nothing for requests it ignores.
    std::optional<Bytes> answer(const Bytes& request, std::int64_t nowMs);

    // Every parameter triple the controller took in, in order.
    struct ParamWriteRecord {
        std::uint8_t number;   // parameter number as sent
        std::uint16_t value;   // high byte * 256 + low byte
        bool inServiceMode;    // the controller was in service mode when the frame came
        bool stored;           // the value was kept (false: refused, or no such parameter)
    };
    std::vector<ParamWriteRecord> paramWrites;
    int paramFramesSinceService = 0;  // command 7 frames since the last enter-service-mode request

    // Every request frame seen and every reply given, for printing.
    struct Exchange {
        Bytes request;
        std::optional<Bytes> reply;
        // A parameter-write frame the controller took in (acknowledged or
        // not): the parameter values after it and its triples in paramWrites.
        std::optional<Params> paramsAfter;
        std::size_t firstWrite = 0;
        std::size_t writeCount = 0;
    };
    std::vector<Exchange> exchanges;

private:
    const link::Profile* profile_ = &link::kKV53;
    // A parameter of its model, with a value held.
    bool holds(int number) const {
        return profile_->holds(number) && std::size_t(number) <= state.params.size();
    }

public:

    Bytes statusReply() const;

    // Called by receive() for every request that got a reply, once the reply
    // has been cut into pieces: what it is told can no longer change the
    // reply. `reply` is the answer alone, without the status reply doubleReply
    // adds.
    std::function<void(const Bytes& request, const Bytes& reply)> onAnswered;
    // Called by receive() for every whole request before it is answered.
    std::function<void(const Bytes& request)> onRequest;

    // Forgets what only lives while the controller is powered and connected:
    // service mode, the deafness of a restart, the count of repeated
    // requests and a half-received request. Another controller connected in
    // its place starts like this.
    void resetTransient();

private:
    std::vector<Piece> cut(const Bytes& reply) const;

    // The answer to one kind of request (nothing: left unanswered); none for
    // a code that is no request.
    using Answer = std::optional<Bytes> (*)(VirtualController& c, const Bytes& request, std::int64_t nowMs);
    static Answer answerFor(std::uint8_t code);

    Bytes pending_;
    std::int64_t lastByteMs_ = 0;
    Bytes lastRequest_;
    int repeats_ = 0;
    std::int64_t deafUntilMs_ = -1;
    std::uint64_t writeFramesTaken_ = 0;  // every parameter-write frame taken in
};

// The longest asset a reply carries: the asset and two zero bytes must fit a
// payload of at most 255 bytes (one length byte).
inline constexpr std::size_t kMaxAssetLength = 253;

// " 01 02 FF"
std::string hexText(const Bytes& bytes);

}  // namespace kv::sim
