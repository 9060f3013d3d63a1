#include "script/Progress.h"

#include <cstdio>

#include "framework/Console.h"

namespace {

constexpr std::chrono::milliseconds kQuiet{1000};  // nothing before
constexpr std::chrono::milliseconds kEvery{250};

}  // namespace

CProgress::CProgress(bool shown, ULONGLONG scriptBytes)
    : m_shown(shown), m_total(scriptBytes), m_start(Clock::now()), m_next(m_start + kQuiet) {}

CProgress::~CProgress() {
    if (m_drawn) {
        AfxClearStatus();
    }
}

void CProgress::Update(ULONGLONG read, long statements) {
    if (!m_shown) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now < m_next) {
        return;
    }
    m_next = now + kEvery;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    AfxShowStatus(Text(read, m_total, statements, elapsed));
    m_drawn = true;
}

CString CProgress::Text(ULONGLONG read, ULONGLONG total, long statements, double elapsed) {
    char text[160];
    const double perSecond = elapsed > 0 ? statements / elapsed : 0;
    if (total == 0 || read == 0) {
        std::snprintf(text, sizeof text, "%ld statement%s, %.0f per second", statements,
                      statements == 1 ? "" : "s", perSecond);
        return text;
    }
    const double share =
        read >= total ? 1.0 : static_cast<double>(read) / static_cast<double>(total);
    const long left = static_cast<long>(elapsed * (1 - share) / share + 0.5);
    std::snprintf(text, sizeof text,
                  "%3.0f%% of the script read, %ld statement%s, %.0f per second, %ld:%02ld left",
                  share * 100, statements, statements == 1 ? "" : "s", perSecond, left / 60,
                  left % 60);
    return text;
}
