#include "framework/Console.h"

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Win32.h"

namespace {

// Text of AfxWriteOutSoon not yet written, and the thread that writes it
// when nothing else has within kSoon. Every write to either stream goes
// through `lock`, after the pending text.
class PendingOut {
public:
    ~PendingOut() {
        {
            std::lock_guard<std::mutex> guard(lock);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_writer.joinable()) {
            m_writer.join();
        }
        std::lock_guard<std::mutex> guard(lock);
        WriteLocked();
    }

    // Writes the pending text; `lock` held.
    void WriteLocked() {
        if (!m_text.empty()) {
            std::cout.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
            std::cout.flush();
            m_text.clear();
        }
    }

    // Adds to the pending text; `lock` held.
    void AddLocked(const char* text, size_t length) {
        if (!m_writer.joinable()) {
            m_writer = std::thread([this] { Run(); });
        }
        const bool wasEmpty = m_text.empty();
        m_text.append(text, length);
        if (m_text.size() >= kMost) {
            WriteLocked();
        } else if (wasEmpty) {
            m_wake.notify_all();  // only the writer waits, for the first text
        }
    }

    std::mutex lock;

private:
    static constexpr std::chrono::milliseconds kSoon{100};
    static constexpr size_t kMost = 64 * 1024;

    void Run() {
        std::unique_lock<std::mutex> guard(lock);
        while (!m_stop) {
            m_wake.wait(guard, [this] { return m_stop || !m_text.empty(); });
            // What comes within kSoon goes out in the same write.
            m_wake.wait_for(guard, kSoon, [this] { return m_stop; });
            WriteLocked();
        }
    }

    std::string m_text;
    std::condition_variable m_wake;
    std::thread m_writer;
    bool m_stop = false;
};

PendingOut g_pending;

// The width of the status line shown, 0 for none.
size_t g_statusWidth = 0;

void ClearStatusLocked() {
    if (g_statusWidth == 0) {
        return;
    }
    const std::string blank = "\r" + std::string(g_statusWidth, ' ') + "\r";
    g_statusWidth = 0;
    std::cerr.write(blank.data(), static_cast<std::streamsize>(blank.size()));
    std::cerr.flush();
}

void Write(std::ostream& stream, const CString& text, bool lineEnd) {
    std::lock_guard<std::mutex> guard(g_pending.lock);
    g_pending.WriteLocked();
    ClearStatusLocked();
    stream.write(text.Str().data(), static_cast<std::streamsize>(text.Str().size()));
    if (lineEnd) {
        stream.put('\n');
    }
    stream.flush();
}

bool OutputIsTerminal() {
    DWORD mode = 0;
    static const bool terminal = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
    return terminal;
}

}  // namespace

void AfxWriteOut(const CString& text) {
    Write(std::cout, text, false);
}

void AfxWriteOutSoon(const char* text, size_t length) {
    if (OutputIsTerminal()) {
        Write(std::cout, CString(text, static_cast<int>(length)), false);
        return;
    }
    std::lock_guard<std::mutex> guard(g_pending.lock);
    ClearStatusLocked();
    g_pending.AddLocked(text, length);
}

void AfxWriteOutLine(const CString& text) {
    Write(std::cout, text, true);
}

void AfxWriteErrLine(const CString& text) {
    Write(std::cerr, text, true);
}

void AfxShowStatus(const CString& text) {
    std::lock_guard<std::mutex> guard(g_pending.lock);
    g_pending.WriteLocked();
    const std::string& line = text.Str();
    std::string shown = "\r" + line;
    if (line.size() < g_statusWidth) {
        shown.append(g_statusWidth - line.size(), ' ');
    }
    std::cerr.write(shown.data(), static_cast<std::streamsize>(shown.size()));
    std::cerr.flush();
    g_statusWidth = line.size();
}

void AfxClearStatus() {
    std::lock_guard<std::mutex> guard(g_pending.lock);
    ClearStatusLocked();
}

CConsoleRedirect::CConsoleRedirect(std::ostream& out, std::ostream& err)
    : m_oldOut(std::cout.rdbuf()), m_oldErr(std::cerr.rdbuf()) {
    std::lock_guard<std::mutex> guard(g_pending.lock);
    g_pending.WriteLocked();
    if (&out != &std::cout) {
        std::cout.rdbuf(out.rdbuf());
    }
    if (&err != &std::cerr) {
        std::cerr.rdbuf(err.rdbuf());
    }
}

CConsoleRedirect::~CConsoleRedirect() {
    std::lock_guard<std::mutex> guard(g_pending.lock);
    g_pending.WriteLocked();
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(m_oldOut);
    std::cerr.rdbuf(m_oldErr);
}
