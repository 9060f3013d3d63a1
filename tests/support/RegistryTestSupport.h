// Helpers for the registry tests: each test runs against the real registry
// store in a fresh prefix, and checks what CRegistry did with the Win32
// functions directly, independent of the class under test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Win32.h"
#include "support/Registry.h"
#include "testlib/TempDir.h"

namespace vorla::test {

// A raw value as the store holds it.
struct RawValue {
    LONG status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::string bytes;
};

inline bool KeyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

inline void MakeKey(HKEY root, const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

inline void SetRaw(HKEY root, const char* path, const char* name, DWORD type,
                   const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline RawValue GetRaw(HKEY root, const char* path, const char* name) {
    RawValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    value.status = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.bytes.assign(size, '\0');
        value.status = RegQueryValueExA(key, name, nullptr, &value.type,
                                        reinterpret_cast<LPBYTE>(&value.bytes[0]), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

inline DWORD CountValues(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0xFFFFFFFF;
    }
    DWORD values = 0;
    DWORD subKeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return values + subKeys;
}

inline std::vector<CString> ToVector(const CStringArray& array) {
    std::vector<CString> items;
    for (int i = 0; i < array.GetSize(); ++i) {
        items.push_back(array[i]);
    }
    return items;
}

// Each test owns a fresh store.
class RegistryTest : public testing::Test {
protected:
    ScopedPrefix m_prefix;
};

}  // namespace vorla::test
