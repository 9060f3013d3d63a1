// Standard output and standard error. Every write is flushed at once (but
// see AfxWriteOutSoon), so that lines on the two streams appear in the order
// in which they were written.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <streambuf>

#include "framework/CString.h"

// Writes the text as it stands (NUL bytes included), without a line end.
void AfxWriteOut(const CString& text);
// Writes the text to standard output soon: at once on a terminal; otherwise
// within a tenth of a second, or before anything else is written to either
// stream, whichever comes first, so that many short texts in a row leave in
// few writes and the streams still interleave in the order of writing.
void AfxWriteOutSoon(const char* text, size_t length);
// Writes the text and a line end.
void AfxWriteOutLine(const CString& text);
void AfxWriteErrLine(const CString& text);

// A status line on standard error, rewritten in place by the next call
// (a carriage return, the text, blanks over what is left of the last one)
// and cleared before anything else is written to either stream, so that it
// never stands in another line. For a terminal only.
void AfxShowStatus(const CString& text);
// Clears the status line, if one is shown.
void AfxClearStatus();

// Sends the process's standard output and standard error (std::cout and
// std::cerr, through which all of the program's console output goes) to the
// given streams for the life of the object.
class CConsoleRedirect {
public:
    CConsoleRedirect(std::ostream& out, std::ostream& err);
    ~CConsoleRedirect();
    CConsoleRedirect(const CConsoleRedirect&) = delete;
    CConsoleRedirect& operator=(const CConsoleRedirect&) = delete;

private:
    std::streambuf* m_oldOut;
    std::streambuf* m_oldErr;
};
