// Keys of the store: their rows, creating and deleting them, their change
// stamps, and whole trees for saving and restoring hives.
#include "RegistryStore.h"
#include "StoreQuery.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <random>

namespace vorla::platform::registry {

namespace {

// Both key queries select the same columns, in this order.
#define VORLA_KEY_COLUMNS \
    "SELECT id, name, class, ifnull(mount,''), last_write, parent, fold, security FROM keys"

void ReadKeyRow(const Query& q, KeyRow* row) {
    row->id = q.Int(0);
    row->name = q.Text(1);
    row->className = q.Text(2);
    row->mount = q.Text(3);
    row->lastWrite = q.Int(4);
    row->parent = q.Int(5);
    row->fold = q.Text(6);
    row->security = q.Text(7);
}

// Change numbers need only differ from every earlier one of the same key:
// notification and the lists kept in memory compare them for equality. Each
// process counts up from a random start, so numbers of different processes
// do not meet, and no shared counter has to be written by every call.
int64_t NextChangeNumber() {
    static std::atomic<int64_t> next{[] {
        std::random_device device;
        const uint64_t high = device();
        const uint64_t low = device();
        return static_cast<int64_t>(((high << 32) | low) >> 2) | 1;
    }()};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// Folds one number into a running hash of a tree's stamps.
int64_t Mix(int64_t hash, int64_t value) {
    uint64_t h = static_cast<uint64_t>(hash) ^ static_cast<uint64_t>(value);
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<int64_t>(h ^ (h >> 29));
}

}  // namespace

bool Store::KeyExists(int64_t id) {
    Query q(Prepare("SELECT 1 FROM keys WHERE id=?1"));
    return q.Bind(1, id).Step();
}

bool Store::GetKey(int64_t id, KeyRow* row) {
    Query q(Prepare(VORLA_KEY_COLUMNS " WHERE id=?1"));
    if (!q.Bind(1, id).Step()) {
        return false;
    }
    ReadKeyRow(q, row);
    return true;
}

bool Store::FindChild(int64_t parent, const std::string& name, KeyRow* row) {
    Query q(Prepare(VORLA_KEY_COLUMNS " WHERE parent=?1 AND fold=?2"));
    if (!q.Bind(1, parent).Bind(2, Fold(name)).Step()) {
        return false;
    }
    ReadKeyRow(q, row);
    return true;
}

void Store::LoadChildren(int64_t key, ChildList* list) {
    // Sub-keys enumerate in the order of their upper-cased names, as Windows
    // keeps them.
    Query q(Prepare(VORLA_KEY_COLUMNS " WHERE parent=?1 ORDER BY fold"));
    q.Bind(1, key);
    while (q.Step()) {
        KeyRow row;
        ReadKeyRow(q, &row);
        list->push_back(std::move(row));
    }
}

#undef VORLA_KEY_COLUMNS

int64_t Store::CreateChild(int64_t parent, const std::string& name, const std::string& className) {
    NoteChange(parent, kChangeName, true);
    Touch touch{Touch::What::AddKey, 0, parent, 0, {}, {}};
    KeyRow& row = touch.row;
    row.parent = parent;
    row.name = name;
    row.fold = Fold(name);
    row.className = className;
    row.lastWrite = FileTimeNow();
    row.security.assign(reinterpret_cast<const char*>(kDefaultSecurity), kDefaultSecuritySize);
    Query q(
        Prepare("INSERT INTO keys(parent, name, fold, class, security, last_write)"
                " VALUES(?1, ?2, ?3, ?4, ?5, ?6)"));
    q.Bind(1, parent).Bind(2, name).Bind(3, row.fold).Bind(4, className);
    q.BindBlob(5, row.security.data(), row.security.size()).Bind(6, row.lastWrite);
    q.Step();
    row.id = sqlite3_last_insert_rowid(m_db);
    touch.key = row.id;
    m_touched.push_back(std::move(touch));
    return row.id;
}

bool Store::HasChildren(int64_t id) {
    Query q(Prepare("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1"));
    return q.Bind(1, id).Step();
}

void Store::DeleteLeafKey(int64_t id) {
    int64_t parent = 0;
    {
        Query q(Prepare("SELECT parent FROM keys WHERE id=?1"));
        if (!q.Bind(1, id).Step()) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        parent = q.Int(0);
    }
    {
        Query q(Prepare("DELETE FROM vals WHERE key=?1"));
        q.Bind(1, id).Step();
    }
    {
        Query q(Prepare("DELETE FROM keys WHERE id=?1"));
        q.Bind(1, id).Step();
    }
    m_touched.push_back(Touch{Touch::What::DeleteKey, id, parent, 0, {}, {}});
    NoteChange(parent, kChangeName, true);
}

void Store::NoteChange(int64_t key, unsigned kinds, bool touch) {
    if (m_changeNumber == 0) {
        m_changeNumber = NextChangeNumber();
    }
    Query q(
        Prepare("UPDATE keys SET"
                " name_seq=CASE WHEN ?2 & 1 THEN ?3 ELSE name_seq END,"
                " value_seq=CASE WHEN ?2 & 2 THEN ?3 ELSE value_seq END,"
                " sec_seq=CASE WHEN ?2 & 4 THEN ?3 ELSE sec_seq END,"
                " last_write=CASE WHEN ?4 THEN ?5 ELSE last_write END"
                " WHERE id=?1 RETURNING parent"));
    const int64_t now = touch ? FileTimeNow() : 0;
    q.Bind(1, key).Bind(2, static_cast<int64_t>(kinds)).Bind(3, m_changeNumber);
    q.Bind(4, touch ? 1 : 0).Bind(5, now);
    if (!q.Step()) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    m_touched.push_back(Touch{Touch::What::Stamp, key, q.Int(0), now, {}, {}});
    while (q.Step()) {
    }
}

KeyStamps Store::Stamps(int64_t id, bool subtree) {
    KeyStamps s;
    {
        Query q(Prepare("SELECT name_seq, value_seq, sec_seq FROM keys WHERE id=?1"));
        if (!q.Bind(1, id).Step()) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        s.name = q.Int(0);
        s.value = q.Int(1);
        s.security = q.Int(2);
    }
    if (!subtree) {
        return s;
    }
    // The tree's stamps are folded from every key of it when asked, rather
    // than kept on each ancestor by every write: only a watch on a tree asks.
    // A key deleted below changes its parent's stamp, which is in the tree.
    Query q(
        Prepare("WITH RECURSIVE d(id) AS (SELECT ?1 UNION ALL"
                " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                " SELECT k.id, k.name_seq, k.value_seq, k.sec_seq FROM keys k JOIN d ON k.id=d.id"
                " ORDER BY k.id"));
    q.Bind(1, id);
    while (q.Step()) {
        const int64_t key = q.Int(0);
        s.treeName = Mix(Mix(s.treeName, key), q.Int(1));
        s.treeValue = Mix(Mix(s.treeValue, key), q.Int(2));
        s.treeSecurity = Mix(Mix(s.treeSecurity, key), q.Int(3));
    }
    return s;
}

std::string Store::GetSecurity(int64_t key) {
    Query q(Prepare("SELECT security FROM keys WHERE id=?1"));
    if (!q.Bind(1, key).Step()) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    return q.Text(0);
}

void Store::SetSecurity(int64_t key, const std::string& descriptor) {
    NoteChange(key, kChangeSecurity, false);
    m_touched.back().what = Touch::What::Security;
    Query q(Prepare("UPDATE keys SET security=?2 WHERE id=?1"));
    q.Bind(1, key).BindBlob(2, descriptor.data(), descriptor.size()).Step();
}

TreeNode Store::ReadTree(int64_t key) {
    TreeNode node;
    KeyRow row;
    if (!GetKey(key, &row)) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    node.name = row.name;
    node.className = row.className;
    node.lastWrite = row.lastWrite;
    node.security = GetSecurity(key);
    LoadValues(key, &node.values);
    ChildList children;
    LoadChildren(key, &children);
    for (const KeyRow& child : children) {
        node.children.push_back(ReadTree(child.id));
    }
    return node;
}

void Store::ReplaceTree(int64_t key, const TreeNode& tree) {
    {
        Query q(
            Prepare("WITH RECURSIVE d(id) AS (SELECT ?1 UNION ALL"
                    " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                    " DELETE FROM vals WHERE key IN d"));
        q.Bind(1, key).Step();
    }
    {
        Query q(
            Prepare("WITH RECURSIVE d(id) AS (SELECT id FROM keys WHERE parent=?1 UNION ALL"
                    " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                    " DELETE FROM keys WHERE id IN d"));
        q.Bind(1, key).Step();
    }
    // Inserts one level: the values of `node` into `id`, then each child.
    std::function<void(int64_t, const TreeNode&)> fill = [&](int64_t id, const TreeNode& node) {
        for (const ValueRecord& value : node.values) {
            Query q(
                Prepare("INSERT INTO vals(key, name, fold, type, data)"
                        " VALUES(?1, ?2, ?3, ?4, ?5)"));
            q.Bind(1, id).Bind(2, value.name).Bind(3, Fold(value.name));
            q.Bind(4, static_cast<int64_t>(value.type));
            q.BindBlob(5, value.data.data(), value.data.size());
            q.Step();
        }
        for (const TreeNode& child : node.children) {
            {
                Query q(
                    Prepare("INSERT INTO keys(parent, name, fold, class, security, last_write)"
                            " VALUES(?1, ?2, ?3, ?4, ?5, ?6)"));
                q.Bind(1, id)
                    .Bind(2, child.name)
                    .Bind(3, Fold(child.name))
                    .Bind(4, child.className);
                const std::string& sd = child.security;
                if (sd.empty()) {
                    q.BindBlob(5, kDefaultSecurity, kDefaultSecuritySize);
                } else {
                    q.BindBlob(5, sd.data(), sd.size());
                }
                q.Bind(6, child.lastWrite != 0 ? child.lastWrite : FileTimeNow());
                q.Step();
            }
            fill(sqlite3_last_insert_rowid(m_db), child);
        }
    };
    fill(key, tree);
    NoteChange(key, kChangeName | kChangeValue, true);
    m_touchedAll = true;
}

bool Store::TreeHasMount(int64_t key) {
    Query q(
        Prepare("WITH RECURSIVE d(id) AS (SELECT ?1 UNION ALL"
                " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                " SELECT 1 FROM keys WHERE id IN d AND mount IS NOT NULL LIMIT 1"));
    return q.Bind(1, key).Step();
}

void Store::SetMount(int64_t key, const std::string& file) {
    Query q(Prepare("UPDATE keys SET mount=?2 WHERE id=?1"));
    q.Bind(1, key).Bind(2, file).Step();
    m_touchedAll = true;
}

}  // namespace vorla::platform::registry
