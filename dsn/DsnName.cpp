#include "dsn/DsnName.h"

#include "dsn/DsnKeys.h"

namespace {

constexpr int kMaxDsnLength = 32;
constexpr const char* kReservedCharacters = "[]{}(),;?*=!@\\";

}  // namespace

BOOL IsValidDsnName(const CString& name) {
    if (name.IsEmpty() || name.GetLength() > kMaxDsnLength) {
        return FALSE;
    }
    if (name.Str().find_first_of(kReservedCharacters) != std::string::npos) {
        return FALSE;
    }
    return name.CompareNoCase(kDataSourceListName) != 0;
}
