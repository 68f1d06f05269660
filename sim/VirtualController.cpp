#include "sim/VirtualController.h"

#include <algorithm>
#include <stdexcept>

#include "link/Frames.h"

namespace kv::sim {

namespace {

constexpr std::uint8_t kKnown[] = {0x01, 0x02, 0x05, 0x06, 0x07, 0x08, 0x0A, 0x15, 0x16, 0x18, 0xFF};
// Bytes of a half-received request are dropped after this long a pause.
constexpr std::int64_t kInterByteTimeoutMs = 500;

bool known(std::uint8_t code) { return std::find(std::begin(kKnown), std::end(kKnown), code) != std::end(kKnown); }

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

VirtualController::VirtualController() { state.params = kFactoryParams; }

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

    const std::uint8_t code = request[0];
    const std::uint8_t first = request.size() > 3 ? request[3] : 0;
    Bytes payload(request.begin() + 3, request.end());
    switch (code) {
        case 0x01: {
            Bytes p;
            if (!state.shortFirmware) appendText(p, state.fwText.substr(0, 3));
            p.insert(p.end(), state.fwNumbers.begin(), state.fwNumbers.end());
            if (!state.shortFirmware) p.push_back(0x00);
            return frame(code, p);
        }
        case 0x02: return statusReply();
        case 0x05: {
            if (!state.config.empty()) return frame(code, state.config);
            Bytes p;
            appendText(p, "KV53CFG-01");
            p.push_back(0x00);
            appendText(p, "0123456789");
            p.push_back(static_cast<std::uint8_t>(state.checksum & 0xFF));
            p.push_back(static_cast<std::uint8_t>(state.checksum >> 8));
            appendText(p, "END");
            return frame(code, p);
        }
        case 0x06: {
            Bytes p;
            // Two bytes a value and the list end must fit the reply's length
            // byte: a request for more values gets the first 126.
            const std::size_t most = modes.shortRead > 0 ? 2 * std::size_t(modes.shortRead) : 251;
            for (std::size_t i = 3; i + 1 < request.size() && request[i] != 0x99 && p.size() + 4 <= 255 &&
                                    p.size() < most;
                 ++i) {
                std::uint8_t number = request[i];
                std::uint16_t v = holds(number) ? state.params[std::size_t(number - 1)] : 0;
                p.push_back(static_cast<std::uint8_t>(v >> 8));
                p.push_back(static_cast<std::uint8_t>(v & 0xFF));
            }
            p.push_back(0x99);
            p.push_back(0x99);
            return frame(code, p);
        }
        case 0x07: {
            ++writeFramesTaken_;
            ++paramFramesSinceService;
            const bool refuse = modes.storeOnlyInServiceMode && !state.serviceMode;
            // Triples up to the list end 99 99.
            for (std::size_t i = 0; i + 2 < payload.size(); i += 3) {
                const std::uint8_t number = payload[i];
                if (number == link::kListEnd && payload[i + 1] == link::kListEnd) break;
                const auto value = static_cast<std::uint16_t>(payload[i + 1] << 8 | payload[i + 2]);
                const bool stored = !refuse && holds(number);
                if (stored) state.params[std::size_t(number - 1)] = value;
                paramWrites.push_back({number, value, state.serviceMode, stored});
            }
            if (modes.loseAckForFrame > 0 && paramFramesSinceService == modes.loseAckForFrame) return std::nullopt;
            return frame(code, {0x00});
        }
        case 0x08:
            if (first == 0x01) {
                state.serviceMode = true;
                paramFramesSinceService = 0;
            } else {
                state.serviceMode = false;
                deafUntilMs_ = nowMs + modes.restartMs;  // leaving service mode restarts it
            }
            return frame(code, {first});
        case 0x0A:
            return frame(code, {static_cast<std::uint8_t>(state.checksum >> 8),
                                static_cast<std::uint8_t>(state.checksum & 0xFF)});
        case 0x15: {
            if (first == 0x01 && payload.size() >= 4 && modes.storeClient)
                state.client.assign(payload.begin() + 1, payload.begin() + 4);
            Bytes p;
            appendText(p, state.client.substr(0, 3));
            return frame(code, p);
        }
        case 0x16: {
            if (first == 0x01) state.asset.assign(payload.begin() + 1, payload.end());
            Bytes p;
            appendText(p, state.asset.substr(0, kMaxAssetLength));
            p.push_back(0x00);
            p.push_back(0x00);
            return frame(code, p);
        }
        case 0x18: {
            Bytes p;
            appendText(p, state.mac.substr(0, 12));
            return frame(code, p);
        }
        case 0xFF: return frame(code, {0x00});
        default: return std::nullopt;
    }
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
