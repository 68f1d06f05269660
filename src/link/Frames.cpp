#include "link/Frames.h"

#include <algorithm>

namespace kv::link {

Bytes requestFrame(std::uint8_t code, const Bytes& payload) {
    Bytes f(3 + payload.size());
    f[0] = code;
    f[1] = 0x01;
    f[2] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), f.begin() + 3);
    return f;
}

Bytes frameGetFwVersion() { return query<cmdFwVersion>(kKV53); }
Bytes frameGetStatus() { return query<cmdStatus>(kKV53); }
Bytes frameGetConfig() { return query<cmdConfig>(kKV53); }
Bytes frameReadParams(const Profile& model) { return query<cmdReadParams>(model); }
Bytes frameGetChecksum() { return query<cmdChecksum>(kKV53); }
Bytes frameGetClient() { return query<cmdClient>(kKV53); }
Bytes frameGetAsset() { return query<cmdAsset>(kKV53); }
Bytes frameGetMac() { return query<cmdMac>(kKV53); }
Bytes frameClearScreen() { return query<cmdClearScreen>(kKV53); }

Bytes frameServiceMode(bool enter) { return requestFrame(cmdServiceMode, {enter ? std::uint8_t{1} : std::uint8_t{0}}); }

Bytes frameSetClient(const std::string& client) {
    Bytes payload{0x01};
    for (std::size_t i = 0; i < 3 && i < client.size(); ++i)
        payload.push_back(static_cast<std::uint8_t>(client[i]));
    return requestFrame(cmdClient, payload);
}

Bytes frameSetAsset(const std::string& asset) {
    Bytes payload{0x01};
    std::size_t n = std::min<std::size_t>(asset.size(), 15);
    for (std::size_t i = 0; i < n; ++i) payload.push_back(static_cast<std::uint8_t>(asset[i]));
    return requestFrame(cmdAsset, payload);
}

Bytes frameWriteParams(const std::vector<ParamWrite>& triples) {
    Bytes payload;
    for (const auto& t : triples) {
        payload.push_back(t.number);
        payload.push_back(t.high);
        payload.push_back(t.low);
    }
    payload.push_back(kListEnd);
    payload.push_back(kListEnd);
    return requestFrame(cmdWriteParams, payload);
}

ParamWrite splitParam(std::uint8_t number, std::int32_t value) {
    return {number, static_cast<std::uint8_t>(RShiftLong(value & ~0xFF, 8) & 0xFF),
            static_cast<std::uint8_t>(value & 0xFF)};
}

std::int32_t RShiftLong(std::int32_t Value, std::int16_t Shift) {
    if (Shift <= 0) return Value;
    if (Shift > 31) return 0;
    std::int32_t result = (Value & 0x7FFFFFFE) / (std::int32_t{1} << Shift);
    if (Value < 0) result |= 0x40000000 / (std::int32_t{1} << (Shift - 1));
    return result;
}

Bytes frameTyped(std::int16_t keyAscii) {
    if (keyAscii == 13) return {0x0D, 0x0A};
    return {static_cast<std::uint8_t>(keyAscii & 0xFF)};
}

}  // namespace kv::link
