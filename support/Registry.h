// Registry access: one CRegistry object is attached to one registry root and
// holds at most one open key below it, its current key. Each operation is one
// registry call (or a few), records the system's status code of the last call
// it made in m_lLastStatus and returns a boolean; nothing is printed and no
// exception of the class's own is thrown (only the string and array classes
// may raise CMemoryException).
//
// Every operation is virtual, and every call from one operation to another
// goes through the virtual table, so that a derived class can change a
// building block (ReadRaw, WriteRaw, EnumSubKeyRaw, ...) for every operation
// built on it. The only direct calls are those of the constructor and the
// destructor, and those RemoveSubKey makes on the auxiliary object it uses.
#pragma once

#include "framework/CByteArray.h"
#include "framework/CObject.h"
#include "framework/CString.h"
#include "framework/CStringArray.h"
#include "framework/CTime.h"
#include "platform/Win32.h"

class CRegistry : public CObject {
    DECLARE_DYNAMIC(CRegistry)
public:
    CRegistry();
    ~CRegistry() override;
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Resets every field to its detached value; closes nothing.
    virtual void ClearState();
    // Creates (or opens) `path` below the root, with every missing key on the
    // way, and makes it the current key. A null class counts as empty. Does
    // not refresh the information fields.
    virtual BOOL CreateSubKey(LPCSTR path, LPCSTR className = nullptr,
                              DWORD options = REG_OPTION_NON_VOLATILE,
                              REGSAM access = KEY_ALL_ACCESS,
                              LPSECURITY_ATTRIBUTES security = nullptr,
                              LPDWORD disposition = nullptr);
    // Closes the current key and, with m_bCloseRoot, the root; returns to the
    // detached state. A failed close shows in the result only: m_lLastStatus
    // is 0 afterwards.
    virtual BOOL CloseKeys();
    // Attaches to `root` of the local computer (null or empty name) or of the
    // named one. HKEY_CLASSES_ROOT and HKEY_CURRENT_USER are held as the
    // predefined handles; every other root as a connected handle.
    virtual BOOL AttachRoot(HKEY root, LPCSTR computer = nullptr, BOOL closeRoot = TRUE);
    // Deletes a key: first looked for below the current key, then below the
    // root. With `recursive`, its whole tree goes first, deepest keys first.
    virtual BOOL RemoveSubKey(LPCSTR path, BOOL recursive = FALSE);
    virtual BOOL RemoveValue(LPCSTR name);
    // RegEnumKeyExA on the current key; the last-write time of the sub-key
    // goes to m_ftLastWrite. Returns the status itself.
    virtual LONG EnumSubKeyRaw(DWORD index, LPSTR name, LPDWORD nameLength, LPSTR className,
                               LPDWORD classLength);
    virtual BOOL EnumSubKeyAndClass(DWORD index, CString& name, CString& className);
    virtual BOOL EnumSubKeyName(DWORD index, CString& name);
    virtual BOOL EnumValueFull(DWORD index, CString& name, LPDWORD type, LPBYTE data,
                               LPDWORD dataLength);
    virtual BOOL EnumValueName(DWORD index, CString& name, LPDWORD type = nullptr);
    virtual BOOL EnumValueRaw(DWORD index, CString& name, LPDWORD type, LPBYTE data,
                              LPDWORD dataLength);
    virtual BOOL CommitKey();
    // Reads through a buffer of m_dwMaxValueData bytes, the size the last
    // RefreshInfo found (OpenSubKey runs it; CreateSubKey does not).
    virtual BOOL ReadBinary(LPCSTR name, CByteArray& bytes);
    virtual BOOL ReadDword(LPCSTR name, DWORD& value);
    virtual BOOL ReadSecurity(SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                              LPDWORD descriptorLength);
    // Any value's bytes up to the first NUL, at most 2048 bytes; the text is
    // emptied when the read fails.
    virtual BOOL ReadString(LPCSTR name, CString& text);
    virtual BOOL ReadMultiString(LPCSTR name, CStringArray& list);
    virtual BOOL ReadValue(LPCSTR name, CString& text);
    virtual BOOL ReadValue(LPCSTR name, CStringArray& list);
    virtual BOOL ReadValue(LPCSTR name, DWORD& value);
    virtual BOOL ReadValue(LPCSTR name, CByteArray& bytes);
    virtual BOOL LoadHive(LPCSTR subKey, LPCSTR file);
    virtual BOOL WatchChanges(HANDLE event, DWORD filter, BOOL watchSubtree, BOOL asynchronous);
    // Opens `path` (null: the root itself) below the root, HKEY_CLASSES_ROOT
    // when none is attached, and refreshes the information fields.
    virtual BOOL OpenSubKey(LPCSTR path, REGSAM access = KEY_READ);
    virtual BOOL RefreshInfo();
    // RegQueryValueExA on the current key; `type` (may be null) goes in and
    // receives the stored type. ERROR_MORE_DATA is a failure here.
    virtual BOOL ReadRaw(LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD dataLength);
    virtual BOOL ReplaceHive(LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile);
    virtual BOOL RestoreHive(LPCSTR file, DWORD flags);
    virtual BOOL SaveHive(LPCSTR file, LPSECURITY_ATTRIBUTES security);
    virtual BOOL WriteBinary(LPCSTR name, const CByteArray& bytes);
    virtual BOOL WriteDword(LPCSTR name, DWORD value);
    virtual BOOL WriteSecurity(const SECURITY_INFORMATION& information,
                               PSECURITY_DESCRIPTOR descriptor);
    // The text's bytes and its terminating NUL, as REG_SZ.
    virtual BOOL WriteString(LPCSTR name, const CString& text);
    // Each text with its NUL, then one more NUL, as REG_MULTI_SZ.
    virtual BOOL WriteMultiString(LPCSTR name, const CStringArray& list);
    virtual BOOL WriteRaw(LPCSTR name, DWORD type, const BYTE* data, DWORD dataLength);
    virtual BOOL WriteValue(LPCSTR name, const CString& text);
    virtual BOOL WriteValue(LPCSTR name, const CStringArray& list);
    virtual BOOL WriteValue(LPCSTR name, DWORD value);
    virtual BOOL WriteValue(LPCSTR name, const CByteArray& bytes);
    virtual BOOL UnloadHive(LPCSTR subKey);

    // Status code of the most recent registry call; 0 is success.
    LONG m_lLastStatus;
    // The current key: the root itself after AttachRoot, else a sub-key.
    HKEY m_hOpenKey;
    // The attached root: a predefined handle or a connected one.
    HKEY m_hRoot;
    // Information on the current key, valid after RefreshInfo. Lengths are
    // in characters without the NUL; m_dwMaxValueData is in bytes.
    DWORD m_dwMaxSubKeyName;
    DWORD m_dwMaxClass;
    DWORD m_dwMaxValueName;
    DWORD m_dwMaxValueData;
    DWORD m_dwSecurityBytes;
    // Last-write time of the current key (RefreshInfo) or of the sub-key
    // enumerated last (EnumSubKeyRaw).
    FILETIME m_ftLastWrite;
    CString m_strClass;
    // The computer the root belongs to: the name given, else this computer.
    CString m_strComputer;
    // The current key's path exactly as it was passed to the last successful
    // OpenSubKey or CreateSubKey.
    CString m_strKeyPath;
    CString m_strRootName;
    DWORD m_dwSubKeyCount;
    DWORD m_dwValueCount;
    // m_ftLastWrite of the current key in local calendar time.
    CTime m_tmLastWrite;
    BOOL m_bRemote;
    // CloseKeys also closes the root.
    BOOL m_bCloseRoot;

private:
    BOOL RemoveKey(LPCSTR path, BOOL recursive, BOOL mayUseRootPath);
    BOOL HoldsSubKey() const;
};

// The name of a predefined root ("HKEY_LOCAL_MACHINE", ...): true and the
// name written, or false and `name` untouched for a handle without one.
BOOL RootKeyName(HKEY root, CString& name);
// The predefined root of exactly that name (case included); null if none.
HKEY RootKeyFromName(const CString& name);
// Removes one trailing '\' and then, with `dropLeading`, one leading '\'.
void TrimKeyPath(CString& path, BOOL dropLeading);
// The two paths joined by one '\': the first without its trailing '\', the
// second without its leading and trailing ones.
CString JoinKeyPath(const CString& first, const CString& second);
