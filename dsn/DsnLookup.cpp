#include "dsn/DsnLookup.h"

#include <cstring>

#include "dsn/DsnKeys.h"

namespace {

// Scans the data-source list of one root for `name`. A list key that cannot
// be opened lists nothing; an enumeration status other than success or
// ERROR_MORE_DATA ends the scan.
BOOL ListedUnder(HKEY root, const CString& listKey, const CString& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, listKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return FALSE;
    }
    char buffer[2048];
    std::memset(buffer, 0, sizeof buffer);
    BOOL found = FALSE;
    for (DWORD index = 0; !found; ++index) {
        DWORD capacity = sizeof buffer;
        DWORD type = 0;
        const LONG status =
            RegEnumValueA(key, index, buffer, &capacity, nullptr, &type, nullptr, nullptr);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            break;
        }
        // A name too long for the buffer leaves it holding whatever it held;
        // it is compared as it stands, and never read past its end.
        buffer[sizeof buffer - 1] = '\0';
        found = _mbsicmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(name)),
                         reinterpret_cast<const unsigned char*>(buffer)) == 0;
    }
    RegCloseKey(key);
    return found;
}

}  // namespace

BOOL DsnExists(const CString& name) {
    CString listKey;
    listKey.Format("%s%s", kOdbcIniPrefix, kDataSourceListName);
    const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    for (HKEY root : roots) {
        if (ListedUnder(root, listKey, name)) {
            return TRUE;
        }
    }
    return FALSE;
}

// Each candidate rescans both lists from the start: the lowest free number
// wins, also below the highest one in use.
void MakeTempDsnName(CString& name, LONG* counter) {
    LONG number = counter != nullptr ? *counter : 0;
    do {
        ++number;
        name.Format("VORLA%ld", static_cast<long>(number));
    } while (DsnExists(name));
    if (counter != nullptr) {
        *counter = number;
    }
}
