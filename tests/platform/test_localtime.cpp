// The cached local-time converter must agree with the C library in zones with daylight saving,
// half-hour shifts and odd offsets, right across their transitions.
#include "platform/localtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace pixhaven::platform {
namespace {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            saved_ = old;
            hadZone_ = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (hadZone_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string saved_;
    bool hadZone_ = false;
};

std::string Text(const CivilTime& t) {
    return FormatCivilTime(t, "%Y-%m-%d %H:%M:%S");
}

TEST(LocalTime, FormatsWithFixedWidthFields) {
    const CivilTime t{2012, 7, 4, 18, 5, 9};
    EXPECT_EQ(FormatCivilTime(t, "%m-%d-%Y %H:%M:%S"), "07-04-2012 18:05:09");
    EXPECT_EQ(FormatCivilTime(t, "PXHVN%Y%m%d%H%M%S"), "PXHVN20120704180509");
    EXPECT_EQ(FormatCivilTime(t, "100%% %q"), "100% %q");
}

TEST(LocalTime, ConverterAgreesWithCLibraryAcrossTransitions) {
    for (const char* zone : {"UTC", "America/New_York", "Europe/London", "Australia/Lord_Howe",
                             "Asia/Kathmandu", "Africa/Monrovia", "Pacific/Chatham"}) {
        ZoneGuard guard(zone);
        LocalTimeConverter converter;
        // Transitions happen on quarter hours: check the seconds around each quarter hour of two
        // years, and one mid-quarter second.
        const std::int64_t begin = 1'300'000'000 / 900 * 900;
        for (std::int64_t quarter = 0; quarter < 2 * 366 * 96; ++quarter) {
            for (std::int64_t delta : {-1, 0, 1, 450}) {
                const std::int64_t t = begin + quarter * 900 + delta;
                ASSERT_EQ(Text(converter.ToLocal(t)), Text(ToLocalTime(t))) << zone << " at " << t;
            }
        }
    }
}

// Times out of order, as a manifest's are: the converter keeps the last day it saw, so days that
// share a cache slot (4,096 days apart) and days either side of midnight must not mix.
TEST(LocalTime, ConverterAgreesForTimesInAnyOrder) {
    for (const char* zone : {"UTC", "America/New_York", "Pacific/Chatham"}) {
        ZoneGuard guard(zone);
        LocalTimeConverter converter;
        std::uint64_t state = 12345;
        for (int i = 0; i < 20'000; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const auto t = static_cast<std::int64_t>((state >> 20) % 4'294'967'295ULL);
            for (const std::int64_t u :
                 {t, t + 3600, t - 86'400, t + std::int64_t{4096} * 86'400}) {
                ASSERT_EQ(Text(converter.ToLocal(u)), Text(ToLocalTime(u))) << zone << " at " << u;
            }
        }
    }
}

TEST(LocalTime, ConverterHandlesTransitionsOffTheQuarterHour) {
    ZoneGuard guard("Africa/Monrovia");  // left UTC-0:44:30 in January 1972
    LocalTimeConverter converter;
    for (std::int64_t t = 63'072'000; t < 63'072'000 + 15 * 86400; t += 7) {
        ASSERT_EQ(Text(converter.ToLocal(t)), Text(ToLocalTime(t))) << t;
    }
}

TEST(LocalTime, KnownInstantInNewYork) {
    ZoneGuard guard("America/New_York");
    LocalTimeConverter converter;
    EXPECT_EQ(Text(converter.ToLocal(1341425109)), "2012-07-04 14:05:09");  // EDT, UTC-4
    EXPECT_EQ(Text(converter.ToLocal(1331449199)), "2012-03-11 01:59:59");  // last second of EST
    EXPECT_EQ(Text(converter.ToLocal(1331449200)), "2012-03-11 03:00:00");  // first of EDT
    EXPECT_EQ(Text(converter.ToLocal(4294967295LL)), "2106-02-07 01:28:15");
}

}  // namespace
}  // namespace pixhaven::platform
