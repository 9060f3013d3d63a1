#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "framework/CTime.h"

namespace {

// Central European time with its daylight-saving rule, written as a POSIX
// rule so that no time-zone database is needed.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            m_hadOld = true;
            m_old = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_hadOld) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

FILETIME FileTimeOfUnix(long long seconds) {
    const unsigned long long ticks = (seconds * 10000000ULL) + 116444736000000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFULL);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

TEST(CTimeTest, DefaultIsZero) {
    EXPECT_EQ(CTime().GetTime(), 0);
}

TEST(CTimeTest, FileTimeInSummerKeepsTheInstantAndShowsDaylightSavingHours) {
    ScopedTimeZone zone(kCentralEurope);
    // 2021-07-01 12:00:00 UTC is 14:00 summer time in Central Europe.
    const CTime time(FileTimeOfUnix(1625140800));
    EXPECT_EQ(time.GetTime(), 1625140800);
    EXPECT_EQ(time.GetYear(), 2021);
    EXPECT_EQ(time.GetMonth(), 7);
    EXPECT_EQ(time.GetDay(), 1);
    EXPECT_EQ(time.GetHour(), 14);
    EXPECT_EQ(time.GetMinute(), 0);
    EXPECT_EQ(time.GetDayOfWeek(), 5);  // a Thursday
}

TEST(CTimeTest, FileTimeInWinterUsesStandardTime) {
    ScopedTimeZone zone(kCentralEurope);
    // 2021-01-15 12:30:45 UTC is 13:30:45 standard time.
    const CTime time(FileTimeOfUnix(1610713845));
    EXPECT_EQ(time.GetTime(), 1610713845);
    EXPECT_EQ(time.GetHour(), 13);
    EXPECT_EQ(time.GetMinute(), 30);
    EXPECT_EQ(time.GetSecond(), 45);
}

TEST(CTimeTest, FileTimeBefore1970GivesZero) {
    ScopedTimeZone zone(kCentralEurope);
    FILETIME early = {0, 0};
    EXPECT_EQ(CTime(early).GetTime(), 0);
}

TEST(CTimeTest, LocalFieldsRoundTrip) {
    ScopedTimeZone zone(kCentralEurope);
    const CTime time(2020, 2, 29, 23, 59, 58);
    EXPECT_EQ(time.GetYear(), 2020);
    EXPECT_EQ(time.GetMonth(), 2);
    EXPECT_EQ(time.GetDay(), 29);
    EXPECT_EQ(time.GetHour(), 23);
    EXPECT_EQ(time.GetSecond(), 58);
}

}  // namespace
