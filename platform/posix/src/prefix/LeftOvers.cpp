// Removing the temporary data sources that failed or killed runs left: a data
// source the store notes as a run's own (see Publish.cpp) whose name no live
// run holds (see NameClaim.cpp).
#include "platform/LeftOvers.h"

#include "OdbcNames.h"
#include "Publish.h"
#include "RegistryHandles.h"

#include "platform/NameClaim.h"
#include "platform/Win32.h"

namespace vorla::platform {

namespace {

// Deletes the key `path` below `root` with its sub-keys, deepest first.
LONG DeleteTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    char name[256];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        status = DeleteTree(root, path + "\\" + name);
        if (status != ERROR_SUCCESS) {
            RegCloseKey(key);
            return status;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(root, path.c_str());
}

}  // namespace

bool RemoveLeftTemporaryDataSources(std::vector<std::string>* removed, std::string* problem) {
    bool done = true;
    const struct {
        registry::HiveKind kind;
        HKEY root;
        const char* rootName;
    } hives[] = {{registry::HiveKind::User, HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                 {registry::HiveKind::System, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}};
    for (const auto& hive : hives) {
        std::vector<std::string> left;
        try {
            const std::shared_ptr<registry::Store> store = registry::OpenHive(hive.kind);
            if (store == nullptr) {
                continue;
            }
            for (const std::string& name : registry::TemporaryDataSources(*store)) {
                // A live run holds the name of the data source it is using.
                if (ClaimName(name.c_str())) {
                    left.push_back(name);
                }
            }
        } catch (const registry::StoreError& e) {
            *problem = std::string("cannot read ") + hive.rootName + " (status " +
                       std::to_string(e.status) + ")";
            done = false;
            continue;
        }
        for (const std::string& name : left) {
            const std::string key = std::string(registry::kOdbcIniPath) + "\\" + name;
            LONG status = DeleteTree(hive.root, key);
            if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
                HKEY list = nullptr;
                status = RegOpenKeyExA(hive.root, registry::kDataSourceListPath, 0, KEY_SET_VALUE,
                                       &list);
                if (status == ERROR_SUCCESS) {
                    status = RegDeleteValueA(list, name.c_str());
                    RegCloseKey(list);
                }
            }
            if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
                removed->push_back(std::string(hive.rootName) + "\\" + name);
            } else {
                *problem = "cannot remove " + std::string(hive.rootName) + "\\" + key +
                           " (status " + std::to_string(status) + ")";
                done = false;
            }
        }
    }
    return done;
}

}  // namespace vorla::platform
