#include "Publish.h"

#include "CaseFold.h"
#include "IniRead.h"
#include "IniText.h"
#include "OdbcNames.h"

#include "platform/Odbc.h"
#include "platform/Publishing.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <odbcinst.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace vorla::platform::registry {

const char kPrefixMarkEntry[] = "VorlaPrefix";

namespace {

// What this process keeps to itself (see platform/Publishing.h), and the
// reason of the last change refused.
std::mutex g_lock;
std::vector<std::string> g_unpublished;
std::string g_problem;

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
    IniEntries entries;  // Driver first
};

// The note that marks a data source of the store as a run's own: kept in the
// store, so that every process of the prefix leaves it unpublished.
std::string UnpublishedNote(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    }
    return "unpublished " + folded;
}

bool KeptUnpublished(const std::string& name) {
    const std::lock_guard<std::mutex> guard(g_lock);
    for (const std::string& own : g_unpublished) {
        if (SameName(own, name)) {
            return true;
        }
    }
    return false;
}

// The driver library as the section names it: the prefix's links followed to
// the first path outside the prefix, which is the driver as the host's
// odbcinst.ini registers it (the set-up links to that path). Never a file
// behind the host's own links: a package upgrade replaces those.
std::string DriverPath(const std::string& driver, const std::string& prefix) {
    std::string path = driver;
    for (int hops = 0; hops < 8; ++hops) {
        if (path.compare(0, prefix.size() + 1, prefix + "/") != 0) {
            return path;
        }
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            break;
        }
        target[n] = '\0';
        if (target[0] == '/') {
            path = target;
        } else {
            path = path.substr(0, path.rfind('/') + 1) + target;
        }
    }
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The section that the store asks for `name` below the ODBC.INI key
// `odbcIni`, false when the store holds no data source of that name to
// publish (not listed, no key, no Driver value, or a run's own).
bool Wanted(Store& store, int64_t odbcIni, const std::string& name, const std::string& prefix,
            Section* section) {
    // A name that ODBC does not allow (a key that a registry tool made) has no
    // section: the driver manager would refuse it.
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
    if (KeptUnpublished(key.name)) {
        store.SetNote(UnpublishedNote(key.name), true);
        return false;
    }
    if (store.HasNote(UnpublishedNote(key.name))) {
        return false;
    }
    const std::string driver = TextOf(store, key.id, "Driver");
    if (driver.empty()) {
        return false;
    }
    section->name = key.name;
    section->listText = Text(entry);
    section->entries = {{"Driver", DriverPath(driver, prefix)},
                        {"Description", TextOf(store, key.id, "Description")}};
    const std::string database = TextOf(store, key.id, "DBQ");
    if (!database.empty()) {
        section->entries.emplace_back("Database", database);
    }
    section->entries.emplace_back(kPrefixMarkEntry, prefix);
    return true;
}

// Why the configuration file cannot hold `section` as it is meant: the
// library would read it differently, or it would take one of the library's
// own sections. Empty when it can.
std::string Unwritable(const Section& section) {
    const std::string& name = section.name;
    for (const char* own : {"ODBC", kDataSourceListName, "Default"}) {
        if (SameName(name, own)) {
            return "the name '" + name + "': it is the driver manager's own section";
        }
    }
    if (name.empty() || name.front() == ' ' || name.front() == '\t' || name.back() == ' ' ||
        name.back() == '\t') {
        return "the name '" + name +
               "': it begins or ends with a blank, which the file does not keep";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == '[' || c == ']') {
            return "the name: it holds a '[', a ']' or a control character";
        }
    }
    for (const auto& entry : section.entries) {
        const std::string& value = entry.second;
        for (unsigned char c : value) {
            if (c < 0x20 || c == 0x7f) {
                return "the " + entry.first +
                       ": it holds a line break or another control character";
            }
        }
        if (!value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                               value.back() == ' ' || value.back() == '\t')) {
            return "the " + entry.first +
                   ": it begins or ends with a blank, which the file does not keep";
        }
    }
    return std::string();
}

bool Marked(const IniEntries& entries, const std::string& prefix) {
    for (const auto& entry : entries) {
        if (SameName(entry.first, kPrefixMarkEntry)) {
            return entry.second == prefix;
        }
    }
    return false;
}

bool Marked(const HostDataSource& source, const std::string& prefix) {
    return Marked(source.entries, prefix);
}

[[noreturn]] void Refuse(const std::string& problem) {
    {
        const std::lock_guard<std::mutex> guard(g_lock);
        g_problem = problem;
    }
    throw StoreError{ERROR_ACCESS_DENIED};
}

// The sections of a file as the configuration library reads them, changed as
// the editor changes the text, so that the edited copy can be checked.
class Model {
public:
    explicit Model(std::vector<IniSection> sections) : m_sections(std::move(sections)) {}

    IniSection* Find(const std::string& name) {
        for (IniSection& section : m_sections) {
            if (SameName(section.name, name)) {
                return &section;
            }
        }
        return nullptr;
    }
    void PutSection(const std::string& name, const IniEntries& entries) {
        IniSection* section = Find(name);
        if (section == nullptr) {
            m_sections.push_back({name, entries});
        } else {
            section->entries = entries;
        }
    }
    void RemoveSection(const std::string& name) {
        for (auto it = m_sections.begin(); it != m_sections.end(); ++it) {
            if (SameName(it->name, name)) {
                m_sections.erase(it);
                return;
            }
        }
    }
    void PutEntry(const std::string& name, const std::string& entry, const std::string& value) {
        IniSection* section = Find(name);
        if (section == nullptr) {
            m_sections.push_back({name, {{entry, value}}});
            return;
        }
        for (auto& e : section->entries) {
            if (SameName(e.first, entry)) {
                e.second = value;
                return;
            }
        }
        section->entries.emplace_back(entry, value);
    }
    void RemoveEntry(const std::string& name, const std::string& entry) {
        IniSection* section = Find(name);
        if (section == nullptr) {
            return;
        }
        auto& entries = section->entries;
        for (auto it = entries.begin(); it != entries.end();) {
            it = SameName(it->first, entry) ? entries.erase(it) : it + 1;
        }
    }
    // Whether `other` shows the same sections and entries, in the same order;
    // a section without entries counts as none (the editor leaves a header
    // that comments still follow).
    bool SameAs(const std::vector<IniSection>& other) const {
        const std::vector<const IniSection*> mine = Filled(m_sections);
        const std::vector<const IniSection*> theirs = Filled(other);
        if (mine.size() != theirs.size()) {
            return false;
        }
        for (size_t i = 0; i < mine.size(); ++i) {
            if (mine[i]->name != theirs[i]->name || mine[i]->entries != theirs[i]->entries) {
                return false;
            }
        }
        return true;
    }

private:
    static std::vector<const IniSection*> Filled(const std::vector<IniSection>& sections) {
        std::vector<const IniSection*> filled;
        for (const IniSection& section : sections) {
            if (!section.entries.empty()) {
                filled.push_back(&section);
            }
        }
        return filled;
    }

    std::vector<IniSection> m_sections;
};

// The file a change replaces: the configuration file, or the file a link of
// that name points to (the link stays).
std::string Target(const std::string& file) {
    std::string path = file;
    for (int hops = 0; hops < 16; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            return path;
        }
        target[n] = '\0';
        path =
            target[0] == '/' ? std::string(target) : path.substr(0, path.rfind('/') + 1) + target;
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Every VORLA process takes this lock, on the folder of the file, for the
// read, the edit and the replace: two processes changing one file take
// turns, whichever prefix they serve. The folder exists whether or not the
// file does, and a replace does not change it.
class FileLock {
public:
    explicit FileLock(const std::string& dir) {
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

std::string TempPrefix(const std::string& target) {
    return "." + target.substr(target.rfind('/') + 1) + ".vorla-";
}

// Copies that a killed process left beside the file: removed when the
// process that made them is gone.
void RemoveLeftCopies(const std::string& dir, const std::string& target) {
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string start = TempPrefix(target);
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.compare(0, start.size(), start) != 0) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + start.size(), nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            unlink((dir + "/" + name).c_str());
        }
    }
    closedir(folder);
}

bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

struct Loaded {
    std::string target;
    std::string identity;
    std::string text;
    std::vector<IniSection> sections;
};

std::shared_ptr<const Loaded>& LastLoaded() {
    static auto* loaded = new std::shared_ptr<const Loaded>;
    return *loaded;
}

// What this process wrote is what the next look finds, unless the file
// changes again.
void Remember(const std::string& target, const std::string& text,
              std::vector<IniSection> sections) {
    struct stat st;
    auto loaded = std::make_shared<Loaded>();
    if (stat(target.c_str(), &st) == 0) {
        loaded->target = target;
        loaded->identity = IdentityKey(st);
        loaded->text = text;
        loaded->sections = std::move(sections);
    }
    const std::lock_guard<std::mutex> guard(g_lock);
    LastLoaded() = std::move(loaded);
}

// The bytes of the file and its sections as the library reads them. A change
// writes many values, each followed by a look at the file: the file is read
// again only when it is another file or changed since (by its identity,
// size and times). Null, with errno set, when it cannot be read.
std::shared_ptr<const Loaded> LoadFile(const std::string& target, const struct stat& st) {
    const std::string identity = IdentityKey(st);
    {
        const std::lock_guard<std::mutex> guard(g_lock);
        const std::shared_ptr<const Loaded>& last = LastLoaded();
        if (last != nullptr && last->target == target && last->identity == identity) {
            return last;
        }
    }
    auto loaded = std::make_shared<Loaded>();
    loaded->target = target;
    loaded->identity = identity;
    // The registry view has most likely read this very file already.
    bool parsed = false;
    for (HostScope scope : {HostScope::User, HostScope::System}) {
        const std::shared_ptr<const HostSnapshot> snapshot = ReadHostDataSources(scope);
        if (!parsed && snapshot->identity == identity) {
            loaded->sections = snapshot->sections;
            parsed = true;
        }
    }
    const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return nullptr;
        }
        if (n == 0) {
            break;
        }
        loaded->text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    struct stat after;
    if (stat(target.c_str(), &after) != 0 || IdentityKey(after) != identity) {
        errno = EAGAIN;  // changed while it was read
        return nullptr;
    }
    if (!parsed && !ReadIniFile(target, &loaded->sections)) {
        return nullptr;
    }
    const std::lock_guard<std::mutex> guard(g_lock);
    LastLoaded() = loaded;
    return loaded;
}

// Replaces the file `target` with `text`: a copy in the same folder, flushed,
// with the owner, group and mode of the file it replaces (`old`, null for a
// new file, which gets `newMode`), read back through the configuration
// library and compared with `meant`, then renamed over the file.
void Replace(HostScope scope, const std::string& file, const std::string& target,
             const struct stat* old, mode_t newMode, const std::string& text, const Model& meant) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = FolderOf(target);
    RemoveLeftCopies(dir, target);
    const std::string copy =
        dir + "/" + TempPrefix(target) + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        Refuse("cannot write " + file + ": " + std::strerror(errno));
    }
    auto fail = [&](const std::string& why) {
        close(fd);
        unlink(copy.c_str());
        Refuse("cannot write " + file + ": " + why);
    };
    if (!WriteAll(fd, text)) {
        fail(std::strerror(errno));
    }
    if (old != nullptr && (old->st_uid != geteuid() || old->st_gid != getegid()) &&
        fchown(fd, old->st_uid, old->st_gid) != 0) {
        fail(std::string("cannot give the new copy the file's owner and group: ") +
             std::strerror(errno));
    }
    if (fchmod(fd, old != nullptr ? (old->st_mode & 07777) : newMode) != 0 || fsync(fd) != 0) {
        fail(std::strerror(errno));
    }
    if (close(fd) != 0) {
        unlink(copy.c_str());
        Refuse("cannot write " + file + ": " + std::strerror(errno));
    }
    std::vector<IniSection> readBack;
    if (!ReadIniFile(copy, &readBack) || !meant.SameAs(readBack)) {
        unlink(copy.c_str());
        Refuse("the edited copy of " + file +
               " does not read back as meant through the driver manager's configuration "
               "library; the file is left as it was");
    }
    if (rename(copy.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(copy.c_str());
        Refuse("cannot replace " + file + ": " + std::strerror(error));
    }
    RememberHostFile(scope, readBack);
    Remember(target, text, std::move(readBack));
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

// Brings the configuration file of `scope` in line with the store: the
// section of every data source the store publishes written or rewritten,
// every section of this prefix's that the store no longer holds removed, in
// one replace of the file. `changed` names the data source whose change
// asked for this (empty for a whole sweep): only its refusals fail the
// change; another data source that cannot be published stays as it is.
void Reconcile(Store& store, HostScope scope, int64_t odbcIni, const std::string& changed) {
    const std::string file = HostConfigFile(scope);
    if (file.empty()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(g_lock);
        g_problem.clear();
    }
    const std::string prefix = PrefixOf(store);
    const std::string target = Target(file);
    const FileLock lock(FolderOf(target));

    std::vector<Section> wanted;
    KeyRow list;
    if (store.FindChild(odbcIni, kDataSourceListName, &list)) {
        for (const ValueRecord& entry : store.ReadValues(list.id)) {
            Section section;
            if (Wanted(store, odbcIni, entry.name, prefix, &section)) {
                wanted.push_back(std::move(section));
            }
        }
    }

    struct stat st;
    const bool exists = stat(target.c_str(), &st) == 0;
    std::shared_ptr<const Loaded> loaded = std::make_shared<Loaded>();
    if (exists && (loaded = LoadFile(target, st)) == nullptr) {
        bool asked = false;
        for (const Section& section : wanted) {
            asked = asked || SameName(section.name, changed);
        }
        if (asked) {
            Refuse("cannot read " + file + ": " + std::strerror(errno));
        }
        return;
    }
    const std::vector<IniSection>& sections = loaded->sections;
    const auto find = [&](const std::string& name) -> const IniSection* {
        for (const IniSection& section : sections) {
            if (SameName(section.name, name)) {
                return &section;
            }
        }
        return nullptr;
    };

    // What to change is decided on the file as it is; the text and the
    // expected sections are copied and changed only when there is a change.
    std::vector<const Section*> put;
    std::vector<const Section*> unlisted;
    std::vector<std::string> remove;
    const IniSection* listed = find(kDataSourceListName);
    for (const Section& section : wanted) {
        const bool asked = SameName(section.name, changed);
        const std::string why = Unwritable(section);
        if (!why.empty()) {
            if (asked) {
                Refuse(file + " cannot hold " + why);
            }
            continue;
        }
        const IniSection* host = find(section.name);
        if (host != nullptr && !Marked(host->entries, prefix)) {
            if (asked) {
                Refuse(file + " has a section [" + host->name +
                       "] that is not this prefix's; it is left as it is");
            }
            continue;
        }
        if (host == nullptr || host->entries != section.entries) {
            put.push_back(&section);
        }
        bool inList = false;
        if (listed != nullptr) {
            for (const auto& entry : listed->entries) {
                inList = inList ||
                         (SameName(entry.first, section.name) && entry.second == section.listText);
            }
        }
        if (!inList) {
            unlisted.push_back(&section);
        }
    }
    for (const IniSection& section : sections) {
        if (!Marked(section.entries, prefix)) {
            continue;
        }
        bool keep = false;
        for (const Section& w : wanted) {
            keep = keep || SameName(w.name, section.name);
        }
        if (!keep) {
            remove.push_back(section.name);
        }
    }
    const bool edited = !put.empty() || !unlisted.empty() || !remove.empty();
    if (!edited) {
        return;
    }
    // A file without write permission is not replaced, whoever runs: root
    // could, but the file says it is not to be changed.
    if (exists && (st.st_mode & 0222) == 0) {
        Refuse(file + " is read-only; it is left as it is");
    }
    if (exists && access(target.c_str(), W_OK) != 0) {
        Refuse("cannot write " + file + ": " + std::strerror(errno));
    }
    Model model(sections);
    IniText edit(loaded->text);
    for (const Section* section : put) {
        edit.PutSection(section->name, section->entries);
        model.PutSection(section->name, section->entries);
    }
    for (const Section* section : unlisted) {
        edit.PutEntry(kDataSourceListName, section->name, section->listText);
        model.PutEntry(kDataSourceListName, section->name, section->listText);
    }
    for (const std::string& name : remove) {
        edit.RemoveSection(name);
        edit.RemoveEntry(kDataSourceListName, name);
        model.RemoveSection(name);
        model.RemoveEntry(kDataSourceListName, name);
    }
    Replace(scope, file, target, exists ? &st : nullptr, scope == HostScope::System ? 0644 : 0600,
            edit.Text(), model);
}

}  // namespace

void PublishAfterValueChange(Store& store, int64_t key, const std::string& valueName) {
    HostScope scope;
    KeyRow row;
    if (!ScopeOf(store, &scope) || !store.GetKey(key, &row) || row.parent == 0) {
        return;
    }
    if (SameName(row.name, kDataSourceListName) && IsOdbcIniKey(store, row.parent)) {
        Reconcile(store, scope, row.parent, valueName);
    } else if (IsOdbcIniKey(store, row.parent)) {
        Reconcile(store, scope, row.parent, row.name);
    }
}

void PublishAfterKeyDelete(Store& store, const KeyRow& deleted) {
    HostScope scope;
    if (!ScopeOf(store, &scope) || deleted.parent == 0 || !IsOdbcIniKey(store, deleted.parent)) {
        return;
    }
    if (!SameName(deleted.name, kDataSourceListName)) {
        store.SetNote(UnpublishedNote(deleted.name), false);
    }
    Reconcile(store, scope, deleted.parent, std::string());
}

bool PublishHive(Store& store, std::string* problem) {
    HostScope scope;
    if (!ScopeOf(store, &scope)) {
        return true;
    }
    try {
        store.Run(Store::Mode::Write, [&] {
            KeyRow row;
            int64_t at = kRootKeyId;
            for (const char* name : {kSoftwareName, kOdbcName, kOdbcIniName}) {
                if (!store.FindChild(at, name, &row)) {
                    return;
                }
                at = row.id;
            }
            Reconcile(store, scope, at, std::string());
        });
    } catch (const StoreError& e) {
        const std::string why = PublishingProblem();
        *problem = "cannot write the data sources of " + store.Path() +
                   " to the ODBC configuration: " +
                   (why.empty() ? "status " + std::to_string(e.status) : why);
        return false;
    }
    return true;
}

std::vector<std::string> TemporaryDataSources(Store& store) {
    std::vector<std::string> names;
    store.Run(Store::Mode::Read, [&] {
        KeyRow row;
        int64_t at = kRootKeyId;
        for (const char* name : {kSoftwareName, kOdbcName, kOdbcIniName, kDataSourceListName}) {
            if (!store.FindChild(at, name, &row)) {
                return;
            }
            at = row.id;
        }
        for (const ValueRecord& entry : store.ReadValues(at)) {
            if (store.HasNote(UnpublishedNote(entry.name))) {
                names.push_back(entry.name);
            }
        }
    });
    return names;
}

std::string PrefixMarkOf(const Store& store) {
    return PrefixOf(store);
}

bool CarriesMark(const HostDataSource& source, const std::string& mark) {
    return Marked(source, mark);
}

}  // namespace vorla::platform::registry

namespace vorla::platform {

void KeepUnpublished(const char* name) {
    const std::lock_guard<std::mutex> guard(registry::g_lock);
    registry::g_unpublished.emplace_back(name);
}

std::string PublishingProblem() {
    const std::lock_guard<std::mutex> guard(registry::g_lock);
    return registry::g_problem;
}

}  // namespace vorla::platform
