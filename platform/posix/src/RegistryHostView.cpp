#include "RegistryHostView.h"

#include "CaseFold.h"

#include <algorithm>

namespace vorla::platform::registry {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return CompareFolded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                         reinterpret_cast<const unsigned char*>(b.data()), b.size()) == 0;
}

bool FoldedLess(const std::string& a, const std::string& b) {
    return CompareFolded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                         reinterpret_cast<const unsigned char*>(b.data()), b.size()) < 0;
}

bool ScopeOfStore(const Store& store, HostScope* scope) {
    if (store.Kind() == HiveKind::User) {
        *scope = HostScope::User;
        return true;
    }
    if (store.Kind() == HiveKind::System) {
        *scope = HostScope::System;
        return true;
    }
    return false;
}

// Whether the key `id` is named, from itself up to the root of its hive, by
// `names` (the key's own name first), and stands right below the root.
bool KeyPathIs(Store& store, int64_t id, std::initializer_list<const char*> names) {
    bool match = true;
    store.Run(Store::Mode::Read, [&] {
        int64_t at = id;
        for (const char* name : names) {
            KeyRow row;
            if (!store.GetKey(at, &row) || !SameName(row.name, name)) {
                match = false;
                return;
            }
            at = row.parent;
        }
        match = at == kRootKeyId;
    });
    return match;
}

// The host's data sources that the store does not shadow, each name once.
template <class IsShadowed>
std::vector<const HostDataSource*> Shown(const HostView& view, IsShadowed isShadowed) {
    std::vector<const HostDataSource*> shown;
    for (const HostDataSource& source : view.snapshot->sources) {
        if (isShadowed(source.name) ||
            std::any_of(shown.begin(), shown.end(), [&](const HostDataSource* earlier) {
                return SameName(earlier->name, source.name);
            })) {
            continue;
        }
        shown.push_back(&source);
    }
    return shown;
}

bool NameIn(const Store::NamedIds& rows, const std::string& name) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const auto& row) { return SameName(row.second, name); });
}

std::vector<EnumItem> StoreItems(const Store::NamedIds& rows) {
    std::vector<EnumItem> items;
    items.reserve(rows.size());
    for (const auto& row : rows) {
        items.push_back(EnumItem{row.first, nullptr});
    }
    return items;
}

}  // namespace

HostView HostViewOfKey(const KeyPosition& pos, const std::string& lastName) {
    HostView view;
    if (!HostDataSourcesShown() || !ScopeOfStore(*pos.store, &view.scope)) {
        return view;
    }
    // Only the last name is compared first, so that the walk up the tree is
    // made for the two keys that may qualify and for no other.
    if (SameName(lastName, "ODBC.INI") &&
        KeyPathIs(*pos.store, pos.key, {"ODBC.INI", "ODBC", "SOFTWARE"})) {
        view.role = HostRole::OdbcIni;
    } else if (SameName(lastName, "ODBC Data Sources") &&
               KeyPathIs(*pos.store, pos.key,
                         {"ODBC Data Sources", "ODBC.INI", "ODBC", "SOFTWARE"})) {
        view.role = HostRole::List;
    } else {
        return view;
    }
    view.snapshot = ReadHostDataSources(view.scope);
    return view;
}

HostView Reread(const HostView& view) {
    if (view.role == HostRole::None) {
        return view;
    }
    HostView fresh = view;
    fresh.snapshot = ReadHostDataSources(view.scope);
    if (view.role == HostRole::DataSource) {
        // Gone from the file since: the new handle finds no such key.
        fresh.source = fresh.snapshot->Find(view.source->name);
        if (fresh.source == nullptr) {
            fresh.role = HostRole::None;
        }
    }
    return fresh;
}

HostView HostDataSourceBelow(const HostView& parent, const std::string& name) {
    HostView view;
    if (parent.role != HostRole::OdbcIni) {
        return view;
    }
    const HostDataSource* source = parent.snapshot->Find(name);
    if (source == nullptr) {
        return view;
    }
    view = parent;
    view.role = HostRole::DataSource;
    view.source = source;
    return view;
}

bool HostListsValue(const HostView& view, const std::string& name) {
    return view.role == HostRole::List && view.snapshot->Find(name) != nullptr;
}

bool HostAddsSubKeys(const HostView& view, const Store::NamedIds& children) {
    if (view.role != HostRole::OdbcIni) {
        return false;
    }
    return !Shown(view, [&](const std::string& name) { return NameIn(children, name); }).empty();
}

std::vector<EnumItem> LoadSubKeys(const KeyHandle& h) {
    if (h.host.role != HostRole::OdbcIni) {
        std::vector<EnumItem> items;
        for (int64_t id : h.store->ChildIdsSorted(h.key)) {
            items.push_back(EnumItem{id, nullptr});
        }
        return items;
    }
    // Sub-keys come in the order of their upper-cased names, the host's among
    // the store's.
    const Store::NamedIds children = h.store->ChildNamesSorted(h.key);
    std::vector<std::pair<std::string, EnumItem>> named;
    for (const auto& child : children) {
        named.emplace_back(child.second, EnumItem{child.first, nullptr});
    }
    for (const HostDataSource* source :
         Shown(h.host, [&](const std::string& name) { return NameIn(children, name); })) {
        named.emplace_back(source->name, EnumItem{0, source});
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return FoldedLess(a.first, b.first); });
    std::vector<EnumItem> items;
    items.reserve(named.size());
    for (const auto& entry : named) {
        items.push_back(entry.second);
    }
    return items;
}

std::vector<EnumItem> LoadValues(const KeyHandle& h) {
    if (h.host.role != HostRole::List) {
        std::vector<EnumItem> items;
        for (int64_t id : h.store->ValueIdsOrdered(h.key)) {
            items.push_back(EnumItem{id, nullptr});
        }
        return items;
    }
    // The store's values first, in their order, then the host's.
    const Store::NamedIds values = h.store->ValueNamesOrdered(h.key);
    std::vector<EnumItem> items = StoreItems(values);
    for (const HostDataSource* source :
         Shown(h.host, [&](const std::string& name) { return NameIn(values, name); })) {
        items.push_back(EnumItem{0, source});
    }
    return items;
}

void AddHostInfo(const std::vector<EnumItem>& items, bool values, Store::Info* info) {
    for (const EnumItem& item : items) {
        if (item.host == nullptr) {
            continue;
        }
        const auto nameLength = static_cast<DWORD>(item.host->name.size());
        if (values) {
            ++info->values;
            info->maxValueName = std::max(info->maxValueName, nameLength);
            info->maxValueData =
                std::max(info->maxValueData, static_cast<DWORD>(item.host->driver.size() + 1));
        } else {
            ++info->subKeys;
            info->maxSubKeyName = std::max(info->maxSubKeyName, nameLength);
        }
    }
}

Store::Info HostDataSourceInfo(const HostDataSource& source) {
    Store::Info info;
    info.values = static_cast<DWORD>(source.entries.size());
    for (const auto& entry : source.entries) {
        info.maxValueName = std::max(info.maxValueName, static_cast<DWORD>(entry.first.size()));
        info.maxValueData =
            std::max(info.maxValueData, static_cast<DWORD>(entry.second.size() + 1));
    }
    return info;
}

ValueRecord HostValue(const std::string& name, const std::string& text) {
    ValueRecord value;
    value.name = name;
    value.type = REG_SZ;
    value.data = text;
    value.data.push_back('\0');
    return value;
}

}  // namespace vorla::platform::registry
