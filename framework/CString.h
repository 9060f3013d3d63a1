// The framework's byte-string class. Texts are bytes in the system's ANSI
// code page (UTF-8 on POSIX); a CString may hold NUL bytes, and its length is
// always the number of bytes it holds.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/Win32.h"

class CString {
public:
    CString() = default;
    CString(const char* text)
        : m_text(text != nullptr ? text : "") {}  // NOLINT: implicit, as callers expect
    CString(const char* data, int length);
    CString(char ch, int repeat = 1);
    CString(const std::string& text) : m_text(text) {}  // NOLINT
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    char GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { m_text.at(static_cast<size_t>(index)) = ch; }

    // The text up to its first NUL, as the C functions see it.
    operator const char*() const { return m_text.c_str(); }  // NOLINT: implicit, as callers expect
    const char* GetString() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }
    // Exchanges the text with `text`, buffers and all: a caller that keeps
    // one string for many texts allocates none in the steady state.
    void Swap(std::string& text) noexcept { m_text.swap(text); }
    void Swap(CString& other) noexcept { m_text.swap(other.m_text); }

    CString& operator+=(const CString& text);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    void Append(const char* data, int length);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);

    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator==(const char* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    // Positions are byte offsets; -1 when not found.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* chars) const;

    // Remove whitespace (bytes 9 to 13 and 32) at either end.
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim();

    CString& MakeUpper();
    CString& MakeLower();
    int Replace(char oldCh, char newCh);

    // printf-style formatting into this string.
    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void FormatV(const char* format, va_list args);

    // Loads the text of a string-table entry; false and the string emptied
    // when the table has no such id.
    BOOL LoadString(UINT id);

    // Direct access to a buffer of at least `minLength` bytes plus a NUL;
    // ReleaseBuffer sets the length (-1: up to the first NUL).
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

private:
    std::string m_text;
};

// Whitespace as the C library's isspace sees it in the "C" locale.
inline bool IsAsciiSpace(unsigned char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}
