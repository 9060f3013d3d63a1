// Value types and data as the reg command writes and reads them: type names,
// the data column of query, and the /d text of add turned into bytes.
#pragma once

#include <string>
#include <vector>

#include "platform/Win32.h"

namespace vorlareg {

// "REG_SZ", ...; "REG_UNKNOWN" for a type without a name.
std::string TypeName(DWORD type);

// The types that add accepts with /t (case ignored); false for any other.
bool TypeFromName(const std::string& name, DWORD& type);

// The data column of query: texts up to their first NUL, numbers as 0x%x,
// multi-strings joined by the two characters \0, anything else as
// upper-case hex digits.
std::string FormatData(DWORD type, const std::string& bytes);

// The bytes that add stores for /d text of the type. Texts get their NUL;
// numbers are decimal or 0x hexadecimal; binary data is hex digits (an odd
// count reads as if led by a 0); a multi-string is split at the separator
// (empty: the two characters \0). False for data the type cannot take.
bool ParseData(DWORD type, const std::string& text, const std::string& separator,
               std::string& bytes);

// The texts of a multi-string value, cut as the registry access class cuts
// them.
std::vector<std::string> SplitMultiString(const std::string& bytes);

// The value of one hexadecimal digit, or -1 for any other character.
int HexDigit(char c);

}  // namespace vorlareg
