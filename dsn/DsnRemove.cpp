#include "dsn/DsnRemove.h"

#include "dsn/DsnKeys.h"
#include "framework/CException.h"

BOOL ReadDbq(const CString& name, CString& databasePath, HKEY root) {
    const CString keyPath = CString(kOdbcIniPrefix) + name;
    CRegistry reg;
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    if (!reg.OpenSubKey(keyPath, KEY_READ)) {
        reg.CloseKeys();
        return FALSE;
    }
    if (!reg.ReadValue("DBQ", databasePath)) {
        reg.CloseKeys();
        return FALSE;
    }
    reg.CloseKeys();
    return !databasePath.IsEmpty();
}

BOOL DsnHasDbq(const CString& name, CString& databasePath) {
    if (ReadDbq(name, databasePath, HKEY_CURRENT_USER)) {
        return TRUE;
    }
    return ReadDbq(name, databasePath, HKEY_LOCAL_MACHINE);
}

// Nothing is deleted while collecting, so the enumeration indexes stay valid.
BOOL CollectSubKeys(CRegistry& reg, const CString& path, CStringList& list, HKEY root) {
    CString subKey;
    CString className;
    for (DWORD index = 0; reg.EnumSubKeyAndClass(index, subKey, className); ++index) {
        const CString childPath = path + "\\" + subKey;
        CRegistry child;
        if (!child.AttachRoot(root, nullptr, TRUE) ||
            !child.OpenSubKey(childPath, KEY_ALL_ACCESS) ||
            !CollectSubKeys(child, childPath, list, root)) {
            return FALSE;
        }
        child.CloseKeys();
    }
    try {
        list.AddTail(path);
    } catch (CMemoryException* e) {
        e->ReportError(MB_OK, 0);
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

// A collection that fails deletes nothing and reports false, so that the run
// says the temporary data source could not be removed instead of leaving it
// behind without a word.
BOOL RemoveDsn(const CString& name, HKEY root) {
    CRegistry reg;
    if (!reg.AttachRoot(root, nullptr, TRUE)) {
        return FALSE;
    }
    const CString keyPath = CString(kOdbcIniPrefix) + name;
    if (!reg.OpenSubKey(keyPath, KEY_ALL_ACCESS)) {
        return FALSE;
    }
    CStringList keys(10);
    if (!CollectSubKeys(reg, keyPath, keys, root)) {
        return FALSE;
    }
    for (POSITION pos = keys.GetHeadPosition(); pos != nullptr;) {
        const CString& path = keys.GetNext(pos);
        if (!reg.RemoveSubKey(path, FALSE)) {
            return FALSE;
        }
    }
    CString listKeyPath;
    listKeyPath.Format("%s%s", kOdbcIniPrefix, kDataSourceListName);
    if (reg.OpenSubKey(listKeyPath, KEY_ALL_ACCESS)) {
        reg.RemoveValue(name);
    }
    reg.CloseKeys();
    return TRUE;
}
