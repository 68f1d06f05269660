#include "platform/RecordStore.h"

namespace kv::platform {

std::string isoFromLogTime(const std::string& when) {
    // hh:mm:ss dd/MM/yyyy
    static const char shape[] = "00:00:00 00/00/0000";
    if (when.size() != sizeof shape - 1) return {};
    for (std::size_t i = 0; i < when.size(); ++i) {
        bool digit = when[i] >= '0' && when[i] <= '9';
        if (shape[i] == '0' ? !digit : when[i] != shape[i]) return {};
    }
    return when.substr(15, 4) + "-" + when.substr(12, 2) + "-" + when.substr(9, 2) + " " + when.substr(0, 8);
}

}  // namespace kv::platform
