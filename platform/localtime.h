// Local time of day for Unix times, fast enough for a million conversions a second.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pixhaven::platform {

struct CivilTime {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Converts Unix times to the machine's local time. It asks the C library once per UTC day and
// reuses that day's offset, falling back to a full conversion on days that change offset.
// Not thread-safe: give each thread its own converter.
class LocalTimeConverter {
public:
    CivilTime ToLocal(std::int64_t unixSeconds);

private:
    struct DayOffset {
        std::int64_t day = INT64_MIN;
        std::int32_t offsetSeconds = 0;
        bool uniform = false;  // the whole day has one offset
    };
    std::vector<DayOffset> cache_ = std::vector<DayOffset>(4096);
    std::size_t lastSlot_ = 0;          // the slot of the last conversion
    std::int64_t lastDay_ = INT64_MIN;  // local day of the last uniform conversion
    CivilTime lastDate_;
};

// One-off conversion of a Unix time to local time.
CivilTime ToLocalTime(std::int64_t unixSeconds);

// The current local time.
CivilTime LocalNow();

// strftime-style formatting of a civil time ("%Y%m%d%H%M%S", "%m-%d-%Y %H:%M:%S"; supports
// %Y %m %d %H %M %S and %%).
std::string FormatCivilTime(const CivilTime& time, const char* format);

}  // namespace pixhaven::platform
