#include "framework/DsnResolve.h"

#include <vector>

#include "framework/ConnectString.h"
#include "platform/HostDataSources.h"
#include "platform/Win32.h"

// unixODBC knows only the host's odbc.ini, while the program keeps its data
// sources in the registry, as it does on Windows. A data source of the
// registry store is therefore turned into a request that names its driver
// library directly and carries the data source's settings as attributes; one
// of the host's, which the registry only shows, goes to unixODBC as it is.

namespace {

constexpr char kOdbcIniKey[] = "SOFTWARE\\ODBC\\ODBC.INI\\";
// Longest value name the registry allows, and its NUL.
constexpr DWORD kMaxValueName = 16384;

// Closes a registry key on every way out.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (m_hKey != nullptr) {
            RegCloseKey(m_hKey);
        }
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(HKEY root, const CString& path) {
        return RegOpenKeyExA(root, path, 0, KEY_READ, &m_hKey) == ERROR_SUCCESS;
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// The text of a REG_SZ or REG_DWORD value; false for other types.
bool ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size, CString& text) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // Stored with its terminating NUL; the text ends at the first NUL.
        DWORD length = 0;
        while (length < size && data[length] != 0) {
            ++length;
        }
        text = CString(reinterpret_cast<const char*>(data.data()), static_cast<int>(length));
        return type == REG_SZ;
    }
    if (type == REG_DWORD && size >= sizeof(DWORD)) {
        const DWORD value = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                            (static_cast<DWORD>(data[2]) << 16) |
                            (static_cast<DWORD>(data[3]) << 24);
        text.Format("%lu", static_cast<unsigned long>(value));
        return true;
    }
    return false;
}

// Every REG_SZ and REG_DWORD value of the key, in the registry's order.
CConnectAttributes ReadValues(HKEY key) {
    CConnectAttributes values;
    std::vector<char> name(kMaxValueName);
    std::vector<BYTE> data(1024);
    for (DWORD index = 0;;) {
        DWORD nameLength = kMaxValueName;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LONG status =
            RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA && size > data.size()) {
            data.resize(size);
            continue;  // the same value again, with room for its data
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        ++index;
        CString text;
        if (ValueText(type, data, size, text)) {
            CConnectAttribute attribute;
            attribute.m_strName = CString(name.data(), static_cast<int>(nameLength));
            attribute.m_strValue = AfxQuoteConnectValue(text);
            values.push_back(attribute);
        }
    }
    return values;
}

// The data source's "Driver" value; false when it has none.
bool QueryDriver(HKEY key, CString& driver) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, "Driver", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExA(key, "Driver", nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
        return false;
    }
    return ValueText(type, data, size, driver) && !driver.IsEmpty();
}

void AddIfAbsent(CConnectAttributes& request, const CConnectAttribute& attribute) {
    if (AfxFindConnectAttribute(request, attribute.m_strName) == nullptr) {
        request.push_back(attribute);
    }
}

bool IsBraced(const CConnectAttribute& attribute) {
    return attribute.m_bHasValue && attribute.m_strValue.Left(1) == "{";
}

// A file name as a URI that SQLite opens: "file:" and the path, with every
// byte but letters, digits, "-._~" and "/" percent-encoded. An absolute path
// gets an empty authority ("file:///..."), so that one beginning with "//"
// is not read as a host name.
CString FileUri(const CString& path) {
    static const char kHex[] = "0123456789ABCDEF";
    const std::string& p = path.Str();
    CString uri(!p.empty() && p[0] == '/' ? "file://" : "file:");
    for (unsigned char c : p) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0x0F];
        }
    }
    return uri;
}

// The stand-in reads its attributes by a simpler rule than ODBC's: a value
// runs to the next ';' and braces belong to it. A value in braces cannot
// reach it whole, and the ';' inside one would make the rest of the value
// read as attributes of their own (a password could name another database
// file, or an extension to load). So the stand-in gets no value in braces:
// its database file comes as a file: URI, which needs none, and the others
// (the file as DBQ, login, password, description) belong to the desktop
// driver, which the stand-in does not read. DRIVER stays: the driver manager
// reads it, by the ODBC rule. Ordinary values pass as they stand.
void FitForStandIn(CConnectAttributes& request) {
    const CConnectAttribute* dbq = AfxFindConnectAttribute(request, "DBQ");
    const CString file = dbq->Unquoted();
    CConnectAttribute database;
    database.m_strName = "Database";
    database.m_strValue = IsBraced(*dbq) ? FileUri(file) : file;

    CConnectAttributes fitted;
    for (const CConnectAttribute& attribute : request) {
        if (!IsBraced(attribute) || attribute.m_strName.CompareNoCase("DRIVER") == 0) {
            fitted.push_back(attribute);
        }
    }
    AddIfAbsent(fitted, database);
    request.swap(fitted);
}

}  // namespace

CString AfxResolveDataSource(const CString& connect) {
    const CConnectAttributes given = AfxParseConnectString(connect);
    const CConnectAttribute* dsn = AfxFindConnectAttribute(given, "DSN");
    // A text that names its driver itself needs no data source.
    if (dsn == nullptr || AfxFindConnectAttribute(given, "DRIVER") != nullptr) {
        return connect;
    }
    const CString name = dsn->Unquoted();
    if (name.IsEmpty()) {
        return connect;
    }

    RegKey key;
    const CString path = CString(kOdbcIniKey) + name;
    if (!key.Open(HKEY_CURRENT_USER, path) && !key.Open(HKEY_LOCAL_MACHINE, path)) {
        return connect;  // no data source of that name at all
    }
    // The registry shows the host's own data sources too; the driver manager
    // knows those by name, exactly as every other ODBC program hands them.
    if (vorla::platform::IsHostDataSourceKey(key.Get())) {
        return connect;
    }
    CString driver;
    if (!QueryDriver(key.Get(), driver)) {
        return connect;
    }

    CConnectAttributes request;
    CConnectAttribute driverAttribute;
    driverAttribute.m_strName = "DRIVER";
    driverAttribute.m_strValue = AfxQuoteConnectValue(driver);
    request.push_back(driverAttribute);
    for (const CConnectAttribute& attribute : given) {
        if (attribute.m_bHasValue && attribute.m_strName.CompareNoCase("DSN") == 0) {
            continue;
        }
        request.push_back(attribute);
    }
    for (const CConnectAttribute& attribute : ReadValues(key.Get())) {
        AddIfAbsent(request, attribute);
    }
    // The desktop-database driver on this system is the SQLite stand-in,
    // which takes its file as "Database" where the Access driver reads DBQ.
    if (AfxFindConnectAttribute(request, "DBQ") != nullptr) {
        FitForStandIn(request);
    }
    return AfxJoinConnectString(request);
}
