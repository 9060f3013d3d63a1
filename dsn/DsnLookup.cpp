#include "dsn/DsnLookup.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

// Every name listed under one root's data-source list, in list order.
void ListUnder(HKEY root, const CString& listKey, std::vector<CString>* names) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, listKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    char buffer[2048];
    for (DWORD index = 0;; ++index) {
        DWORD capacity = sizeof buffer;
        DWORD type = 0;
        if (RegEnumValueA(key, index, buffer, &capacity, nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names->emplace_back(buffer);
    }
    RegCloseKey(key);
}

// The number of letters to add, remove or change to make `a` into `b`, with
// letter case ignored.
size_t EditDistance(const CString& a, const CString& b) {
    CString x = a;
    CString y = b;
    x.MakeUpper();
    y.MakeUpper();
    const std::string& s = x.Str();
    const std::string& t = y.Str();
    std::vector<size_t> row(t.size() + 1);
    for (size_t j = 0; j <= t.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= s.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= t.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (s[i - 1] != t[j - 1])});
            diagonal = above;
        }
    }
    return row[t.size()];
}

}  // namespace

std::vector<CString> CloseDsnNames(const CString& name, size_t most) {
    CString listKey;
    listKey.Format("%s%s", kOdbcIniPrefix, kDataSourceListName);
    std::vector<CString> listed;
    ListUnder(HKEY_CURRENT_USER, listKey, &listed);
    ListUnder(HKEY_LOCAL_MACHINE, listKey, &listed);
    CString upper = name;
    upper.MakeUpper();
    std::vector<std::pair<size_t, CString>> close;
    for (const CString& candidate : listed) {
        CString other = candidate;
        other.MakeUpper();
        const size_t distance = EditDistance(name, candidate);
        const bool contains = !upper.IsEmpty() && !other.IsEmpty() &&
                              (other.Find(upper) >= 0 || upper.Find(other) >= 0);
        if (distance <= std::max<size_t>(1, static_cast<size_t>(name.GetLength()) / 3) ||
            contains) {
            close.emplace_back(distance, candidate);
        }
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<CString> names;
    for (const auto& entry : close) {
        if (names.size() < most && std::none_of(names.begin(), names.end(), [&](const CString& n) {
                return n.CompareNoCase(entry.second) == 0;
            })) {
            names.push_back(entry.second);
        }
    }
    return names;
}

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
