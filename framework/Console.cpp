#include "framework/Console.h"

#include <iostream>
#include <string>

namespace {

// The width of the status line shown, 0 for none.
size_t g_statusWidth = 0;

void Write(std::ostream& stream, const CString& text, bool lineEnd) {
    AfxClearStatus();
    stream.write(text.Str().data(), static_cast<std::streamsize>(text.Str().size()));
    if (lineEnd) {
        stream.put('\n');
    }
    stream.flush();
}

}  // namespace

void AfxWriteOut(const CString& text) {
    Write(std::cout, text, false);
}

void AfxWriteOutLine(const CString& text) {
    Write(std::cout, text, true);
}

void AfxWriteErrLine(const CString& text) {
    Write(std::cerr, text, true);
}

void AfxShowStatus(const CString& text) {
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
    if (g_statusWidth == 0) {
        return;
    }
    const std::string blank = "\r" + std::string(g_statusWidth, ' ') + "\r";
    g_statusWidth = 0;
    std::cerr.write(blank.data(), static_cast<std::streamsize>(blank.size()));
    std::cerr.flush();
}

CConsoleRedirect::CConsoleRedirect(std::ostream& out, std::ostream& err)
    : m_oldOut(std::cout.rdbuf()), m_oldErr(std::cerr.rdbuf()) {
    if (&out != &std::cout) {
        std::cout.rdbuf(out.rdbuf());
    }
    if (&err != &std::cerr) {
        std::cerr.rdbuf(err.rdbuf());
    }
}

CConsoleRedirect::~CConsoleRedirect() {
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(m_oldOut);
    std::cerr.rdbuf(m_oldErr);
}
