// File times: 100-nanosecond intervals since 1601-01-01 UTC.

#include <ctime>

#include "platform/Win32.h"

namespace {

constexpr uint64_t kEpochDiff = 116444736000000000ULL;  // 1601 to 1970

uint64_t Ticks(const FILETIME* ft) {
    return (static_cast<uint64_t>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
}

FILETIME FromTicks(uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFULL);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

}  // namespace

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    *lpSystemTimeAsFileTime = FromTicks(static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
                                        static_cast<uint64_t>(ts.tv_nsec) / 100 + kEpochDiff);
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    const uint64_t ticks = Ticks(lpFileTime);
    if (lpSystemTime == nullptr || ticks < kEpochDiff) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const uint64_t sinceEpoch = ticks - kEpochDiff;
    time_t seconds = static_cast<time_t>(sinceEpoch / 10000000ULL);
    struct tm tmUtc;
    if (gmtime_r(&seconds, &tmUtc) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpSystemTime->wYear = static_cast<WORD>(tmUtc.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(tmUtc.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(tmUtc.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(tmUtc.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(tmUtc.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(tmUtc.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(tmUtc.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>((sinceEpoch / 10000ULL) % 1000ULL);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    const uint64_t ticks = Ticks(lpFileTime);
    time_t seconds =
        static_cast<time_t>(ticks >= kEpochDiff ? (ticks - kEpochDiff) / 10000000ULL : 0);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t offset = static_cast<int64_t>(local.tm_gmtoff) * 10000000LL;
    *lpLocalFileTime = FromTicks(static_cast<uint64_t>(static_cast<int64_t>(ticks) + offset));
    return TRUE;
}
