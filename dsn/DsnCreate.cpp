#include "dsn/DsnCreate.h"

#include <cstring>

#include "dsn/DsnKeys.h"
#include "dsn/DsnLookup.h"
#include "dsn/DsnName.h"
#include "framework/App.h"
#include "platform/NameClaim.h"
#include "platform/PathSeparator.h"
#include "support/FileSystem.h"

char g_szDriverPath[256];

namespace {

constexpr const char* kDriverFileName = "odbcjt32.dll";
constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";
constexpr UINT kWarningBox = MB_ICONEXCLAMATION | MB_OK;

// Fills g_szDriverPath. A system directory that leaves no room in the buffer
// for the separator, the driver's file name and the NUL counts as not found,
// like a failed query, so the buffer is never overrun.
BOOL FillDriverPath() {
    const UINT capacity = sizeof g_szDriverPath;
    const UINT length = GetSystemDirectoryA(g_szDriverPath, capacity);
    const size_t suffix = std::strlen(kPathSeparatorText) + std::strlen(kDriverFileName);
    if (length == 0 || length >= capacity || length + suffix + 1 > capacity) {
        g_szDriverPath[0] = '\0';
        return FALSE;
    }
    std::strcat(g_szDriverPath, kPathSeparatorText);
    std::strcat(g_szDriverPath, kDriverFileName);
    return TRUE;
}

}  // namespace

BOOL WriteStringOrClose(CRegistry& reg, LPCSTR name, const CString& text) {
    if (!reg.WriteValue(name, text)) {
        reg.CloseKeys();
        return FALSE;
    }
    return TRUE;
}

BOOL WriteDwordOrClose(CRegistry& reg, LPCSTR name, DWORD value) {
    if (!reg.WriteValue(name, value)) {
        reg.CloseKeys();
        return FALSE;
    }
    return TRUE;
}

BOOL WriteDsnValues(CRegistry& reg, const CString& keyPath, const CString& description,
                    const CString& databasePath, HKEY root) {
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    if (!reg.OpenSubKey(keyPath, KEY_WRITE)) {
        reg.CloseKeys();
        return FALSE;
    }
    if (!WriteStringOrClose(reg, "DBQ", databasePath)) {
        reg.CloseKeys();
        AfxMessageBox("Cannot create DBQ Key.", kWarningBox, 0);
        return FALSE;
    }
    if (!WriteStringOrClose(reg, "Description", description) ||
        !WriteStringOrClose(reg, "Driver", g_szDriverPath) ||
        !WriteDwordOrClose(reg, "DriverId", 25) || !WriteStringOrClose(reg, "FIL", "MS Access;") ||
        !WriteDwordOrClose(reg, "SafeTransactions", 0) || !WriteStringOrClose(reg, "UID", "")) {
        reg.CloseKeys();
        return FALSE;
    }
    reg.CloseKeys();
    return TRUE;
}

BOOL WriteJetValues(CRegistry& reg, const CString& keyPath, HKEY root) {
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    if (!reg.OpenSubKey(keyPath, KEY_WRITE)) {
        reg.CloseKeys();
        return FALSE;
    }
    if (!WriteStringOrClose(reg, "ImplicitCommitSync", "Yes")) {
        reg.CloseKeys();
        AfxMessageBox("Cannot create ICS Key.", kWarningBox, 0);
        return FALSE;
    }
    if (!WriteStringOrClose(reg, "UserCommitSync", "Yes") ||
        !WriteDwordOrClose(reg, "MaxBufferSize", 512) ||
        !WriteDwordOrClose(reg, "PageTimeout", 5) || !WriteDwordOrClose(reg, "Threads", 3)) {
        reg.CloseKeys();
        return FALSE;
    }
    reg.CloseKeys();
    return TRUE;
}

BOOL AddDataSourceEntry(CRegistry& reg, const CString& listKeyPath, const CString& name,
                        const CString& driverName, HKEY root) {
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    // The list key is never created here: an installation makes it.
    if (!reg.OpenSubKey(listKeyPath, KEY_WRITE)) {
        reg.CloseKeys();
        return FALSE;
    }
    if (!WriteStringOrClose(reg, name, driverName)) {
        reg.CloseKeys();
        AfxMessageBox("Cannot create ICS Key.", kWarningBox, 0);
        return FALSE;
    }
    reg.CloseKeys();
    return TRUE;
}

BOOL CreateDsn(const CString& name, const CString& description, const CString& databasePath,
               HKEY root, BOOL* taken) {
    if (taken != nullptr) {
        *taken = FALSE;
    }
    // A name ODBC does not allow, or the list key's own, would write a data
    // source's values where they do not belong; nothing is written for it.
    if (!IsValidDsnName(name)) {
        return FALSE;
    }
    if (!FillDriverPath()) {
        return FALSE;
    }
    CFileSystem fs;
    if (!fs.PathExists(g_szDriverPath)) {
        return FALSE;
    }

    // A name chosen for this run is held by it until it ends: of runs that
    // chose one free name at the same moment, one holds it and the others
    // move on, and a key that a dead run left without its list entry is
    // this run's to use.
    if (taken != nullptr && !vorla::platform::ClaimName(name)) {
        *taken = TRUE;
        return FALSE;
    }

    CRegistry reg;
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    const CString odbcIni = "SOFTWARE\\ODBC\\ODBC.INI";
    if (!reg.OpenSubKey(odbcIni, KEY_ALL_ACCESS) &&
        !reg.CreateSubKey(odbcIni, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          nullptr)) {
        return FALSE;
    }

    CString keyPath = CString(kOdbcIniPrefix) + name;
    const CString dsnKeyPath = keyPath;
    const char* const suffixes[] = {nullptr, "\\Engines", "\\Jet"};
    for (const char* suffix : suffixes) {
        if (suffix != nullptr) {
            keyPath += suffix;
        }
        DWORD disposition = 0;
        if (!reg.CreateSubKey(keyPath, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &disposition)) {
            reg.CloseKeys();
            return FALSE;
        }
        // A key that is there already belongs to a data source when it is
        // listed; else a dead run left it, and its values are written anew.
        if (suffix == nullptr && taken != nullptr && disposition != REG_CREATED_NEW_KEY &&
            DsnExists(name)) {
            reg.CloseKeys();
            *taken = TRUE;
            return FALSE;
        }
    }
    reg.CloseKeys();

    if (!WriteDsnValues(reg, dsnKeyPath, description, databasePath, root)) {
        return FALSE;
    }
    if (!WriteJetValues(reg, keyPath, root)) {
        return FALSE;
    }
    CString listKeyPath;
    listKeyPath.Format("%s%s", kOdbcIniPrefix, kDataSourceListName);
    return AddDataSourceEntry(reg, listKeyPath, name, kDriverName, root);
}
