#include "framework/CTime.h"

namespace {

time_t FromLocalFields(int year, int month, int day, int hour, int minute, int second, int dst) {
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = dst;
    const time_t time = std::mktime(&fields);
    return time == static_cast<time_t>(-1) ? 0 : time;
}

}  // namespace

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst)
    : m_time(FromLocalFields(year, month, day, hour, minute, second, dst)) {}

// The file time goes to local time first and then, through the calendar
// fields, back to a time value with the time zone rules choosing standard or
// daylight saving time: the framework's way, which the program relies on for
// the last-write times it shows.
CTime::CTime(const FILETIME& fileTime, int dst) {
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&fileTime, &local) || !FileTimeToSystemTime(&local, &fields)) {
        return;
    }
    m_time = FromLocalFields(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                             fields.wSecond, dst);
}

struct tm CTime::Local() const {
    // The program is single-threaded, so the C library's shared result
    // buffer is safe to use and keeps this file free of per-OS variants.
    const struct tm* fields = std::localtime(&m_time);
    if (fields == nullptr) {
        return tm{};
    }
    return *fields;
}

int CTime::GetYear() const {
    return Local().tm_year + 1900;
}
int CTime::GetMonth() const {
    return Local().tm_mon + 1;
}
int CTime::GetDay() const {
    return Local().tm_mday;
}
int CTime::GetHour() const {
    return Local().tm_hour;
}
int CTime::GetMinute() const {
    return Local().tm_min;
}
int CTime::GetSecond() const {
    return Local().tm_sec;
}
int CTime::GetDayOfWeek() const {
    return Local().tm_wday + 1;
}
