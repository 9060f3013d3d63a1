// Values of the store's keys, and the counts and sizes of a key.
#include "RegistryStore.h"
#include "StoreQuery.h"

#include <algorithm>

namespace vorla::platform::registry {

bool Store::GetValue(int64_t key, const std::string& name, ValueRecord* value) {
    Query q(Prepare("SELECT name, type, data FROM vals WHERE key=?1 AND fold=?2"));
    if (!q.Bind(1, key).Bind(2, Fold(name)).Step()) {
        return false;
    }
    value->name = q.Text(0);
    value->type = static_cast<DWORD>(q.Int(1));
    value->data = q.Text(2);
    return true;
}

void Store::LoadValues(int64_t key, ValueList* list) {
    // Values enumerate in the order they were first created: ids only grow,
    // and updating a value keeps its row.
    Query q(Prepare("SELECT name, type, data FROM vals WHERE key=?1 ORDER BY id"));
    q.Bind(1, key);
    while (q.Step()) {
        ValueRecord value;
        value.name = q.Text(0);
        value.type = static_cast<DWORD>(q.Int(1));
        value.data = q.Text(2);
        list->push_back(std::move(value));
    }
}

void Store::SetValue(int64_t key, const std::string& name, DWORD type, const BYTE* data,
                     DWORD size) {
    // The stamp first: it also finds a key that is gone.
    NoteChange(key, kChangeValue, true);
    // An existing value keeps its row (and so its place in the enumeration)
    // and the spelling of its name.
    Query q(
        Prepare("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type,"
                " data=excluded.data"));
    q.Bind(1, key).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<int64_t>(type));
    q.BindBlob(5, data, size);
    q.Step();
    Touch touch{Touch::What::SetValue, key, 0, 0, {}, {}};
    touch.value.name = name;
    touch.value.type = type;
    touch.value.data.assign(reinterpret_cast<const char*>(data), size);
    m_touched.push_back(std::move(touch));
}

bool Store::DeleteValue(int64_t key, const std::string& name) {
    if (!KeyExists(key)) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    {
        Query q(Prepare("DELETE FROM vals WHERE key=?1 AND fold=?2"));
        q.Bind(1, key).Bind(2, Fold(name)).Step();
    }
    if (sqlite3_changes(m_db) == 0) {
        return false;
    }
    NoteChange(key, kChangeValue, true);
    Touch touch{Touch::What::DeleteValue, key, 0, 0, {}, {}};
    touch.value.name = name;
    m_touched.push_back(std::move(touch));
    return true;
}

Store::Info Store::QueryInfo(int64_t key) {
    const std::shared_ptr<const ChildList> children = Children(key);
    const std::shared_ptr<const ValueList> values = Values(key);
    Info info;
    info.subKeys = static_cast<DWORD>(children->size());
    for (const KeyRow& child : *children) {
        info.maxSubKeyName = std::max(info.maxSubKeyName, static_cast<DWORD>(child.name.size()));
        info.maxClass = std::max(info.maxClass, static_cast<DWORD>(child.className.size()));
    }
    info.values = static_cast<DWORD>(values->size());
    for (const ValueRecord& value : *values) {
        info.maxValueName = std::max(info.maxValueName, static_cast<DWORD>(value.name.size()));
        info.maxValueData = std::max(info.maxValueData, static_cast<DWORD>(value.data.size()));
    }
    return info;
}

// Notes live in the meta table under a prefix of their own, apart from the
// store's format and version rows.
bool Store::HasNote(const std::string& name) {
    Query q(Prepare("SELECT 1 FROM meta WHERE name=?1"));
    return q.Bind(1, "note:" + name).Step();
}

void Store::SetNote(const std::string& name, bool present) {
    Query q(Prepare(present ? "INSERT OR IGNORE INTO meta(name, value) VALUES(?1, 1)"
                            : "DELETE FROM meta WHERE name=?1"));
    q.Bind(1, "note:" + name).Step();
}

}  // namespace vorla::platform::registry
