#include "platform/DataSourceResolve.h"

#include "ConnectText.h"
#include "OdbcNames.h"

#include "platform/HostDataSources.h"
#include "platform/Odbc.h"

#include <limits>
#include <vector>

// The connection text as unixODBC should get it: a data source of the
// registry store becomes a request that names its driver library directly
// and carries the data source's settings as attributes.

namespace vorla::platform {

namespace {

using odbc::Attribute;
using odbc::Attributes;

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

    bool Open(HKEY root, const std::string& path) {
        return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &m_hKey) == ERROR_SUCCESS;
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// The text of a REG_SZ or REG_DWORD value; false for other types.
bool ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size, std::string& text) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // Stored with its terminating NUL; the text ends at the first NUL.
        DWORD length = 0;
        while (length < size && data[length] != 0) {
            ++length;
        }
        text.assign(reinterpret_cast<const char*>(data.data()), length);
        return type == REG_SZ;
    }
    if (type == REG_DWORD && size >= sizeof(DWORD)) {
        const DWORD value = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                            (static_cast<DWORD>(data[2]) << 16) |
                            (static_cast<DWORD>(data[3]) << 24);
        text = std::to_string(value);
        return true;
    }
    return false;
}

// Every REG_SZ and REG_DWORD value of the key, in the registry's order.
Attributes ReadValues(HKEY key) {
    Attributes values;
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
        std::string text;
        if (ValueText(type, data, size, text)) {
            Attribute attribute;
            attribute.name.assign(name.data(), nameLength);
            attribute.value = odbc::Quote(text);
            values.push_back(attribute);
        }
    }
    return values;
}

// The data source's "Driver" value; false when it has none.
bool QueryDriver(HKEY key, std::string& driver) {
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
    return ValueText(type, data, size, driver) && !driver.empty();
}

void AddIfAbsent(Attributes& request, const Attribute& attribute) {
    if (odbc::Find(request, attribute.name.c_str()) == nullptr) {
        request.push_back(attribute);
    }
}

// A file name as a URI that SQLite opens: "file:" and the path, with every
// byte but letters, digits, "-._~" and "/" percent-encoded. An absolute path
// gets an empty authority ("file:///..."), so that one beginning with "//"
// is not read as a host name.
std::string FileUri(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri(!path.empty() && path[0] == '/' ? "file://" : "file:");
    for (unsigned char c : path) {
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

bool SameName(const std::string& a, const char* b) {
    Attributes one(1);
    one[0].name = a;
    return odbc::Find(one, b) != nullptr;
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
void FitForStandIn(Attributes& request) {
    const Attribute* dbq = odbc::Find(request, "DBQ");
    const std::string file = dbq->Unquoted();
    Attribute database;
    database.name = "Database";
    database.value = dbq->Braced() ? FileUri(file) : file;

    Attributes fitted;
    for (const Attribute& attribute : request) {
        if (!attribute.Braced() || SameName(attribute.name, "DRIVER")) {
            fitted.push_back(attribute);
        }
    }
    AddIfAbsent(fitted, database);
    request.swap(fitted);
}

}  // namespace

std::string ResolveDataSource(const std::string& connect) {
    const Attributes given = odbc::Parse(connect);
    const Attribute* dsn = odbc::Find(given, "DSN");
    // A text that names its driver itself needs no data source.
    if (dsn == nullptr || odbc::Find(given, "DRIVER") != nullptr) {
        return connect;
    }
    const std::string name = dsn->Unquoted();
    if (name.empty()) {
        return connect;
    }

    RegKey key;
    const std::string path = std::string(registry::kSoftwareName) + "\\" + registry::kOdbcName +
                             "\\" + registry::kOdbcIniName + "\\" + name;
    if (!key.Open(HKEY_CURRENT_USER, path) && !key.Open(HKEY_LOCAL_MACHINE, path)) {
        return connect;  // no data source of that name at all
    }
    // The registry shows the host's own data sources too; the driver manager
    // knows those by name, exactly as every other ODBC program hands them.
    if (IsHostDataSourceKey(key.Get())) {
        return connect;
    }
    std::string driver;
    if (!QueryDriver(key.Get(), driver)) {
        return connect;
    }

    Attributes request;
    Attribute driverAttribute;
    driverAttribute.name = "DRIVER";
    driverAttribute.value = odbc::Quote(driver);
    request.push_back(driverAttribute);
    for (const Attribute& attribute : given) {
        if (attribute.hasValue && SameName(attribute.name, "DSN")) {
            continue;
        }
        request.push_back(attribute);
    }
    for (const Attribute& attribute : ReadValues(key.Get())) {
        AddIfAbsent(request, attribute);
    }
    // The desktop-database driver on this system is the SQLite stand-in,
    // which takes its file as "Database" where the Access driver reads DBQ.
    if (odbc::Find(request, "DBQ") != nullptr) {
        FitForStandIn(request);
    }
    return odbc::Join(request);
}

}  // namespace vorla::platform

// The platform's SQLDriverConnect: the text resolved, then unixODBC's own.
#undef SQLDriverConnect

namespace {

constexpr SQLSMALLINT kMaxLength = std::numeric_limits<SQLSMALLINT>::max();

}  // namespace

SQLRETURN vorla::platform::DriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in,
                                         SQLSMALLINT inLength, SQLCHAR* out, SQLSMALLINT outMax,
                                         SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    if (in == nullptr) {
        return ::SQLDriverConnect(dbc, window, in, inLength, out, outMax, outLength, completion);
    }
    const std::string given = inLength == SQL_NTS
                                  ? std::string(reinterpret_cast<const char*>(in))
                                  : std::string(reinterpret_cast<const char*>(in),
                                                inLength < 0 ? 0 : static_cast<size_t>(inLength));
    std::string request = ResolveDataSource(given);
    // The length goes explicitly, as the program passes it; a resolved text
    // longer than a length argument can say (it holds no NUL: registry texts
    // end at their first) goes NUL-terminated.
    const SQLSMALLINT length = request.size() <= static_cast<size_t>(kMaxLength)
                                   ? static_cast<SQLSMALLINT>(request.size())
                                   : static_cast<SQLSMALLINT>(SQL_NTS);
    return ::SQLDriverConnect(dbc, window, reinterpret_cast<SQLCHAR*>(&request[0]), length, out,
                              outMax, outLength, completion);
}
