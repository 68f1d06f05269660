#include "platform/Clock.h"

#include <cstdio>

namespace kv::platform {

std::string formatLogTime(const DateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %02d/%02d/%04d", t.hour, t.minute, t.second,
                  t.day, t.month, t.year);
    return buf;
}

std::string formatFileTime(const DateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d_%02d_%02d_%02d_%02d_%04d", t.hour, t.minute, t.second,
                  t.day, t.month, t.year);
    return buf;
}

std::string formatGeneralDate(const DateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year,
                  t.hour, t.minute, t.second);
    return buf;
}

std::string FixedLocale::generalDate(const DateTime& t) const { return formatGeneralDate(t); }

}  // namespace kv::platform
