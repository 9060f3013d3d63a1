#include "support/Registry.h"

#include <cstring>
#include <memory>
#include <new>

IMPLEMENT_DYNAMIC(CRegistry, CObject)

namespace {

// Names, classes and texts pass through buffers of this size.
constexpr DWORD kTextBufferSize = 2048;
// Value names are enumerated into a buffer that holds the longest the
// registry allows (16,383 characters) and its NUL: with a smaller one, a
// longer name would come back as ERROR_MORE_DATA without its text.
constexpr DWORD kValueNameBufferSize = 16384;
// The size GetComputerNameA is given for the local computer's name.
constexpr DWORD kComputerNameBufferSize = 260;

struct RootName {
    HKEY hRoot;
    const char* pszName;
};

// HKEY_PERFORMANCE_DATA has no name here: it is not a key the program can
// attach to by name.
const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"}, {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
};

// The text at the start of a buffer: up to its first NUL, and never beyond
// `size` bytes, since the system need not have left a NUL in the buffer.
CString TextOf(const char* buffer, DWORD size) {
    const void* nul = std::memchr(buffer, '\0', size);
    const DWORD length =
        nul != nullptr ? static_cast<DWORD>(static_cast<const char*>(nul) - buffer) : size;
    return CString(buffer, static_cast<int>(length));
}

// A heap buffer of `size` bytes, null when it cannot be had. A size of 0
// still gives a buffer: the registry must see a buffer that is too small,
// not a request for the size alone.
std::unique_ptr<BYTE[]> AllocateBuffer(DWORD size) {
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]());
}

// The status of a failed heap allocation. The C++ allocator sets no last
// error of its own, so a cleared one stands for "not enough memory".
LONG AllocationFailureStatus() {
    const DWORD error = GetLastError();
    return static_cast<LONG>(error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace

CRegistry::CRegistry() {
    CRegistry::ClearState();
}

CRegistry::~CRegistry() {
    if (m_hRoot != nullptr || m_hOpenKey != nullptr) {
        CRegistry::CloseKeys();
    }
    CRegistry::ClearState();
}

void CRegistry::ClearState() {
    m_lLastStatus = ERROR_SUCCESS;
    m_hOpenKey = nullptr;
    m_hRoot = nullptr;
    m_dwMaxSubKeyName = 0;
    m_dwMaxClass = 0;
    m_dwMaxValueName = 0;
    m_dwMaxValueData = 0;
    m_dwSecurityBytes = 0;
    m_ftLastWrite.dwLowDateTime = 0;
    m_ftLastWrite.dwHighDateTime = 0;
    m_strClass.Empty();
    m_strComputer.Empty();
    m_strKeyPath.Empty();
    m_strRootName.Empty();
    m_dwSubKeyCount = 0;
    m_dwValueCount = 0;
    m_tmLastWrite = CTime();
    m_bRemote = FALSE;
    m_bCloseRoot = TRUE;
}

// The current key is a handle of its own (to be closed) unless it is the
// root itself.
BOOL CRegistry::HoldsSubKey() const {
    return m_hOpenKey != nullptr && m_hOpenKey != m_hRoot;
}

BOOL CRegistry::CreateSubKey(LPCSTR path, LPCSTR className, DWORD options, REGSAM access,
                             LPSECURITY_ATTRIBUTES security, LPDWORD disposition) {
    if (path == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    CString trimmed(path);
    TrimKeyPath(trimmed, FALSE);
    if (HoldsSubKey()) {
        m_lLastStatus = RegCloseKey(m_hOpenKey);
    }
    CString keyClass(className);
    DWORD created = 0;
    m_lLastStatus = RegCreateKeyExA(m_hRoot, trimmed, 0, keyClass.GetBuffer(0), options, access,
                                    security, &m_hOpenKey, &created);
    if (m_lLastStatus != ERROR_SUCCESS) {
        m_hOpenKey = nullptr;
        return FALSE;
    }
    if (disposition != nullptr) {
        *disposition = created;
    }
    m_strKeyPath = path;
    return TRUE;
}

BOOL CRegistry::CloseKeys() {
    BOOL result = TRUE;
    if (HoldsSubKey()) {
        m_lLastStatus = RegCloseKey(m_hOpenKey);
        if (m_lLastStatus != ERROR_SUCCESS) {
            result = FALSE;
        }
    }
    m_hOpenKey = nullptr;
    if (m_hRoot != nullptr) {
        if (m_bCloseRoot) {
            m_lLastStatus = RegCloseKey(m_hRoot);
            if (m_lLastStatus != ERROR_SUCCESS) {
                result = FALSE;
            }
        }
        m_hRoot = nullptr;
    }
    ClearState();
    return result;
}

BOOL CRegistry::AttachRoot(HKEY root, LPCSTR computer, BOOL closeRoot) {
    if (m_hRoot != nullptr || m_hOpenKey != nullptr) {
        CloseKeys();
    }
    const BOOL previousCloseRoot = m_bCloseRoot;
    m_bCloseRoot = closeRoot;
    m_bRemote = (computer != nullptr && computer[0] != '\0') ? TRUE : FALSE;

    if (root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER) {
        // These two roots belong to the local computer and its user; the
        // registry cannot connect to them elsewhere.
        if (m_bRemote) {
            m_lLastStatus = ERROR_INVALID_HANDLE;
        } else {
            m_lLastStatus = ERROR_SUCCESS;
            m_hRoot = root;
            m_hOpenKey = root;
        }
    } else {
        m_lLastStatus = RegConnectRegistryA(computer, root, &m_hRoot);
        if (m_lLastStatus != ERROR_SUCCESS) {
            m_hRoot = nullptr;
        }
        m_hOpenKey = m_hRoot;
    }
    if (m_lLastStatus != ERROR_SUCCESS) {
        m_bCloseRoot = previousCloseRoot;
        return FALSE;
    }

    if (m_bRemote) {
        m_strComputer = computer;
    } else {
        char name[kComputerNameBufferSize] = {};
        DWORD size = kComputerNameBufferSize;
        if (GetComputerNameA(name, &size)) {
            m_strComputer = TextOf(name, kComputerNameBufferSize);
        }
    }
    // The name of the root that was asked for, also when a connected handle
    // stands for it.
    RootKeyName(root, m_strRootName);
    return TRUE;
}

BOOL CRegistry::RemoveSubKey(LPCSTR path, BOOL recursive) {
    return RemoveKey(path, recursive, TRUE);
}

// `mayUseRootPath` is false for the sub-keys of a recursive removal: each is
// addressed below its parent only, so that a key of the same name elsewhere
// below the root can never be taken for it.
BOOL CRegistry::RemoveKey(LPCSTR path, BOOL recursive, BOOL mayUseRootPath) {
    if (path == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    // The empty path stands for the root (or the current key) as a whole,
    // and removing a whole root's tree is never wanted: the refusal holds for
    // every root, not just HKEY_CLASSES_ROOT and HKEY_CURRENT_USER.
    if (recursive && path[0] == '\0') {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }

    CRegistry helper;
    if (!helper.CRegistry::AttachRoot(RootKeyFromName(m_strRootName),
                                      m_bRemote ? static_cast<LPCSTR>(m_strComputer) : "", FALSE)) {
        m_lLastStatus = helper.m_lLastStatus;
        return FALSE;
    }

    BOOL belowCurrent = FALSE;
    if (path[0] != '\\') {
        belowCurrent =
            helper.CRegistry::OpenSubKey(JoinKeyPath(m_strKeyPath, path), KEY_ALL_ACCESS);
    }
    if (!belowCurrent && (!mayUseRootPath || !helper.CRegistry::OpenSubKey(path, KEY_ALL_ACCESS))) {
        m_lLastStatus = helper.m_lLastStatus;
        return FALSE;
    }

    if (recursive) {
        // Always the first remaining sub-key: each removal shifts the others
        // down to index 0.
        CString child;
        while (helper.CRegistry::EnumSubKeyName(0, child)) {
            const BOOL removed = helper.RemoveKey(child, TRUE, FALSE);
            m_lLastStatus = helper.m_lLastStatus;
            if (!removed) {
                return FALSE;
            }
        }
    }

    if (belowCurrent) {
        m_lLastStatus = RegDeleteKeyA(m_hOpenKey, path);
    } else {
        const CString whole(path);
        const int split = whole.ReverseFind('\\');
        const CString parent = split >= 0 ? whole.Left(split) : CString();
        const CString leaf = split >= 0 ? whole.Mid(split + 1) : whole;
        if (!helper.CRegistry::OpenSubKey(parent, KEY_ALL_ACCESS)) {
            m_lLastStatus = helper.m_lLastStatus;
            return FALSE;
        }
        m_lLastStatus = RegDeleteKeyA(helper.m_hOpenKey, leaf);
        // When this object's own key was the removed one or lay below it,
        // its handle is dead: fall back to the removed key's parent.
        if (!helper.CRegistry::OpenSubKey(m_strKeyPath, KEY_READ)) {
            OpenSubKey(parent, KEY_ALL_ACCESS);
        }
    }
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::RemoveValue(LPCSTR name) {
    m_lLastStatus = RegDeleteValueA(m_hOpenKey, name);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

LONG CRegistry::EnumSubKeyRaw(DWORD index, LPSTR name, LPDWORD nameLength, LPSTR className,
                              LPDWORD classLength) {
    m_lLastStatus = RegEnumKeyExA(m_hOpenKey, index, name, nameLength, nullptr, className,
                                  classLength, &m_ftLastWrite);
    return m_lLastStatus;
}

// With ERROR_MORE_DATA the outputs take whatever text the buffers hold (the
// registry leaves the name out when it does not fit): the enumeration goes on
// past an over-long name instead of stopping there.
BOOL CRegistry::EnumSubKeyAndClass(DWORD index, CString& name, CString& className) {
    char nameBuffer[kTextBufferSize] = {};
    char classBuffer[kTextBufferSize] = {};
    DWORD nameLength = kTextBufferSize - 1;
    DWORD classLength = kTextBufferSize - 1;
    const LONG status = EnumSubKeyRaw(index, nameBuffer, &nameLength, classBuffer, &classLength);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        return FALSE;
    }
    name = TextOf(nameBuffer, kTextBufferSize);
    className = TextOf(classBuffer, kTextBufferSize);
    return TRUE;
}

BOOL CRegistry::EnumSubKeyName(DWORD index, CString& name) {
    char nameBuffer[kTextBufferSize] = {};
    DWORD nameLength = kTextBufferSize - 1;
    const LONG status = EnumSubKeyRaw(index, nameBuffer, &nameLength, nullptr, nullptr);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        return FALSE;
    }
    name = TextOf(nameBuffer, kTextBufferSize);
    return TRUE;
}

BOOL CRegistry::EnumValueFull(DWORD index, CString& name, LPDWORD type, LPBYTE data,
                              LPDWORD dataLength) {
    return EnumValueRaw(index, name, type, data, dataLength);
}

BOOL CRegistry::EnumValueName(DWORD index, CString& name, LPDWORD type) {
    return EnumValueRaw(index, name, type, nullptr, nullptr);
}

BOOL CRegistry::EnumValueRaw(DWORD index, CString& name, LPDWORD type, LPBYTE data,
                             LPDWORD dataLength) {
    std::unique_ptr<char[]> nameBuffer(new (std::nothrow) char[kValueNameBufferSize]());
    if (!nameBuffer) {
        m_lLastStatus = ERROR_OUTOFMEMORY;
        return FALSE;
    }
    DWORD nameLength = kValueNameBufferSize;
    DWORD storedType = 0;
    m_lLastStatus = RegEnumValueA(m_hOpenKey, index, nameBuffer.get(), &nameLength, nullptr,
                                  &storedType, data, dataLength);
    if (m_lLastStatus != ERROR_SUCCESS && m_lLastStatus != ERROR_MORE_DATA) {
        return FALSE;
    }
    if (type != nullptr) {
        *type = storedType;
    }
    name = TextOf(nameBuffer.get(), kValueNameBufferSize);
    return TRUE;
}

BOOL CRegistry::CommitKey() {
    m_lLastStatus = RegFlushKey(m_hOpenKey);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::ReadBinary(LPCSTR name, CByteArray& bytes) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(m_dwMaxValueData);
    if (!buffer) {
        m_lLastStatus = AllocationFailureStatus();
        return FALSE;
    }
    DWORD type = REG_BINARY;
    DWORD length = m_dwMaxValueData;
    if (!ReadRaw(name, &type, buffer.get(), &length)) {
        return FALSE;
    }
    bytes.RemoveAll();
    bytes.AddBytes(buffer.get(), static_cast<int>(length));
    return TRUE;
}

BOOL CRegistry::ReadDword(LPCSTR name, DWORD& value) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DWORD type = REG_DWORD;
    DWORD length = sizeof(DWORD);
    return ReadRaw(name, &type, reinterpret_cast<LPBYTE>(&value), &length);
}

BOOL CRegistry::ReadSecurity(SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                             LPDWORD descriptorLength) {
    if (descriptor == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegGetKeySecurity(m_hOpenKey, information, descriptor, descriptorLength);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::ReadString(LPCSTR name, CString& text) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    char buffer[kTextBufferSize] = {};
    DWORD type = REG_SZ;
    DWORD length = kTextBufferSize;
    if (!ReadRaw(name, &type, reinterpret_cast<LPBYTE>(buffer), &length)) {
        text.Empty();
        return FALSE;
    }
    // A text stored without its NUL ends with the data.
    text = TextOf(buffer, length < kTextBufferSize ? length : kTextBufferSize);
    return TRUE;
}

BOOL CRegistry::ReadMultiString(LPCSTR name, CStringArray& list) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const DWORD size = m_dwMaxValueData;
    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(size);
    if (!buffer) {
        m_lLastStatus = AllocationFailureStatus();
        return FALSE;
    }
    DWORD type = REG_MULTI_SZ;
    DWORD length = size;
    if (!ReadRaw(name, &type, buffer.get(), &length)) {
        return FALSE;
    }
    if (length > size) {
        length = size;
    }
    list.RemoveAll();
    // The final NUL that closes the list is optional: the walk stops one
    // byte short of the end, and a last text without its own NUL ends with
    // the data.
    const char* bytes = reinterpret_cast<const char*>(buffer.get());
    for (DWORD offset = 0; offset + 1 < length;) {
        const CString item = TextOf(bytes + offset, length - offset);
        list.Add(item);
        offset += static_cast<DWORD>(item.GetLength()) + 1;
    }
    return TRUE;
}

BOOL CRegistry::ReadValue(LPCSTR name, CString& text) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return ReadString(name, text);
}

BOOL CRegistry::ReadValue(LPCSTR name, CStringArray& list) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return ReadMultiString(name, list);
}

BOOL CRegistry::ReadValue(LPCSTR name, DWORD& value) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return ReadDword(name, value);
}

BOOL CRegistry::ReadValue(LPCSTR name, CByteArray& bytes) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return ReadBinary(name, bytes);
}

BOOL CRegistry::LoadHive(LPCSTR subKey, LPCSTR file) {
    if (subKey == nullptr || file == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegLoadKeyA(m_hRoot, subKey, file);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::WatchChanges(HANDLE event, DWORD filter, BOOL watchSubtree, BOOL asynchronous) {
    m_lLastStatus = RegNotifyChangeKeyValue(m_hOpenKey, watchSubtree, filter, event, asynchronous);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::OpenSubKey(LPCSTR path, REGSAM access) {
    if (m_hRoot == nullptr) {
        m_hRoot = HKEY_CLASSES_ROOT;
    }
    if (HoldsSubKey()) {
        m_lLastStatus = RegCloseKey(m_hOpenKey);
    }
    CString trimmed(path);
    TrimKeyPath(trimmed, FALSE);
    m_lLastStatus = RegOpenKeyExA(m_hRoot, trimmed, 0, access, &m_hOpenKey);
    if (m_lLastStatus != ERROR_SUCCESS) {
        m_hOpenKey = nullptr;
        return FALSE;
    }
    // A key opened without the right to query still counts as open; the
    // refusal stays visible in m_lLastStatus.
    RefreshInfo();
    m_strKeyPath = path;
    return TRUE;
}

BOOL CRegistry::RefreshInfo() {
    char classBuffer[kTextBufferSize] = {};
    DWORD classLength = kTextBufferSize - 1;
    m_lLastStatus =
        RegQueryInfoKeyA(m_hOpenKey, classBuffer, &classLength, nullptr, &m_dwSubKeyCount,
                         &m_dwMaxSubKeyName, &m_dwMaxClass, &m_dwValueCount, &m_dwMaxValueName,
                         &m_dwMaxValueData, &m_dwSecurityBytes, &m_ftLastWrite);
    if (m_lLastStatus != ERROR_SUCCESS) {
        return FALSE;
    }
    m_strClass = TextOf(classBuffer, kTextBufferSize);
    m_tmLastWrite = CTime(m_ftLastWrite);
    return TRUE;
}

BOOL CRegistry::ReadRaw(LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD dataLength) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DWORD storedType = type != nullptr ? *type : REG_NONE;
    m_lLastStatus = RegQueryValueExA(m_hOpenKey, name, nullptr, &storedType, data, dataLength);
    if (m_lLastStatus != ERROR_SUCCESS) {
        return FALSE;
    }
    if (type != nullptr) {
        *type = storedType;
    }
    return TRUE;
}

BOOL CRegistry::ReplaceHive(LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile) {
    if (subKey == nullptr || newFile == nullptr || oldFile == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegReplaceKeyA(m_hOpenKey, subKey, newFile, oldFile);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::RestoreHive(LPCSTR file, DWORD flags) {
    if (file == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegRestoreKeyA(m_hOpenKey, file, flags);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::SaveHive(LPCSTR file, LPSECURITY_ATTRIBUTES security) {
    if (file == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegSaveKeyA(m_hOpenKey, file, security);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::WriteBinary(LPCSTR name, const CByteArray& bytes) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const DWORD size = static_cast<DWORD>(bytes.GetSize());
    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(size);
    if (!buffer) {
        m_lLastStatus = AllocationFailureStatus();
        return FALSE;
    }
    if (size != 0) {
        std::memcpy(buffer.get(), bytes.GetData(), size);
    }
    return WriteRaw(name, REG_BINARY, buffer.get(), size);
}

BOOL CRegistry::WriteDword(LPCSTR name, DWORD value) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteRaw(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(DWORD));
}

BOOL CRegistry::WriteSecurity(const SECURITY_INFORMATION& information,
                              PSECURITY_DESCRIPTOR descriptor) {
    if (descriptor == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegSetKeySecurity(m_hOpenKey, information, descriptor);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::WriteString(LPCSTR name, const CString& text) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteRaw(name, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                    static_cast<DWORD>(text.GetLength()) + 1);
}

BOOL CRegistry::WriteMultiString(LPCSTR name, const CStringArray& list) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DWORD size = 1;
    for (int i = 0; i < list.GetSize(); ++i) {
        size += static_cast<DWORD>(list[i].GetLength()) + 1;
    }
    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(size);
    if (!buffer) {
        m_lLastStatus = AllocationFailureStatus();
        return FALSE;
    }
    // The buffer comes zero-filled: each text's NUL and the closing one are
    // already in place.
    DWORD offset = 0;
    for (int i = 0; i < list.GetSize(); ++i) {
        const DWORD length = static_cast<DWORD>(list[i].GetLength());
        std::memcpy(buffer.get() + offset, list[i].GetString(), length);
        offset += length + 1;
    }
    return WriteRaw(name, REG_MULTI_SZ, buffer.get(), size);
}

BOOL CRegistry::WriteRaw(LPCSTR name, DWORD type, const BYTE* data, DWORD dataLength) {
    if (name == nullptr || data == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegSetValueExA(m_hOpenKey, name, 0, type, data, dataLength);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CRegistry::WriteValue(LPCSTR name, const CString& text) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteString(name, text);
}

BOOL CRegistry::WriteValue(LPCSTR name, const CStringArray& list) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteMultiString(name, list);
}

BOOL CRegistry::WriteValue(LPCSTR name, DWORD value) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteDword(name, value);
}

BOOL CRegistry::WriteValue(LPCSTR name, const CByteArray& bytes) {
    if (name == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return WriteBinary(name, bytes);
}

BOOL CRegistry::UnloadHive(LPCSTR subKey) {
    if (subKey == nullptr) {
        m_lLastStatus = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_lLastStatus = RegUnLoadKeyA(m_hOpenKey, subKey);
    return m_lLastStatus == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL RootKeyName(HKEY root, CString& name) {
    for (const RootName& row : kRootNames) {
        if (row.hRoot == root) {
            name = row.pszName;
            return TRUE;
        }
    }
    return FALSE;
}

HKEY RootKeyFromName(const CString& name) {
    for (const RootName& row : kRootNames) {
        if (_mbscmp(reinterpret_cast<const unsigned char*>(row.pszName),
                    reinterpret_cast<const unsigned char*>(static_cast<const char*>(name))) == 0) {
            return row.hRoot;
        }
    }
    return nullptr;
}

void TrimKeyPath(CString& path, BOOL dropLeading) {
    if (path.IsEmpty()) {
        return;
    }
    if (path[path.GetLength() - 1] == '\\') {
        path = path.Left(path.GetLength() - 1);
    }
    if (dropLeading && !path.IsEmpty() && path[0] == '\\') {
        path = path.Mid(1);
    }
}

CString JoinKeyPath(const CString& first, const CString& second) {
    CString head(first);
    CString tail(second);
    TrimKeyPath(head, FALSE);
    TrimKeyPath(tail, TRUE);
    return head + "\\" + tail;
}
