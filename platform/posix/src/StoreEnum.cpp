// The sub-key and value lists of keys, for enumeration by index. A list is
// read in one transaction and kept while the store file does not change; any
// commit of any process changes it. In WAL mode that shows in the wal-index
// header (ChangeWatch), read without a transaction; otherwise SQLite's data
// version, read in one, tells of other connections' commits, and this
// connection's own writes drop the lists.
#include "ChangeWatch.h"
#include "RegistryStore.h"
#include "StoreQuery.h"

#include <algorithm>

namespace vorla::platform::registry {

namespace {

int64_t DataVersion(Store& store, sqlite3_stmt* stmt) {
    int64_t version = 0;
    store.Run(Store::Mode::Read, [&] {
        Query q(stmt);
        if (q.Step()) {
            version = q.Int(0);
        }
    });
    return version;
}

}  // namespace

bool Store::Unchanged() {
    if (m_watch) {
        ChangeWatch::Mark mark;
        if (m_watch->Read(&mark)) {
            const bool same = m_knowsMark && mark == m_mark;
            m_mark = mark;
            m_knowsMark = true;
            return same;
        }
        m_knowsMark = false;
        return false;
    }
    const int64_t version = DataVersion(*this, Prepare("PRAGMA data_version"));
    const bool same = m_knowsVersion && version == m_version;
    m_version = version;
    m_knowsVersion = true;
    return same;
}

template <class List>
std::shared_ptr<const List> Store::Cached(
    int64_t key, std::unordered_map<int64_t, std::shared_ptr<const List>>& map,
    void (Store::*load)(int64_t, List*)) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    EnsureConnection();
    if (m_corrupt) {
        throw StoreError{ERROR_REGISTRY_CORRUPT};
    }
    // The mark or version is taken before the list is read: a commit in
    // between shows as a change next time, never the other way round.
    if (!Unchanged()) {
        m_children.clear();
        m_values.clear();
    }
    auto it = map.find(key);
    if (it != map.end()) {
        return it->second;
    }
    auto list = std::make_shared<List>();
    Run(Mode::Read, [&] {
        if (!KeyExists(key)) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        (this->*load)(key, list.get());
    });
    // The wal-index is mapped once a transaction has made sure it is in use.
    if (!m_watchTried) {
        m_watchTried = true;
        m_watch = ChangeWatch::Attach(m_path);
        m_knowsMark = false;
        m_children.clear();
        m_values.clear();
    }
    map[key] = list;
    return list;
}

size_t Store::Walk(int64_t* key, const std::vector<std::string>& parts, size_t from,
                   std::string* mount) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    EnsureConnection();
    if (m_corrupt) {
        throw StoreError{ERROR_REGISTRY_CORRUPT};
    }
    if (!Unchanged()) {
        m_children.clear();
        m_values.clear();
    }
    size_t used = from;
    // Through the kept lists while there are: a key listed there exists.
    bool known = false;
    for (auto it = m_children.find(*key); it != m_children.end(); it = m_children.find(*key)) {
        known = true;
        if (used == parts.size()) {
            return used;
        }
        const std::string fold = Fold(parts[used]);
        const ChildList& children = *it->second;
        const auto row = std::lower_bound(
            children.begin(), children.end(), fold,
            [](const KeyRow& child, const std::string& name) { return child.fold < name; });
        if (row == children.end() || row->fold != fold) {
            return used;
        }
        ++used;
        *key = row->id;
        if (!row->mount.empty()) {
            *mount = row->mount;
            return used;
        }
    }
    if (known && used == parts.size()) {
        return used;
    }
    // The rest in one transaction.
    Run(Mode::Read, [&] {
        if (!known && !KeyExists(*key)) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        while (used < parts.size()) {
            KeyRow row;
            if (!FindChild(*key, parts[used], &row)) {
                return;
            }
            ++used;
            *key = row.id;
            if (!row.mount.empty()) {
                *mount = row.mount;
                return;
            }
        }
    });
    return used;
}

std::shared_ptr<const ChildList> Store::Children(int64_t key) {
    return Cached(key, m_children, &Store::LoadChildren);
}

std::shared_ptr<const ValueList> Store::Values(int64_t key) {
    return Cached(key, m_values, &Store::LoadValues);
}

}  // namespace vorla::platform::registry
