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
#include <cstring>

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
    // The wal-index exists once the connection has used a file in WAL mode,
    // which opening a store has done.
    if (!m_watchTried) {
        m_watchTried = true;
        m_watch = ChangeWatch::Attach(m_db);
        m_knowsMark = false;
    }
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

// The mark or version is taken before a list is read: a commit in between
// shows as a change next time, never the other way round.
void Store::ForgetIfChanged() {
    EnsureConnection();
    if (m_corrupt) {
        throw StoreError{ERROR_REGISTRY_CORRUPT};
    }
    if (!Unchanged()) {
        m_children.clear();
        m_values.clear();
        m_rows.clear();
    }
}

namespace {

// The count of transactions in a wal-index header (iChange, the third
// 32-bit word, in the machine's byte order).
uint32_t Transactions(const std::array<unsigned char, 48>& mark) {
    uint32_t count = 0;
    std::memcpy(&count, mark.data() + 8, sizeof count);
    return count;
}

}  // namespace

void Store::BeforeWrite() {
    // Whatever was committed before this write is known before it starts.
    if (m_watch) {
        ForgetIfChanged();
    }
}

// A write of this connection changed the lists of the keys it touched and
// the file. In WAL mode the header then counts exactly one transaction more
// when no other process committed between the look before the write and its
// commit; only then are the other lists kept, as they are when the data
// version (which does not count this connection's commits) watches.
void Store::AfterWrite(bool committed) {
    bool keep = committed && !m_touchedAll;
    if (keep && m_watch) {
        // A write that changed nothing leaves the header as it was.
        const uint32_t expected = Transactions(m_mark) + (m_touched.empty() ? 0 : 1);
        ChangeWatch::Mark mark;
        keep = m_knowsMark && m_watch->Read(&mark) && Transactions(mark) == expected &&
               (!m_touched.empty() || mark == m_mark);
        if (keep) {
            m_mark = mark;
        } else {
            m_knowsMark = false;
        }
    }
    if (!keep) {
        m_children.clear();
        m_values.clear();
        m_rows.clear();
        return;
    }
    for (const Touch& touch : m_touched) {
        Apply(touch);
    }
}

namespace {

bool SameFold(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Fold(a) == Fold(b);
}

// A writable copy of a kept list, which others may still hold as it is.
template <class List>
List& CopyToChange(std::shared_ptr<const List>& list) {
    auto copy = std::make_shared<List>(*list);
    List& ref = *copy;
    list = std::move(copy);
    return ref;
}

}  // namespace

// Does to the kept lists what one change did to the file, so that a write of
// this connection never makes them be read again.
void Store::Apply(const Touch& touch) {
    const auto rowIn = [](ChildList& list, int64_t id) {
        return std::find_if(list.begin(), list.end(), [id](const KeyRow& r) { return r.id == id; });
    };
    switch (touch.what) {
        case Touch::What::Stamp: {
            // A new last-write time for the key's row, kept and in its
            // parent's list.
            if (touch.lastWrite == 0) {
                return;
            }
            if (auto row = m_rows.find(touch.key); row != m_rows.end()) {
                row->second.lastWrite = touch.lastWrite;
            }
            if (auto parent = m_children.find(touch.parent); parent != m_children.end()) {
                ChildList& list = CopyToChange(parent->second);
                if (auto row = rowIn(list, touch.key); row != list.end()) {
                    row->lastWrite = touch.lastWrite;
                }
            }
            return;
        }
        case Touch::What::AddKey: {
            // A new key has no sub-keys and no values yet.
            m_children[touch.key] = std::make_shared<ChildList>();
            m_values[touch.key] = std::make_shared<ValueList>();
            if (auto parent = m_children.find(touch.parent); parent != m_children.end()) {
                ChildList& list = CopyToChange(parent->second);
                const auto at = std::lower_bound(
                    list.begin(), list.end(), touch.row.fold,
                    [](const KeyRow& r, const std::string& fold) { return r.fold < fold; });
                list.insert(at, touch.row);
            }
            return;
        }
        case Touch::What::DeleteKey: {
            m_rows.erase(touch.key);
            m_children.erase(touch.key);
            m_values.erase(touch.key);
            if (auto parent = m_children.find(touch.parent); parent != m_children.end()) {
                ChildList& list = CopyToChange(parent->second);
                if (auto row = rowIn(list, touch.key); row != list.end()) {
                    list.erase(row);
                }
            }
            return;
        }
        case Touch::What::SetValue:
        case Touch::What::DeleteValue: {
            auto values = m_values.find(touch.key);
            if (values == m_values.end()) {
                return;
            }
            ValueList& list = CopyToChange(values->second);
            const auto at = std::find_if(list.begin(), list.end(), [&](const ValueRecord& v) {
                return SameFold(v.name, touch.value.name);
            });
            if (touch.what == Touch::What::DeleteValue) {
                if (at != list.end()) {
                    list.erase(at);
                }
            } else if (at != list.end()) {
                // An existing value keeps its place and the spelling of its name.
                at->type = touch.value.type;
                at->data = touch.value.data;
            } else {
                list.push_back(touch.value);
            }
            return;
        }
        case Touch::What::Security: {
            m_rows.erase(touch.key);
            m_children.erase(touch.parent);
            return;
        }
    }
}

template <class List>
std::shared_ptr<const List> Store::Cached(
    int64_t key, std::unordered_map<int64_t, std::shared_ptr<const List>>& map,
    void (Store::*load)(int64_t, List*)) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    ForgetIfChanged();
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
    map[key] = list;
    return list;
}

size_t Store::Walk(int64_t* key, const std::vector<std::string>& parts, size_t from,
                   std::string* mount) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    ForgetIfChanged();
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
        m_rows.emplace(row->id, *row);
        *key = row->id;
        if (!row->mount.empty()) {
            *mount = row->mount;
            return used;
        }
    }
    if (known && used == parts.size()) {
        return used;
    }
    // The rest in one transaction, which keeps the lists it reads.
    Run(Mode::Read, [&] {
        if (!known && !KeyExists(*key)) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        while (used < parts.size()) {
            std::shared_ptr<const ChildList>& slot = m_children[*key];
            if (!slot) {
                auto list = std::make_shared<ChildList>();
                LoadChildren(*key, list.get());
                slot = std::move(list);
            }
            const std::string fold = Fold(parts[used]);
            const auto row = std::lower_bound(
                slot->begin(), slot->end(), fold,
                [](const KeyRow& child, const std::string& name) { return child.fold < name; });
            if (row == slot->end() || row->fold != fold) {
                return;
            }
            ++used;
            m_rows.emplace(row->id, *row);
            *key = row->id;
            if (!row->mount.empty()) {
                *mount = row->mount;
                return;
            }
        }
    });
    return used;
}

bool Store::Row(int64_t id, KeyRow* row) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    ForgetIfChanged();
    auto it = m_rows.find(id);
    if (it == m_rows.end()) {
        KeyRow read;
        bool found = false;
        Run(Mode::Read, [&] { found = GetKey(id, &read); });
        if (!found) {
            return false;
        }
        it = m_rows.emplace(id, std::move(read)).first;
    }
    *row = it->second;
    return true;
}

bool Store::FindValue(int64_t key, const std::string& name, ValueRecord* value) {
    // A long list is not searched from the start for every value asked for.
    constexpr size_t kSearchedLength = 64;
    const std::shared_ptr<const ValueList> values = Values(key);
    if (values->size() > kSearchedLength) {
        bool found = false;
        Run(Mode::Read, [&] { found = GetValue(key, name, value); });
        return found;
    }
    const std::string fold = Fold(name);
    for (const ValueRecord& candidate : *values) {
        if (candidate.name.size() == fold.size() && Fold(candidate.name) == fold) {
            *value = candidate;
            return true;
        }
    }
    return false;
}

std::shared_ptr<const ChildList> Store::Children(int64_t key) {
    return Cached(key, m_children, &Store::LoadChildren);
}

std::shared_ptr<const ValueList> Store::Values(int64_t key) {
    return Cached(key, m_values, &Store::LoadValues);
}

}  // namespace vorla::platform::registry
