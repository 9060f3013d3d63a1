#include "platform/Setup.h"

#include "OdbcNames.h"
#include "Publish.h"
#include "RegistryHandles.h"

#include "platform/Odbc.h"
#include "platform/Prefix.h"
#include "platform/Win32.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <odbcinst.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorla::platform {

namespace {

constexpr char kClassName[] = "VORLA.Template";

std::string ExecutableDir() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    path[n] = '\0';
    const std::string text(path);
    return text.substr(0, text.rfind('/'));
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The driver's name in the driver manager's list of drivers.
constexpr char kSqliteDriverName[] = "SQLite3";

// The library a loaded object was opened from whose file is named `name`,
// or empty.
std::string LoadedLibraryNamed(const std::string& name) {
    struct Search {
        const std::string* name;
        std::string found;
    } search{&name, std::string()};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos &&
                path.compare(slash + 1, std::string::npos, *s->name) == 0) {
                s->found = path;
                return 1;
            }
            return 0;
        },
        &search);
    return search.found;
}

// The SQLite ODBC driver as the driver manager knows it: its library from
// the driver list (odbcinst.ini, read through the configuration library).
// A library named without a folder is where the driver manager loads it
// from: the driver is connected to once, and the loaded library named.
// Empty when the driver is not listed or does not load.
std::string FindSqliteDriver() {
    char library[PATH_MAX + 1] = {0};
    if (SQLGetPrivateProfileString(kSqliteDriverName, "Driver", "", library, sizeof library,
                                   "odbcinst.ini") <= 0 ||
        library[0] == '\0') {
        return std::string();
    }
    // The driver is named by the path the list gives, not the file behind
    // it: a package upgrade replaces that file and keeps the path.
    const std::string name(library);
    if (name.find('/') != std::string::npos) {
        return name;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    std::string found;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) == SQL_SUCCESS &&
        SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) == SQL_SUCCESS) {
        std::string text = std::string("DRIVER={") + kSqliteDriverName + "};Database=:memory:";
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(&text[0]),
                                           static_cast<SQLSMALLINT>(text.size()), out, sizeof out,
                                           &outLength, SQL_DRIVER_NOPROMPT))) {
            found = LoadedLibraryNamed(name);
            SQLDisconnect(dbc);
        }
    }
    if (dbc != SQL_NULL_HDBC) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    return found;
}

// The entries that the SQLite ODBC driver's Debian package ships for the
// driver list, for `odbcinst -i -d -f`.
constexpr char kSqliteDriverTemplate[] = "/usr/share/sqliteodbc/unixodbc.ini";

// The SQLite ODBC driver's library where its package installs it: in the
// odbc/ folder beside the driver manager's own library. Empty when it is not
// there.
std::string InstalledSqliteLibrary() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &info) == 0 || info.dli_fname == nullptr) {
        return std::string();
    }
    const std::string manager = info.dli_fname;
    const size_t slash = manager.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    // The folder with its links resolved (/lib is /usr/lib on Debian).
    const std::string library = RealPath(manager.substr(0, slash)) + "/odbc/libsqlite3odbc.so";
    return IsFile(library) ? library : std::string();
}

bool Fail(SetupProblem* problem, const std::string& text, const std::string& advice) {
    problem->text = text;
    problem->advice = advice;
    return false;
}

bool SetDefault(HKEY root, const std::string& path, const std::string& value,
                SetupProblem* problem) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        const std::string text =
            "cannot write the registry key " + path + " (status " + std::to_string(status) + ")";
        return Fail(problem, text,
                    "The VORLA prefix is not set up: " + text + "; run vorla-setup.");
    }
    return true;
}

bool MakeKey(HKEY root, const char* rootName, const std::string& path, SetupProblem* problem) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        const std::string text = std::string("cannot create ") + rootName + "\\" + path +
                                 " (status " + std::to_string(status) + ")";
        return Fail(problem, text,
                    "The VORLA prefix is not set up: " + text + "; run vorla-setup.");
    }
    RegCloseKey(key);
    return true;
}

// The path a link names, empty when it is no link.
std::string LinkTarget(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// A link that is there and names another path (or dangles: its driver was
// removed) is replaced; a file that is not a link is left as it is, as
// somebody's own.
bool LinkDriver(const std::string& link, const std::string& driver, SetupProblem* problem) {
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || LinkTarget(link) == driver) {
            return true;
        }
        unlink(link.c_str());
    }
    // Another program's first use may make the same link at the same time.
    if (symlink(driver.c_str(), link.c_str()) != 0 &&
        !(errno == EEXIST && LinkTarget(link) == driver)) {
        const std::string text =
            "cannot link " + link + " to " + driver + ": " + std::strerror(errno);
        return Fail(problem, text,
                    "The VORLA prefix is not set up: " + text + "; run vorla-setup.");
    }
    return true;
}

// What the store's two hives hold published, and stale sections removed. A
// file that cannot be written (the system's, for an ordinary user) does not
// fail the set-up: the data sources stay the prefix's own, as before, and
// what was not published is reported.
void Publish(SetupReport* report) {
    for (const registry::HiveKind kind : {registry::HiveKind::User, registry::HiveKind::System}) {
        std::string text;
        try {
            const std::shared_ptr<registry::Store> store = registry::OpenHive(kind);
            if (store != nullptr && !registry::PublishHive(*store, &text)) {
                report->unpublished += text + "\n";
            }
        } catch (const registry::StoreError& e) {
            report->unpublished +=
                "cannot open the registry (status " + std::to_string(e.status) + ")\n";
        }
    }
}

}  // namespace

bool SetUpPrefix(const SetupOptions& options, SetupReport* report, SetupProblem* problem) {
    const std::string prefix = EnsurePrefixDir("");
    if (prefix.empty()) {
        const std::string text =
            "cannot create the prefix '" + PrefixDir() + "': " + std::strerror(errno);
        return Fail(problem, text, "The VORLA prefix is not set up: " + text + ".");
    }
    // A prefix of this user's is made private; another user's is refused.
    std::string refusal;
    if (!TightenPrefix(&refusal)) {
        return Fail(problem, refusal, refusal);
    }
    char systemDir[PATH_MAX];
    if (GetSystemDirectoryA(systemDir, sizeof systemDir) == 0) {
        const std::string text = "cannot create the system directory in " + prefix;
        return Fail(problem, text, "The VORLA prefix is not set up: " + text + ".");
    }
    const std::string driver =
        options.driver.empty() ? FindSqliteDriver() : RealPath(options.driver);
    // Installed but not in the driver list: registering it is the mend,
    // not installing it again.
    const std::string unlisted =
        options.driver.empty() && driver.empty() ? InstalledSqliteLibrary() : std::string();
    if (!unlisted.empty()) {
        return Fail(problem,
                    "the SQLite ODBC driver's library " + unlisted +
                        " is installed, but unixODBC's driver list (odbcinst.ini) has no " +
                        kSqliteDriverName +
                        " entry for it.\n"
                        "Register it with: odbcinst -i -d -f " +
                        kSqliteDriverTemplate +
                        "\n"
                        "or name the driver library with --driver.",
                    "The VORLA prefix '" + prefix + "' is not set up: the SQLite ODBC driver " +
                        unlisted + " is not registered in odbcinst.ini; register it with: " +
                        "odbcinst -i -d -f " + kSqliteDriverTemplate);
    }
    if (driver.empty() || !IsFile(driver)) {
        return Fail(problem,
                    "the SQLite ODBC driver is not installed.\n"
                    "Install the Debian package libsqliteodbc (apt-get install libsqliteodbc),\n"
                    "or name the driver library with --driver.",
                    "The VORLA prefix '" + prefix +
                        "' is not set up: the SQLite ODBC driver is not installed; install it "
                        "with: apt-get install libsqliteodbc");
    }
    const std::string dataDir =
        options.dataDir.empty() ? ExecutableDir() + "/../share/vorla" : options.dataDir;
    const std::string data = RealPath(dataDir);
    if (data.empty() || !IsFile(data + "/Template/empty.mdb") ||
        !IsFile(data + "/Template/empty2k.mdb")) {
        return Fail(problem,
                    "no templates in '" + dataDir +
                        "/Template' (empty.mdb, empty2k.mdb); name their folder with --data-dir",
                    "The VORLA prefix '" + prefix + "' is not set up: no templates in '" + dataDir +
                        "/Template'; name their folder with: vorla-setup --data-dir DIR");
    }
    const std::string link = std::string(systemDir) + "/" + kDesktopDriverFile;
    const bool done =
        MakeKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", registry::kDataSourceListPath, problem) &&
        MakeKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", registry::kDataSourceListPath, problem) &&
        SetDefault(HKEY_CLASSES_ROOT, ".dds", kClassName, problem) &&
        SetDefault(HKEY_CLASSES_ROOT, kClassName, "VORLA empty database template", problem) &&
        SetDefault(HKEY_CLASSES_ROOT, std::string(kClassName) + "\\DefaultIcon",
                   data + "/vorla.ico,0", problem) &&
        LinkDriver(link, driver, problem);
    if (!done) {
        return false;
    }
    Publish(report);
    report->prefix = prefix;
    report->templates = data + "/Template";
    report->link = link;
    report->driver = driver;
    return true;
}

bool PrefixIsSetUp() {
    const std::string prefix = PrefixDir();
    struct stat st;
    return !prefix.empty() &&
           // stat, not lstat: a link whose driver is gone sets the prefix
           // up again.
           stat((prefix + "/system32/" + kDesktopDriverFile).c_str(), &st) == 0 &&
           stat((prefix + "/registry/user.db").c_str(), &st) == 0 &&
           stat((prefix + "/registry/system.db").c_str(), &st) == 0;
}

}  // namespace vorla::platform
