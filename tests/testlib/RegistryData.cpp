#include "testlib/RegistryData.h"

#include <gtest/gtest.h>

namespace vorla::test {

namespace {

void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const void* data, DWORD size) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &handle, nullptr);
    ASSERT_EQ(status, ERROR_SUCCESS) << "creating " << key;
    status = RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
    ASSERT_EQ(status, ERROR_SUCCESS) << "setting " << key << "\\" << name;
}

}  // namespace

void SetRegString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& value) {
    SetValue(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void SetRegDword(HKEY root, const std::string& key, const std::string& name, uint32_t value) {
    const DWORD data = value;
    SetValue(root, key, name, REG_DWORD, &data, sizeof(data));
}

void SetRegBinary(HKEY root, const std::string& key, const std::string& name,
                  const std::string& bytes) {
    SetValue(root, key, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void CreateRegKey(HKEY root, const std::string& key) {
    HKEY handle = nullptr;
    const LONG status = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &handle, nullptr);
    ASSERT_EQ(status, ERROR_SUCCESS) << "creating " << key;
    RegCloseKey(handle);
}

}  // namespace vorla::test
