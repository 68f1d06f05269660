#include "sim/ProductionLine.h"

#include <cstdio>
#include <stdexcept>

#include "link/Frames.h"

namespace kv::sim {

namespace {

// '"', '\' and bytes outside printable ASCII as \xHH, so that every summary
// line stays one line whatever was written to a controller.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7F && ch != '"' && ch != '\\') {
            out += ch;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out + "\"";
}

// 1 to 99 as two digits.
std::string twoDigits(int n) { return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

}  // namespace

const char* swapPointName(SwapPoint point) {
    switch (point) {
        case SwapPoint::AssetSet: return "asset";
        case SwapPoint::ClientSet: return "client";
        case SwapPoint::BulkWrite: return "bulk";
    }
    return "?";
}

ProductionLine::ProductionLine(VirtualController& controller, int count, const ControllerState& model,
                               const Params& factoryParams)
    : controller_(controller), factoryParams_(factoryParams) {
    if (count < 1 || count > kMaxCount)
        throw std::invalid_argument("a production line has 1 to " + std::to_string(kMaxCount) + " controllers");
    for (int n = 1; n <= count; ++n) units_.push_back(factoryUnit(n, model, factoryParams_));
    controller_.state = units_.front();
    controller_.resetTransient();
    controller_.onAnswered = [this](const Bytes& request, const Bytes&) { answered(request); };
    controller_.onRequest = [this](const Bytes& request) { requested(request); };
}

ProductionLine::~ProductionLine() {
    controller_.onAnswered = nullptr;
    controller_.onRequest = nullptr;
}

ControllerState ProductionLine::factoryUnit(int number, const ControllerState& model, const Params& factoryParams) {
    if (number < 1 || number > kMaxCount) throw std::out_of_range("no controller " + std::to_string(number));
    ControllerState s = model;
    s.mac = model.mac.substr(0, 10) + twoDigits(number);
    // Multiplying by an odd number is one-to-one modulo 2^16: every
    // controller's checksum differs from the others'.
    s.checksum = static_cast<std::uint16_t>(0x1A2B ^ ((number * 0x9E37) & 0xFFFF));
    s.asset = "";
    s.client = "<00";
    s.params = factoryParams;
    s.serviceMode = false;
    return s;
}

bool ProductionLine::next() {
    if (current_ >= count()) return false;
    ControllerState leaving = controller_.state;
    leaving.serviceMode = false;  // off the line it is off power
    units_[static_cast<std::size_t>(current_ - 1)] = std::move(leaving);
    ++current_;
    controller_.state = units_[static_cast<std::size_t>(current_ - 1)];
    controller_.resetTransient();
    restarted_ = false;
    lastSwapDuring_.reset();
    pendingSwap_.reset();
    return true;
}

void ProductionLine::answered(const Bytes& request) {
    if (request.empty()) return;
    // As the controller reads them: a first payload byte of 01 sets, anything
    // else gets (the asset) or leaves service mode.
    const bool sets = request.size() > 3 && request[3] == 0x01;
    if (request[0] == link::cmdServiceMode && !sets) restarted_ = true;
    else if (request[0] == link::cmdAsset && !sets && restarted_ && autoSwap) next();
    else {
        // Only acknowledged requests come here, so the first parameter-write
        // frame acknowledged inside service mode swaps a controller whose
        // first acknowledgement was lost; once swapped, it is off the line.
        std::optional<SwapPoint> point;
        if (request[0] == link::cmdAsset && sets) point = SwapPoint::AssetSet;
        else if (request[0] == link::cmdClient && sets) point = SwapPoint::ClientSet;
        else if (request[0] == link::cmdWriteParams && controller_.state.serviceMode) point = SwapPoint::BulkWrite;
        if (point && swapsAt(*point) && current_ < count()) pendingSwap_ = SwapDuring{current_, *point};
    }
}

// A hand takes longer than a reply: the controller is still on the line for
// the dashboard's quick MAC get after its answer, and gone by the next request.
void ProductionLine::requested(const Bytes& request) {
    if (!pendingSwap_ || request.empty() || request[0] == link::cmdMac) return;
    SwapDuring swap = *pendingSwap_;
    pendingSwap_.reset();
    if (next()) lastSwapDuring_ = swap;
}

bool ProductionLine::swapsAt(SwapPoint point) const {
    for (const auto& s : swapsDuring)
        if (s.controller == current_ && s.point == point) return true;
    return false;
}

const ControllerState& ProductionLine::unit(int number) const {
    if (number < 1 || number > count()) throw std::out_of_range("no controller " + std::to_string(number));
    if (number == current_) return controller_.state;
    return units_[static_cast<std::size_t>(number - 1)];
}

std::string ProductionLine::summary() const {
    std::string out;
    for (int n = 1; n <= current_; ++n) {
        const ControllerState& s = unit(n);
        std::string changes;
        for (std::size_t i = 0; i < s.params.size(); ++i) {
            if (s.params[i] == factoryParams_[i]) continue;
            char cell[24];
            std::snprintf(cell, sizeof cell, "%sP%03d=%d", changes.empty() ? "" : " ", static_cast<int>(i + 1),
                          s.params[i]);
            changes += cell;
        }
        if (changes.empty()) changes = "factory parameters";
        out += twoDigits(n) + "  " + s.mac + "  asset " + quoted(s.asset) + "  client " + quoted(s.client) +
               "  " + changes + "\n";
    }
    return out;
}

}  // namespace kv::sim
