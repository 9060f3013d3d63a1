// vorla-setup: sets a POSIX prefix up the way an installation and the ODBC
// installer set a Windows system up, so that VORLA runs:
//   - the data-source list key under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE;
//   - the ".dds" file type under HKEY_CLASSES_ROOT, whose class's icon names
//     a file in the data directory, so that the templates are found in that
//     directory's Template/ folder;
//   - system32/odbcjt32.dll, a link to the SQLite ODBC driver.
// Running it again changes nothing that is already in place.

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "VorlaVersion.h"
#include "platform/Prefix.h"
#include "platform/Win32.h"

namespace {

constexpr const char* kListKey = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr const char* kClassName = "VORLA.Template";

void Usage(std::ostream& out) {
    out << "Usage: vorla-setup [--data-dir DIR] [--driver LIBRARY]\n"
           "       vorla-setup --version\n"
           "\n"
           "Sets up the prefix ($VORLA_PREFIX, or $HOME/.vorla) so that vorla runs:\n"
           "the data-source lists, the template registration and the driver link.\n"
           "\n"
           "  --data-dir DIR     folder holding Template/empty.mdb and Template/empty2k.mdb\n"
           "                     (default: ../share/vorla beside this program)\n"
           "  --driver LIBRARY   the SQLite ODBC driver library (default: found through\n"
           "                     the ODBC driver list and the usual library folders)\n"
           "\n"
           "Example:\n"
           "  VORLA_PREFIX=$PWD/prefix vorla-setup\n";
}

std::string ExecutableDir() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    path[n] = '\0';
    std::string text(path);
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

// The driver library named for "SQLite3" in the driver manager's list, or the
// first of the usual places that holds it.
std::string FindSqliteDriver() {
    std::vector<std::string> candidates;
    for (const char* ini : {"/etc/odbcinst.ini", "/usr/local/etc/odbcinst.ini"}) {
        std::ifstream in(ini);
        std::string line;
        bool inSection = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line[0] == '[') {
                inSection = line.rfind("[SQLite3]", 0) == 0;
            } else if (inSection && line.rfind("Driver", 0) == 0) {
                size_t eq = line.find('=');
                if (eq != std::string::npos) {
                    std::string value = line.substr(eq + 1);
                    value.erase(0, value.find_first_not_of(" \t"));
                    value.erase(value.find_last_not_of(" \t\r") + 1);
                    if (!value.empty()) {
                        candidates.push_back(value);
                    }
                }
            }
        }
    }
    std::vector<std::string> dirs = {"/usr/lib/x86_64-linux-gnu/odbc",
                                     "/usr/lib/aarch64-linux-gnu/odbc",
                                     "/usr/lib/odbc",
                                     "/usr/lib64",
                                     "/usr/lib",
                                     "/usr/local/lib",
                                     "/usr/local/lib/odbc"};
    std::vector<std::string> paths;
    for (const std::string& candidate : candidates) {
        if (candidate[0] == '/') {
            paths.push_back(candidate);
        } else {
            for (const std::string& dir : dirs) {
                paths.push_back(dir + "/" + candidate);
            }
        }
    }
    for (const std::string& dir : dirs) {
        paths.push_back(dir + "/libsqlite3odbc.so");
    }
    for (const std::string& path : paths) {
        if (IsFile(path)) {
            return RealPath(path);
        }
    }
    return std::string();
}

bool SetDefault(HKEY root, const std::string& path, const std::string& value) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        std::cerr << "vorla-setup: cannot write the registry key " << path << " (status " << status
                  << ")\n";
        return false;
    }
    return true;
}

bool MakeKey(HKEY root, const char* rootName, const std::string& path) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        std::cerr << "vorla-setup: cannot create " << rootName << "\\" << path << " (status "
                  << status << ")\n";
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool LinkDriver(const std::string& systemDir, const std::string& driver) {
    const std::string link = systemDir + "/odbcjt32.dll";
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            if (RealPath(link) == driver) {
                return true;
            }
            unlink(link.c_str());
        } else {
            std::cerr << "vorla-setup: " << link
                      << " exists and is not a link; leaving it as it is\n";
            return true;
        }
    }
    if (symlink(driver.c_str(), link.c_str()) != 0) {
        std::cerr << "vorla-setup: cannot link " << link << " to " << driver << ": "
                  << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string dataDir = ExecutableDir() + "/../share/vorla";
    std::string driver;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--data-dir" || arg == "--driver") && i + 1 < argc) {
            (arg == "--data-dir" ? dataDir : driver) = argv[++i];
        } else if (arg == "-h" || arg == "--help" || arg == "/?") {
            Usage(std::cout);
            return 0;
        } else if (arg == "--version") {
            std::cout << "vorla-setup " << VORLA_VERSION << "\n";
            return 0;
        } else {
            std::cerr << "vorla-setup: unknown argument '" << arg << "'\n";
            Usage(std::cerr);
            return 1;
        }
    }

    const std::string prefix = vorla::platform::EnsurePrefixDir("");
    if (prefix.empty()) {
        std::cerr << "vorla-setup: cannot create the prefix '" << vorla::platform::PrefixDir()
                  << "': " << std::strerror(errno) << "\n";
        return 1;
    }
    // A prefix of this user's is made private; another user's is refused.
    std::string problem;
    if (!vorla::platform::TightenPrefix(&problem)) {
        std::cerr << "vorla-setup: " << problem << "\n";
        return 1;
    }
    char systemDir[PATH_MAX];
    if (GetSystemDirectoryA(systemDir, sizeof systemDir) == 0) {
        std::cerr << "vorla-setup: cannot create the system directory in " << prefix << "\n";
        return 1;
    }

    if (driver.empty()) {
        driver = FindSqliteDriver();
    } else {
        driver = RealPath(driver);
    }
    if (driver.empty() || !IsFile(driver)) {
        std::cerr << "vorla-setup: the SQLite ODBC driver is not installed.\n"
                     "Install the Debian package libsqliteodbc (apt-get install libsqliteodbc),\n"
                     "or name the driver library with --driver.\n";
        return 1;
    }

    const std::string data = RealPath(dataDir);
    if (data.empty() || !IsFile(data + "/Template/empty.mdb") ||
        !IsFile(data + "/Template/empty2k.mdb")) {
        std::cerr << "vorla-setup: no templates in '" << dataDir
                  << "/Template' (empty.mdb, empty2k.mdb); name their folder with --data-dir\n";
        return 1;
    }

    bool ok = MakeKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", kListKey) &&
              MakeKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kListKey) &&
              SetDefault(HKEY_CLASSES_ROOT, ".dds", kClassName) &&
              SetDefault(HKEY_CLASSES_ROOT, kClassName, "VORLA empty database template") &&
              SetDefault(HKEY_CLASSES_ROOT, std::string(kClassName) + "\\DefaultIcon",
                         data + "/vorla.ico,0") &&
              LinkDriver(systemDir, driver);
    if (!ok) {
        return 1;
    }
    std::cout << "Prefix:    " << prefix << "\n"
              << "Templates: " << data << "/Template\n"
              << "Driver:    " << systemDir << "/odbcjt32.dll -> " << driver << "\n";
    return 0;
}
