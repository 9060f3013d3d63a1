#include "framework/Console.h"

#include <iostream>

namespace {

void Write(std::ostream& stream, const CString& text, bool lineEnd) {
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
