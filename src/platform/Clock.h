#pragma once
// Wall-clock time, injected so that tests run on a virtual clock.
#include <string>

namespace kv::platform {

struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

// "hh:mm:ss dd/MM/yyyy"
std::string formatLogTime(const DateTime& t);
// "hh_mm_ss_dd_MM_yyyy"
std::string formatFileTime(const DateTime& t);
// The general date-and-time form shown by the clock label: "dd/MM/yyyy hh:mm:ss".
std::string formatGeneralDate(const DateTime& t);

}  // namespace kv::platform
