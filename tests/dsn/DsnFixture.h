// A fresh prefix with helpers to lay data sources out in the registry and to
// read them back with the raw registry functions.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/Console.h"
#include "platform/Win32.h"
#include "testlib/TempDir.h"

namespace vorla::test {

constexpr const char* kListKey = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

inline void MakeKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

inline void SetText(HKEY root, const std::string& path, const std::string& name,
                    const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

struct RawValue {
    bool found = false;
    DWORD type = 0;
    std::string bytes;
};

inline RawValue ReadRawValue(HKEY root, const std::string& path, const std::string& name) {
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return value;
    }
    char data[4096];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(data),
                         &size) == ERROR_SUCCESS) {
        value.found = true;
        value.bytes.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

inline std::string Text(const std::string& text) {
    return std::string(text.c_str(), text.size() + 1);
}

inline std::string Dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// Captures what the code under test writes to the two console streams
// (message boxes included).
class CapturedConsole {
public:
    CapturedConsole() : m_redirect(m_out, m_err) {}
    std::string Out() const { return m_out.str(); }
    std::string Err() const { return m_err.str(); }

private:
    std::ostringstream m_out;
    std::ostringstream m_err;
    CConsoleRedirect m_redirect;
};

}  // namespace vorla::test
