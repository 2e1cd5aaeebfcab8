// Local time through the C library, with a per-day cache of the UTC offset: asking the C library
// for every time costs about a microsecond, and a manifest holds three times per record
// (bench_manifest BM_ReadManifest).
#include "platform/localtime.h"

#include <cstdio>
#include <ctime>

namespace pixhaven::platform {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Proleptic Gregorian date of a day number counted from 1970-01-01.
CivilTime CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime civil;
    civil.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    civil.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    civil.year = static_cast<int>(yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0));
    return civil;
}

CivilTime CivilFromSeconds(std::int64_t seconds) {
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    CivilTime civil = CivilFromDays(days);
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    return civil;
}

// The C library's local time and its offset from UTC in seconds.
bool SystemLocalTime(std::int64_t unixSeconds, std::tm& local, std::int32_t& offsetSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0) {
        return false;
    }
    std::tm copy = local;
    offsetSeconds = static_cast<std::int32_t>(_mkgmtime(&copy) - t);
#else
    if (localtime_r(&t, &local) == nullptr) {
        return false;
    }
    offsetSeconds = static_cast<std::int32_t>(local.tm_gmtoff);
#endif
    return true;
}

CivilTime CivilFromTm(const std::tm& local) {
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

void AppendNumber(std::string& out, int value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", digits, value);
    out += text;
}

}  // namespace

CivilTime ToLocalTime(std::int64_t unixSeconds) {
    std::tm local{};
    std::int32_t offset = 0;
    if (!SystemLocalTime(unixSeconds, local, offset)) {
        return CivilFromSeconds(unixSeconds);
    }
    return CivilFromTm(local);
}

CivilTime LocalTimeConverter::ToLocal(std::int64_t unixSeconds) {
    const std::int64_t day = FloorDiv(unixSeconds, kSecondsPerDay);
    // A record's times mostly share a day: the last day's slot is kept at hand, sparing a division
    // (bench_manifest BM_ReadManifest: 115 ms of main-thread time without, 112 ms with).
    if (day != cache_[lastSlot_].day) {
        lastSlot_ = static_cast<std::size_t>(day) % cache_.size();
    }
    DayOffset& slot = cache_[lastSlot_];
    if (slot.day != day) [[unlikely]] {
        std::tm ignored{};
        std::int32_t atStart = 0;
        std::int32_t atEnd = 0;
        const bool known =
            SystemLocalTime(day * kSecondsPerDay, ignored, atStart) &&
            SystemLocalTime(day * kSecondsPerDay + kSecondsPerDay - 1, ignored, atEnd);
        slot = DayOffset{day, atStart, known && atStart == atEnd};
    }
    if (slot.uniform) {
        // The times of one file are mostly of one day: its date is worked out once
        // (bench_manifest BM_ReadManifest: 118 ms of main-thread time without, 112 ms with).
        const std::int64_t local = unixSeconds + slot.offsetSeconds;
        const std::int64_t localDay = FloorDiv(local, kSecondsPerDay);
        if (localDay != lastDay_) {
            lastDay_ = localDay;
            lastDate_ = CivilFromDays(localDay);
        }
        CivilTime civil = lastDate_;
        const auto secondOfDay = static_cast<int>(local - localDay * kSecondsPerDay);
        civil.hour = secondOfDay / 3600;
        civil.minute = secondOfDay / 60 % 60;
        civil.second = secondOfDay % 60;
        return civil;
    }
    return ToLocalTime(unixSeconds);  // the day changes offset: ask for this very second
}

CivilTime LocalNow() {
    return ToLocalTime(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string FormatCivilTime(const CivilTime& time, const char* format) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        switch (*++p) {
            case 'Y':
                AppendNumber(out, time.year, 4);
                break;
            case 'm':
                AppendNumber(out, time.month, 2);
                break;
            case 'd':
                AppendNumber(out, time.day, 2);
                break;
            case 'H':
                AppendNumber(out, time.hour, 2);
                break;
            case 'M':
                AppendNumber(out, time.minute, 2);
                break;
            case 'S':
                AppendNumber(out, time.second, 2);
                break;
            case '%':
                out += '%';
                break;
            default:
                out += '%';
                out += *p;
        }
    }
    return out;
}

}  // namespace pixhaven::platform
