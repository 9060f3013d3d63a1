// A point in time, held as seconds since 1970-01-01 UTC, read back in the
// local calendar. The default is 0, which stands for "no time".
#pragma once

#include <ctime>

#include "platform/Win32.h"

class CTime {
public:
    CTime() = default;
    CTime(time_t time) : m_time(time) {}  // NOLINT: implicit, as callers expect
    // A local calendar time; `dst` is 1 for daylight saving time, 0 for
    // standard time, and negative to let the time zone rules decide.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);
    // A file time (UTC) taken over in local calendar time. A file time that
    // cannot be converted gives the time 0.
    CTime(const FILETIME& fileTime, int dst = -1);  // NOLINT: implicit, as callers expect

    time_t GetTime() const { return m_time; }
    int GetYear() const;
    int GetMonth() const;  // 1 to 12
    int GetDay() const;    // 1 to 31
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 for Sunday to 7 for Saturday

    friend bool operator==(const CTime& a, const CTime& b) { return a.m_time == b.m_time; }
    friend bool operator!=(const CTime& a, const CTime& b) { return a.m_time != b.m_time; }
    friend bool operator<(const CTime& a, const CTime& b) { return a.m_time < b.m_time; }

private:
    // The local calendar fields of the time; all zero when the time cannot be
    // represented.
    struct tm Local() const;

    time_t m_time = 0;
};
