#include "Publish.h"

#include "CaseFold.h"
#include "OdbcNames.h"

#include "platform/Odbc.h"

#include <fcntl.h>
#include <limits.h>
#include <odbcinst.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vorla::platform::registry {

const char kPrefixMarkEntry[] = "VorlaPrefix";

namespace {

constexpr char kIniFile[] = "odbc.ini";

bool SameName(const std::string& a, const std::string& b) {
    return CompareFolded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                         reinterpret_cast<const unsigned char*>(b.data()), b.size()) == 0;
}

bool ScopeOf(const Store& store, HostScope* scope) {
    if (store.Kind() != HiveKind::User && store.Kind() != HiveKind::System) {
        return false;
    }
    *scope = store.Kind() == HiveKind::User ? HostScope::User : HostScope::System;
    return true;
}

// The prefix a hive file belongs to: the folder above its registry/ folder,
// with links resolved, so that two spellings of one prefix mark alike.
std::string PrefixOf(const Store& store) {
    std::string dir = store.Path();
    for (int up = 0; up < 2; ++up) {
        const size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    }
    char resolved[PATH_MAX];
    return realpath(dir.c_str(), resolved) != nullptr ? std::string(resolved) : dir;
}

// Whether `id` is SOFTWARE\ODBC\ODBC.INI right below the hive's root.
bool IsOdbcIniKey(Store& store, int64_t id) {
    int64_t at = id;
    for (const char* name : {kOdbcIniName, kOdbcName, kSoftwareName}) {
        KeyRow row;
        if (!store.GetKey(at, &row) || !SameName(row.name, name)) {
            return false;
        }
        at = row.parent;
    }
    return at == kRootKeyId;
}

// The text of a REG_SZ value, up to its first NUL; empty for other types.
std::string Text(const ValueRecord& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
        return std::string();
    }
    return value.data.substr(0, value.data.find('\0'));
}

std::string TextOf(Store& store, int64_t key, const char* name) {
    ValueRecord value;
    return store.GetValue(key, name, &value) ? Text(value) : std::string();
}

// What the configuration should hold for a data source.
struct Section {
    std::string name;
    std::string listText;
    std::vector<std::pair<std::string, std::string>> entries;  // Driver first
};

// The section that the store asks for `name` below the ODBC.INI key
// `odbcIni`, false when the store holds no data source of that name to
// publish (not listed, no key, or no Driver value).
bool Wanted(Store& store, int64_t odbcIni, const std::string& name, const std::string& prefix,
            Section* section) {
    // A name that ODBC does not allow (a key that a registry tool made) has no
    // section: the configuration library refuses it.
    if (!SQLValidDSN(name.c_str())) {
        return false;
    }
    KeyRow list;
    KeyRow key;
    ValueRecord entry;
    if (!store.FindChild(odbcIni, kDataSourceListName, &list) ||
        !store.GetValue(list.id, name, &entry) || !store.FindChild(odbcIni, name, &key)) {
        return false;
    }
    std::string driver = TextOf(store, key.id, "Driver");
    if (driver.empty()) {
        return false;
    }
    // Any user's program loads the library itself, not a link in a prefix
    // that only its owner may read.
    char resolved[PATH_MAX];
    if (realpath(driver.c_str(), resolved) != nullptr) {
        driver = resolved;
    }
    section->name = key.name;
    section->listText = Text(entry);
    section->entries = {{"Driver", driver}, {"Description", TextOf(store, key.id, "Description")}};
    const std::string database = TextOf(store, key.id, "DBQ");
    if (!database.empty()) {
        section->entries.emplace_back("Database", database);
    }
    section->entries.emplace_back(kPrefixMarkEntry, prefix);
    return true;
}

bool Matches(const HostDataSource& host, const Section& section) {
    if (host.entries.size() != section.entries.size()) {
        return false;
    }
    for (size_t i = 0; i < host.entries.size(); ++i) {
        if (!SameName(host.entries[i].first, section.entries[i].first) ||
            host.entries[i].second != section.entries[i].second) {
            return false;
        }
    }
    return true;
}

// The configuration library's mode for one scope, the earlier one restored
// on every way out.
class ConfigMode {
public:
    explicit ConfigMode(HostScope scope) {
        SQLGetConfigMode(&m_old);
        SQLSetConfigMode(scope == HostScope::User ? ODBC_USER_DSN : ODBC_SYSTEM_DSN);
    }
    ~ConfigMode() { SQLSetConfigMode(m_old); }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;

private:
    UWORD m_old = ODBC_BOTH_DSN;
};

// Each call of the library rewrites the file; it fails only when the file
// cannot be written, which is what the machine's hive refuses without the
// rights for it on Windows.
void Require(BOOL written) {
    if (!written) {
        throw StoreError{ERROR_ACCESS_DENIED};
    }
}

void WriteSection(HostScope scope, const Section& section) {
    const ConfigMode mode(scope);
    Require(SQLWriteDSNToIni(section.name.c_str(), section.entries[0].second.c_str()));
    bool written = true;
    for (size_t i = 1; written && i < section.entries.size(); ++i) {
        written =
            SQLWritePrivateProfileString(section.name.c_str(), section.entries[i].first.c_str(),
                                         section.entries[i].second.c_str(), kIniFile);
    }
    written = written && SQLWritePrivateProfileString(kDataSourceListName, section.name.c_str(),
                                                      section.listText.c_str(), kIniFile);
    if (!written) {
        // A section cut short may lack the mark that would let a later sweep
        // remove it: it goes now, as far as the file lets it.
        SQLRemoveDSNFromIni(section.name.c_str());
        SQLWritePrivateProfileString(kDataSourceListName, section.name.c_str(), nullptr, kIniFile);
        throw StoreError{ERROR_ACCESS_DENIED};
    }
}

void RemoveSection(HostScope scope, const std::string& name) {
    const ConfigMode mode(scope);
    Require(SQLRemoveDSNFromIni(name.c_str()));
    Require(SQLWritePrivateProfileString(kDataSourceListName, name.c_str(), nullptr, kIniFile));
    // The list section goes with its last entry, so that a file holds
    // nothing of a prefix's after its data sources are gone.
    // (The library answers 0 for a list that does not fit the buffer: the
    // buffer has room for a name of the longest length ODBC allows.)
    char probe[1024] = {0};
    if (SQLGetPrivateProfileString(kDataSourceListName, nullptr, "", probe, sizeof probe,
                                   kIniFile) <= 0) {
        Require(SQLWritePrivateProfileString(kDataSourceListName, nullptr, nullptr, kIniFile));
    }
}

bool Marked(const HostDataSource& source, const std::string& prefix) {
    for (const auto& entry : source.entries) {
        if (SameName(entry.first, kPrefixMarkEntry)) {
            return entry.second == prefix;
        }
    }
    return false;
}

// The configuration library reads a file, changes it in memory and writes it
// whole, without a lock: two processes changing one file at once could lose
// one's change. The processes of one prefix are serialised by the store's
// write transaction already; those of different prefixes (two users' machine
// data sources, say) take this lock, on the file's folder, which exists
// whether or not the file does. Other programs do not take it.
class FileLock {
public:
    explicit FileLock(HostScope scope) {
        std::string dir = HostConfigFile(scope);
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos) {
            return;
        }
        dir = slash == 0 ? "/" : dir.substr(0, slash);
        m_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (m_fd >= 0) {
            close(m_fd);  // releases the lock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

// Removes the sections marked as the prefix's whose data source the store
// does not hold. Runs inside the store's write transaction, so that another
// process of the same prefix cannot be between publishing a section and
// committing its data source.
// A section that cannot be removed (the file became read-only) stays for a
// later sweep: the change that swept is not refused for it.
void Sweep(Store& store, HostScope scope, int64_t odbcIni, const std::string& prefix) {
    const std::shared_ptr<const HostSnapshot> snapshot = ReadHostDataSources(scope);
    for (const HostDataSource& source : snapshot->sources) {
        Section wanted;
        if (Marked(source, prefix) && !Wanted(store, odbcIni, source.name, prefix, &wanted)) {
            try {
                RemoveSection(scope, source.name);
            } catch (const StoreError&) {
            }
        }
    }
}

// Brings the section of `name` in line with the store. Nothing is written
// when it is as the store asks already.
void Sync(Store& store, HostScope scope, int64_t odbcIni, const std::string& name) {
    const std::string prefix = PrefixOf(store);
    Section wanted;
    const bool publish = Wanted(store, odbcIni, name, prefix, &wanted);
    // Read and written under the lock: what is read decides what is written.
    const FileLock lock(scope);
    const std::shared_ptr<const HostSnapshot> snapshot = ReadHostDataSources(scope);
    const HostDataSource* host = snapshot->Find(name);
    if (host != nullptr && !Marked(*host, prefix)) {
        return;  // the host's or another prefix's: the store shadows it
    }
    if (publish) {
        if (host != nullptr && Matches(*host, wanted)) {
            return;
        }
        WriteSection(scope, wanted);
    } else if (host != nullptr) {
        RemoveSection(scope, host->name);
    } else {
        return;
    }
    Sweep(store, scope, odbcIni, prefix);
}

}  // namespace

void PublishAfterValueChange(Store& store, int64_t key, const std::string& valueName) {
    HostScope scope;
    KeyRow row;
    if (!ScopeOf(store, &scope) || !store.GetKey(key, &row) || row.parent == 0) {
        return;
    }
    if (SameName(row.name, kDataSourceListName) && IsOdbcIniKey(store, row.parent)) {
        Sync(store, scope, row.parent, valueName);
    } else if (IsOdbcIniKey(store, row.parent)) {
        Sync(store, scope, row.parent, row.name);
    }
}

void PublishAfterKeyDelete(Store& store, const KeyRow& deleted) {
    HostScope scope;
    if (!ScopeOf(store, &scope) || deleted.parent == 0 || !IsOdbcIniKey(store, deleted.parent)) {
        return;
    }
    if (SameName(deleted.name, kDataSourceListName)) {
        const FileLock lock(scope);
        Sweep(store, scope, deleted.parent, PrefixOf(store));
    } else {
        Sync(store, scope, deleted.parent, deleted.name);
    }
}

bool PublishHive(Store& store, std::string* problem) {
    HostScope scope;
    if (!ScopeOf(store, &scope)) {
        return true;
    }
    try {
        // The list is read first: its values are enumerated in their own
        // transaction.
        int64_t odbcIni = 0;
        int64_t list = 0;
        store.Run(Store::Mode::Read, [&] {
            KeyRow row;
            int64_t at = kRootKeyId;
            for (const char* name : {kSoftwareName, kOdbcName, kOdbcIniName}) {
                if (!store.FindChild(at, name, &row)) {
                    return;
                }
                at = row.id;
            }
            odbcIni = at;
            if (store.FindChild(odbcIni, kDataSourceListName, &row)) {
                list = row.id;
            }
        });
        if (odbcIni == 0) {
            return true;
        }
        std::vector<std::string> names;
        if (list != 0) {
            for (const ValueRecord& entry : *store.Values(list)) {
                names.push_back(entry.name);
            }
        }
        store.Run(Store::Mode::Write, [&] {
            for (const std::string& name : names) {
                Sync(store, scope, odbcIni, name);
            }
            const FileLock lock(scope);
            Sweep(store, scope, odbcIni, PrefixOf(store));
        });
    } catch (const StoreError& e) {
        *problem = "cannot write the data sources of " + store.Path() +
                   " to the ODBC configuration (status " + std::to_string(e.status) + ")";
        return false;
    }
    return true;
}

std::string PrefixMarkOf(const Store& store) {
    return PrefixOf(store);
}

bool CarriesMark(const HostDataSource& source, const std::string& mark) {
    return Marked(source, mark);
}

}  // namespace vorla::platform::registry
