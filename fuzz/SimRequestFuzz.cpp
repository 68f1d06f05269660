// The virtual controller's request reader on any byte stream, cut into
// pieces at any points and times: every reply it gives is one whole frame
// whose length byte counts its payload.
#include <cstdlib>

#include "fuzz/Input.h"
#include "sim/VirtualController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::fuzz::Input in(data, size);
    kv::sim::VirtualController c;
    c.modes.chunking.kind = kv::sim::Chunking::Whole;
    std::int64_t now = 0;
    while (!in.empty()) {
        now += in.pick(4) == 0 ? 600 : in.pick(50);
        std::string piece = in.bytes(40);
        for (const auto& p : c.receive(kv::sim::Bytes(piece.begin(), piece.end()), now)) {
            const auto& b = p.bytes;
            if (b.size() < 3 || b.size() != 3u + b[2]) std::abort();
        }
    }
    return 0;
}
