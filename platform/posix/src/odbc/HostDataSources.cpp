#include "HostDataSources.h"

#include "CaseFold.h"
#include "IniRead.h"
#include "OdbcNames.h"
#include "RegistryStore.h"

#include "platform/Odbc.h"

#include <odbcinst.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

// The configuration library's own functions for the two files it reads. They
// are exported but not declared in its public header; using them, rather than
// working the paths out again, means that the change check below looks at
// exactly the files that the library reads (it takes the user's file from
// the password database, not from $HOME).
extern "C" {
int _odbcinst_UserINI(char* fileName, int verify);
int _odbcinst_SystemINI(char* fileName, int verify);
}

namespace vorla::platform::registry {

namespace {

// The library writes file names of up to its FILENAME_MAX characters.
constexpr size_t kFileNameBuffer = 4096 + 2;

std::atomic<bool> g_shown{true};

// Who the file was when it was read: a change of any of these means the file
// was written or replaced since.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    std::string path;
    std::string key;

    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
               path == o.path;
    }
};

struct CachedScope {
    bool valid = false;
    FileIdentity identity;
    std::shared_ptr<const HostSnapshot> snapshot;
};

std::mutex g_lock;

CachedScope& CacheOf(HostScope scope) {
    static auto* caches = new CachedScope[2];
    return caches[scope == HostScope::User ? 0 : 1];
}

// The file the library reads for `scope`. Asking it costs a look into the
// password database, so the answer is kept while the variables that can
// change it stay as they were.
std::string FileOf(HostScope scope) {
    struct Known {
        bool valid = false;
        std::string variable;
        std::string path;
    };
    static Known known[2];
    const char* name = scope == HostScope::User ? "ODBCINI" : "ODBCSYSINI";
    const char* value = std::getenv(name);
    Known& k = known[scope == HostScope::User ? 0 : 1];
    const std::string variable = value != nullptr ? std::string("=") + value : std::string();
    if (!k.valid || k.variable != variable) {
        std::vector<char> file(kFileNameBuffer, '\0');
        const int found = scope == HostScope::User ? _odbcinst_UserINI(file.data(), 0)
                                                   : _odbcinst_SystemINI(file.data(), 0);
        k.path = found ? std::string(file.data()) : std::string();
        k.variable = variable;
        k.valid = true;
    }
    return k.path;
}

FileIdentity IdentityOf(HostScope scope) {
    FileIdentity id;
    id.path = FileOf(scope);
    if (id.path.empty()) {
        return id;
    }
    struct stat st;
    if (stat(id.path.c_str(), &st) != 0) {
        return id;
    }
    id.exists = true;
    id.key = IdentityKey(st);
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return id;
}

bool SameName(const std::string& a, const std::string& b) {
    return CompareFolded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                         reinterpret_cast<const unsigned char*>(b.data()), b.size()) == 0;
}

// The snapshot of a file that held `sections` when it had `identity`.
std::shared_ptr<const HostSnapshot> SnapshotOf(const FileIdentity& identity,
                                               std::vector<IniSection> sections);

std::shared_ptr<const HostSnapshot> ReadScope(const FileIdentity& identity) {
    if (!identity.exists || identity.size == 0) {
        return SnapshotOf(identity, {});
    }
    // The whole file in one pass of the library's parser, not a pass per
    // entry as its profile calls take it.
    std::vector<IniSection> sections;
    if (!ReadIniFile(identity.path, &sections)) {
        sections.clear();
    }
    return SnapshotOf(identity, std::move(sections));
}

std::shared_ptr<const HostSnapshot> SnapshotOf(const FileIdentity& identity,
                                               std::vector<IniSection> sections) {
    auto snapshot = std::make_shared<HostSnapshot>();
    if (!identity.exists) {
        return snapshot;
    }
    snapshot->identity = identity.key;
    snapshot->lastWrite =
        (static_cast<int64_t>(identity.modified.tv_sec) + 11644473600LL) * 10000000LL +
        identity.modified.tv_nsec / 100;
    snapshot->sections = sections;
    for (IniSection& section : sections) {
        // Not data sources: the list section of files written in the Windows
        // fashion, and the driver manager's own options.
        if (SameName(section.name, kDataSourceListName) || SameName(section.name, "ODBC")) {
            continue;
        }
        HostDataSource source;
        source.name = std::move(section.name);
        source.entries = std::move(section.entries);
        for (const auto& entry : source.entries) {
            if (SameName(entry.first, "Driver")) {
                source.driver = entry.second;
                break;
            }
        }
        snapshot->sources.push_back(std::move(source));
    }
    return snapshot;
}

}  // namespace

std::string IdentityKey(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

const HostDataSource* HostSnapshot::Find(const std::string& name) const {
    for (const HostDataSource& source : sources) {
        if (SameName(source.name, name)) {
            return &source;
        }
    }
    return nullptr;
}

std::shared_ptr<const HostSnapshot> ReadHostDataSources(HostScope scope) {
    std::lock_guard<std::mutex> guard(g_lock);
    const FileIdentity identity = IdentityOf(scope);
    CachedScope& cache = CacheOf(scope);
    if (!cache.valid || !(cache.identity == identity)) {
        cache.snapshot = ReadScope(identity);
        cache.identity = identity;
        cache.valid = true;
    }
    return cache.snapshot;
}

void RememberHostFile(HostScope scope, std::vector<IniSection> sections) {
    std::lock_guard<std::mutex> guard(g_lock);
    const FileIdentity identity = IdentityOf(scope);
    if (identity.exists) {
        CachedScope& cache = CacheOf(scope);
        cache.snapshot = SnapshotOf(identity, std::move(sections));
        cache.identity = identity;
        cache.valid = true;
    }
}

std::string HostConfigFile(HostScope scope) {
    std::lock_guard<std::mutex> guard(g_lock);
    return FileOf(scope);
}

bool HostDataSourcesShown() {
    return g_shown.load();
}

}  // namespace vorla::platform::registry

namespace vorla::platform {

void ShowHostDataSources(bool show) {
    registry::g_shown.store(show);
}

}  // namespace vorla::platform
