// Writing registry data for tests through the Win32 registry API (on POSIX
// the platform's store in the current VORLA_PREFIX). Each call fails the test
// when the registry refuses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32.h"

namespace vorla::test {

// Sets a REG_SZ value (written with its terminating NUL, as the program does)
// in `key` below `root`, creating the key when needed.
void SetRegString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& value);
void SetRegDword(HKEY root, const std::string& key, const std::string& name, uint32_t value);
void SetRegBinary(HKEY root, const std::string& key, const std::string& name,
                  const std::string& bytes);
// Creates the key without values.
void CreateRegKey(HKEY root, const std::string& key);

}  // namespace vorla::test
