#include "sim/VirtualController.h"

#include <algorithm>
#include <stdexcept>

#include "link/Frames.h"
#include "link/Requests.h"

namespace kv::sim {

namespace {

// Bytes of a half-received request are dropped after this long a pause.
constexpr std::int64_t kInterByteTimeoutMs = 500;

bool known(std::uint8_t code) { return link::requestFor(code) != nullptr; }

// Replies have the requests' frame: code, 01, length, payload. The length is
// one byte: what sets the controller's state keeps payloads within it, and a
// state that does not is refused here rather than sent with a wrong length.
Bytes frame(std::uint8_t code, const Bytes& payload) {
    if (payload.size() > 255) throw std::length_error("a reply payload of more than 255 bytes");
    return link::requestFrame(code, payload);
}

void appendText(Bytes& out, const std::string& text) {
    for (char c : text) out.push_back(static_cast<std::uint8_t>(c));
}

}  // namespace

std::string hexText(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto b : bytes) {
        s += ' ';
        s += digits[b >> 4];
        s += digits[b & 0x0F];
    }
    return s;
}

VirtualController::VirtualController() {
    state.params = kFactoryParams;
    // Every request the dashboard can send has its answer here.
    for (const link::Request& r : link::kRequests)
        if (!answerFor(r.code)) throw std::logic_error(std::string("no answer to the ") + r.name + " request");
}

void VirtualController::useProfile(const link::Profile& model) {
    profile_ = &model;
    state.params.resize(static_cast<std::size_t>(model.params), 0);
}

std::vector<Piece> VirtualController::receive(const Bytes& bytes, std::int64_t nowMs) {
    if (!pending_.empty() && nowMs - lastByteMs_ > kInterByteTimeoutMs) pending_.clear();
    lastByteMs_ = nowMs;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());

    std::vector<Piece> out;
    for (;;) {
        // Resynchronise on a known command followed by 0x01.
        while (!pending_.empty() && (!known(pending_[0]) || (pending_.size() > 1 && pending_[1] != 0x01)))
            pending_.erase(pending_.begin());
        if (pending_.size() < 3) break;
        std::size_t length = 3 + pending_[2];
        if (pending_[0] == 0x05 && pending_[2] == 0) length = 4;  // 05 01 00 00
        if (pending_.size() < length) break;
        Bytes request(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));

        if (onRequest) onRequest(request);
        const std::uint64_t framesBefore = writeFramesTaken_;
        const std::size_t writesBefore = paramWrites.size();
        auto reply = answer(request, nowMs);
        Exchange x;
        x.request = request;
        x.reply = reply;
        if (writeFramesTaken_ != framesBefore) {
            x.paramsAfter = state.params;
            x.firstWrite = writesBefore;
            x.writeCount = paramWrites.size() - writesBefore;
        }
        exchanges.push_back(std::move(x));
        if (!reply) continue;
        Bytes sent = *reply;
        if (modes.doubleReply) {
            Bytes extra = statusReply();
            sent.insert(sent.end(), extra.begin(), extra.end());
        }
        for (auto& piece : cut(sent)) out.push_back(std::move(piece));
        if (onAnswered) onAnswered(request, *reply);
    }
    return out;
}

void VirtualController::resetTransient() {
    state.serviceMode = false;
    paramFramesSinceService = 0;
    pending_.clear();
    lastRequest_.clear();
    repeats_ = 0;
    deafUntilMs_ = -1;
}

std::vector<Piece> VirtualController::cut(const Bytes& reply) const {
    int delay = std::max(0, modes.replyDelayMs);
    switch (modes.chunking.kind) {
        case Chunking::ByteByByte: {
            std::vector<Piece> pieces;
            for (std::size_t i = 0; i < reply.size(); ++i)
                pieces.push_back({delay + static_cast<int>(i), Bytes{reply[i]}});
            return pieces;
        }
        case Chunking::SplitAt: {
            std::size_t at = std::min(modes.chunking.position, reply.size());
            if (at == 0 || at == reply.size()) return {{delay, reply}};
            return {{delay, Bytes(reply.begin(), reply.begin() + static_cast<long>(at))},
                    {delay + 1, Bytes(reply.begin() + static_cast<long>(at), reply.end())}};
        }
        case Chunking::Whole: break;
    }
    return {{delay, reply}};
}

std::optional<Bytes> VirtualController::answer(const Bytes& request, std::int64_t nowMs) {
    if (modes.silent || nowMs < deafUntilMs_) return std::nullopt;
    if (request == lastRequest_) ++repeats_;
    else {
        lastRequest_ = request;
        repeats_ = 1;
    }
    if (repeats_ < modes.answerOnRepeat) return std::nullopt;

    const Answer handler = answerFor(request[0]);
    if (!handler) return std::nullopt;
    return handler(*this, request, nowMs);
}

// One answer for each kind of request the dashboard sends.
VirtualController::Answer VirtualController::answerFor(std::uint8_t code) {
    using link::cmdAsset, link::cmdChecksum, link::cmdClearScreen, link::cmdClient, link::cmdConfig;
    using link::cmdFwVersion, link::cmdMac, link::cmdReadParams, link::cmdServiceMode, link::cmdStatus;
    using link::cmdWriteParams;
    using R = std::optional<Bytes>;
    using C = VirtualController;
    static constexpr struct {
        link::Command code;
        Answer answer;
    } kAnswers[] = {
        {cmdFwVersion,
         [](C& c, const Bytes&, std::int64_t) -> R {
             Bytes p;
             if (!c.state.shortFirmware) appendText(p, c.state.fwText.substr(0, 3));
             p.insert(p.end(), c.state.fwNumbers.begin(), c.state.fwNumbers.end());
             if (!c.state.shortFirmware) p.push_back(0x00);
             return frame(cmdFwVersion, p);
         }},
        {cmdStatus, [](C& c, const Bytes&, std::int64_t) -> R { return c.statusReply(); }},
        {cmdConfig,
         [](C& c, const Bytes&, std::int64_t) -> R {
             if (!c.state.config.empty()) return frame(cmdConfig, c.state.config);
             Bytes p;
             appendText(p, "KV53CFG-01");
             p.push_back(0x00);
             appendText(p, "0123456789");
             p.push_back(static_cast<std::uint8_t>(c.state.checksum & 0xFF));
             p.push_back(static_cast<std::uint8_t>(c.state.checksum >> 8));
             appendText(p, "END");
             return frame(cmdConfig, p);
         }},
        {cmdReadParams,
         [](C& c, const Bytes& request, std::int64_t) -> R {
             Bytes p;
             // Two bytes a value and the list end must fit the reply's length
             // byte: a request for more values gets the first 126.
             const std::size_t most = c.modes.shortRead > 0 ? 2 * std::size_t(c.modes.shortRead) : 251;
             for (std::size_t i = 3;
                  i + 1 < request.size() && request[i] != 0x99 && p.size() + 4 <= 255 && p.size() < most; ++i) {
                 std::uint8_t number = request[i];
                 std::uint16_t v = c.holds(number) ? c.state.params[std::size_t(number - 1)] : 0;
                 p.push_back(static_cast<std::uint8_t>(v >> 8));
                 p.push_back(static_cast<std::uint8_t>(v & 0xFF));
             }
             p.push_back(0x99);
             p.push_back(0x99);
             return frame(cmdReadParams, p);
         }},
        {cmdWriteParams,
         [](C& c, const Bytes& request, std::int64_t) -> R {
             const Bytes payload(request.begin() + 3, request.end());
             ++c.writeFramesTaken_;
             ++c.paramFramesSinceService;
             const bool refuse = c.modes.storeOnlyInServiceMode && !c.state.serviceMode;
             // Triples up to the list end 99 99.
             for (std::size_t i = 0; i + 2 < payload.size(); i += 3) {
                 const std::uint8_t number = payload[i];
                 if (number == link::kListEnd && payload[i + 1] == link::kListEnd) break;
                 const auto value = static_cast<std::uint16_t>(payload[i + 1] << 8 | payload[i + 2]);
                 const bool stored = !refuse && c.holds(number);
                 if (stored) c.state.params[std::size_t(number - 1)] = value;
                 c.paramWrites.push_back({number, value, c.state.serviceMode, stored});
             }
             if (c.modes.loseAckForFrame > 0 && c.paramFramesSinceService == c.modes.loseAckForFrame)
                 return std::nullopt;
             return frame(cmdWriteParams, {0x00});
         }},
        {cmdServiceMode,
         [](C& c, const Bytes& request, std::int64_t nowMs) -> R {
             const std::uint8_t first = request.size() > 3 ? request[3] : 0;
             if (first == 0x01) {
                 c.state.serviceMode = true;
                 c.paramFramesSinceService = 0;
             } else {
                 c.state.serviceMode = false;
                 c.deafUntilMs_ = nowMs + c.modes.restartMs;  // leaving service mode restarts it
             }
             return frame(cmdServiceMode, {first});
         }},
        {cmdChecksum,
         [](C& c, const Bytes&, std::int64_t) -> R {
             return frame(cmdChecksum, {static_cast<std::uint8_t>(c.state.checksum >> 8),
                                        static_cast<std::uint8_t>(c.state.checksum & 0xFF)});
         }},
        {cmdClient,
         [](C& c, const Bytes& request, std::int64_t) -> R {
             const Bytes payload(request.begin() + 3, request.end());
             if (!payload.empty() && payload[0] == 0x01 && payload.size() >= 4 && c.modes.storeClient)
                 c.state.client.assign(payload.begin() + 1, payload.begin() + 4);
             Bytes p;
             appendText(p, c.state.client.substr(0, 3));
             return frame(cmdClient, p);
         }},
        {cmdAsset,
         [](C& c, const Bytes& request, std::int64_t) -> R {
             const Bytes payload(request.begin() + 3, request.end());
             if (!payload.empty() && payload[0] == 0x01) c.state.asset.assign(payload.begin() + 1, payload.end());
             Bytes p;
             appendText(p, c.state.asset.substr(0, kMaxAssetLength));
             p.push_back(0x00);
             p.push_back(0x00);
             return frame(cmdAsset, p);
         }},
        {cmdMac,
         [](C& c, const Bytes&, std::int64_t) -> R {
             Bytes p;
             appendText(p, c.state.mac.substr(0, 12));
             return frame(cmdMac, p);
         }},
        {cmdClearScreen, [](C&, const Bytes&, std::int64_t) -> R { return frame(cmdClearScreen, {0x00}); }},
    };
    for (const auto& a : kAnswers)
        if (a.code == code) return a.answer;
    return nullptr;
}

Bytes VirtualController::statusReply() const {
    Bytes p(14, 0);
    p[0] = state.outputs[0];
    p[1] = state.outputs[1];
    p[2] = state.outputs[2];
    p[6] = state.outputs[3];
    p[7] = state.doorOpen;
    for (std::size_t i = 0; i < 3; ++i) {
        p[8 + 2 * i] = static_cast<std::uint8_t>(state.temperatures[i] >> 8);
        p[9 + 2 * i] = static_cast<std::uint8_t>(state.temperatures[i] & 0xFF);
    }
    return frame(0x02, p);
}

}  // namespace kv::sim
