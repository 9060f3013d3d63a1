#include "framework/CString.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "framework/CException.h"
#include "framework/StringTable.h"

namespace {

// Allocation failures inside the string become the framework's memory
// exception, which the program's callers catch.
template <typename F>
void Guard(F&& f) {
    try {
        f();
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    } catch (const std::length_error&) {
        AfxThrowMemoryException();
    }
}

size_t Clamp(int value, size_t limit) {
    if (value < 0) {
        return 0;
    }
    return static_cast<size_t>(value) > limit ? limit : static_cast<size_t>(value);
}

}  // namespace

CString::CString(const char* data, int length) {
    Guard([&] { m_text.assign(data, Clamp(length, data ? static_cast<size_t>(length) : 0)); });
}

CString::CString(char ch, int repeat) {
    Guard([&] { m_text.assign(Clamp(repeat, static_cast<size_t>(repeat)), ch); });
}

CString& CString::operator=(const char* text) {
    Guard([&] { m_text.assign(text != nullptr ? text : ""); });
    return *this;
}

CString& CString::operator=(char ch) {
    Guard([&] { m_text.assign(1, ch); });
    return *this;
}

CString& CString::operator+=(const CString& text) {
    Guard([&] { m_text += text.m_text; });
    return *this;
}

CString& CString::operator+=(const char* text) {
    Guard([&] { m_text += (text != nullptr ? text : ""); });
    return *this;
}

CString& CString::operator+=(char ch) {
    Guard([&] { m_text += ch; });
    return *this;
}

void CString::Append(const char* data, int length) {
    Guard([&] { m_text.append(data, Clamp(length, static_cast<size_t>(length))); });
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const char* b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const char* a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, char b) {
    CString result(a);
    result += b;
    return result;
}

int CString::Compare(const char* text) const {
    int r = std::strcmp(m_text.c_str(), text != nullptr ? text : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* text) const {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(m_text.c_str()),
                    reinterpret_cast<const unsigned char*>(text != nullptr ? text : ""));
}

CString CString::Left(int count) const {
    CString result;
    Guard([&] { result.m_text = m_text.substr(0, Clamp(count, m_text.size())); });
    return result;
}

CString CString::Right(int count) const {
    size_t n = Clamp(count, m_text.size());
    CString result;
    Guard([&] { result.m_text = m_text.substr(m_text.size() - n); });
    return result;
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    size_t start = Clamp(first, m_text.size());
    size_t n = Clamp(count, m_text.size() - start);
    CString result;
    Guard([&] { result.m_text = m_text.substr(start, n); });
    return result;
}

int CString::Find(char ch, int start) const {
    if (start < 0 || static_cast<size_t>(start) >= m_text.size()) {
        return -1;
    }
    size_t pos = m_text.find(ch, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const {
    if (sub == nullptr || start < 0 || static_cast<size_t>(start) > m_text.size()) {
        return -1;
    }
    size_t pos = m_text.find(sub, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
    size_t pos = m_text.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const char* chars) const {
    size_t pos = m_text.find_first_of(chars != nullptr ? chars : "");
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_text.size() && IsAsciiSpace(static_cast<unsigned char>(m_text[i]))) {
        ++i;
    }
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = m_text.size();
    while (n > 0 && IsAsciiSpace(static_cast<unsigned char>(m_text[n - 1]))) {
        --n;
    }
    m_text.resize(n);
    return *this;
}

CString& CString::Trim() {
    TrimRight();
    return TrimLeft();
}

CString& CString::MakeUpper() {
    for (char& c : m_text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return *this;
}

CString& CString::MakeLower() {
    for (char& c : m_text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return *this;
}

int CString::Replace(char oldCh, char newCh) {
    int count = 0;
    for (char& c : m_text) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) {
        m_text.clear();
        return;
    }
    Guard([&] {
        std::vector<char> buf(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        m_text.assign(buf.data(), static_cast<size_t>(needed));
    });
}

BOOL CString::LoadString(UINT id) {
    const char* text = AfxLookupString(id);
    if (text == nullptr) {
        m_text.clear();
        return FALSE;
    }
    *this = text;
    return TRUE;
}

char* CString::GetBuffer(int minLength) {
    Guard([&] {
        if (static_cast<size_t>(minLength > 0 ? minLength : 0) > m_text.size()) {
            m_text.resize(static_cast<size_t>(minLength));
        }
    });
    return &m_text[0];
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) {
        m_text.resize(std::strlen(m_text.c_str()));
    } else {
        m_text.resize(Clamp(newLength, m_text.size()));
    }
}
