// The customer list reader and the code format on any text.
#include <cstdlib>
#include <string>

#include "dialogs/CustomerList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& c : kv::dialogs::parseCustomerList(text)) {
        std::string code = kv::dialogs::formatClientCode(c.code);
        // A code is never cut, only padded or rounded.
        if (code.empty() != c.code.empty()) std::abort();
        if (c.code.size() > text.size() || c.name.size() > text.size()) std::abort();
    }
    (void)kv::dialogs::formatClientCode(text);
    return 0;
}
