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

// How the screen writes numbers and times: the system's locale on the
// desktop. Files keep fixed formats that scripts read.
class Locale {
public:
    virtual ~Locale() = default;
    // The decimal separator, "." or "," and the like.
    virtual std::string decimalPoint() const = 0;
    // The general date-and-time form of the clock label.
    virtual std::string generalDate(const DateTime& t) const = 0;
};

// A locale of its own: "." and "dd/MM/yyyy hh:mm:ss".
class FixedLocale : public Locale {
public:
    std::string decimalPoint() const override { return decimal; }
    std::string generalDate(const DateTime& t) const override;
    std::string decimal = ".";
};

// "hh:mm:ss dd/MM/yyyy"
std::string formatLogTime(const DateTime& t);
// "hh_mm_ss_dd_MM_yyyy"
std::string formatFileTime(const DateTime& t);
// "dd/MM/yyyy hh:mm:ss"
std::string formatGeneralDate(const DateTime& t);

}  // namespace kv::platform
