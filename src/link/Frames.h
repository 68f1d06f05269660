#pragma once
// The request frames the dashboard sends: command code, 0x01, length L and L
// payload bytes. Lists end with 0x99 0x99; 16-bit values go high byte first.
#include <cstdint>
#include <string>
#include <vector>

#include "link/Profile.h"
#include "link/Requests.h"

namespace kv::link {

// The plain queries, as the request table builds them.
Bytes frameGetFwVersion();        // 01 01 01 00
Bytes frameGetStatus();           // 02 01 01 00
Bytes frameGetConfig();           // 05 01 00 00
Bytes frameReadParams(const Profile& model = kKV53);  // 06 01 29 01 02 .. 27 99 99: the model's parameters
Bytes frameGetChecksum();         // 0A 01 01 00
Bytes frameGetClient();           // 15 01 01 00
Bytes frameGetAsset();            // 16 01 01 00
Bytes frameGetMac();              // 18 01 01 00
Bytes frameClearScreen();         // FF 01 01 02

// The requests whose frames carry data.
Bytes frameServiceMode(bool enter);  // 08 01 01 01 / 08 01 01 00

// 15 01 04 01 and the first three characters of the client text (the caller
// checks there are three).
Bytes frameSetClient(const std::string& client);
// 16 01 n+1 01 and the first n characters of the asset text, n at most 15
// (the caller checks the text is not empty).
Bytes frameSetAsset(const std::string& asset);

struct ParamWrite {
    std::uint8_t number;
    std::uint8_t high;
    std::uint8_t low;
};
// 07 01 3k+2, the k triples, 99 99.
Bytes frameWriteParams(const std::vector<ParamWrite>& triples);
// High and low byte of a 16-bit parameter value.
ParamWrite splitParam(std::uint8_t number, std::int32_t value);

// Logical right shift of a 32-bit value, computed without relying on the
// language's shift of negative numbers.
std::int32_t RShiftLong(std::int32_t Value, std::int16_t Shift);

// The bytes sent for a key typed into the terminal: 0D 0A for Enter, else the
// key's code.
Bytes frameTyped(std::int16_t keyAscii);

}  // namespace kv::link
