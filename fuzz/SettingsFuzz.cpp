// The port settings string: any text is refused or gives settings within
// their ranges, and settings written back as text parse to themselves.
#include <cstdlib>
#include <string>

#include "platform/LineSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto s = kv::platform::parseLineSettings(text);
    if (!s) return 0;
    if (s->baud <= 0 || s->dataBits < 5 || s->dataBits > 8) std::abort();
    if (s->stopBits != 10 && s->stopBits != 15 && s->stopBits != 20) std::abort();
    std::string back = std::to_string(s->baud) + "," + s->parity + "," + std::to_string(s->dataBits) + "," +
                       s->stopBitsText();
    auto again = kv::platform::parseLineSettings(back);
    if (!again || again->baud != s->baud || again->dataBits != s->dataBits || again->stopBits != s->stopBits)
        std::abort();
    return 0;
}
