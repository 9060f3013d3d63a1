// The progress line of a quiet run on a terminal.
#pragma once

#include <chrono>

#include "framework/CString.h"
#include "platform/Win32.h"

class CProgress {
public:
    // `scriptBytes` is the script's size, 0 when not known (a pipe).
    // Shown only when `shown` (standard error is a terminal).
    CProgress(bool shown, ULONGLONG scriptBytes);
    ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // After a statement: `read` bytes of the script read, `statements`
    // done. Draws the line once the run has taken a second, at most four
    // times a second.
    void Update(ULONGLONG read, long statements);

    // The line's text at `elapsed` seconds: the share read, the statements
    // done and per second, and the time left (from the share).
    static CString Text(ULONGLONG read, ULONGLONG total, long statements, double elapsed);

private:
    using Clock = std::chrono::steady_clock;
    bool m_shown;
    ULONGLONG m_total;
    Clock::time_point m_start;
    Clock::time_point m_next;
    bool m_drawn = false;
};
