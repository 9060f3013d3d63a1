#include "RegistryHostView.h"

#include "CaseFold.h"
#include "OdbcNames.h"
#include "Publish.h"

#include <algorithm>
#include <unordered_set>

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
    int64_t at = id;
    for (const char* name : names) {
        KeyRow row;
        if (!store.Row(at, &row) || !SameName(row.name, name)) {
            return false;
        }
        at = row.parent;
    }
    return at == kRootKeyId;
}

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    }
    return folded;
}

// The host's data sources that the store does not shadow (`shadowing` holds
// the store's names, folded), each name once. Sets, not scans: a file may
// hold thousands of data sources.
std::vector<const HostDataSource*> Shown(const HostView& view,
                                         std::unordered_set<std::string> shadowing) {
    std::vector<const HostDataSource*> shown;
    for (const HostDataSource& source : view.snapshot->sources) {
        if (CarriesMark(source, view.ownMark) || !shadowing.insert(Folded(source.name)).second) {
            continue;
        }
        shown.push_back(&source);
    }
    return shown;
}

}  // namespace

HostView HostViewOfKey(const KeyPosition& pos, const std::string& lastName) {
    HostView view;
    if (!HostDataSourcesShown() || !ScopeOfStore(*pos.store, &view.scope)) {
        return view;
    }
    // Only the last name is compared first, so that the walk up the tree is
    // made for the two keys that may qualify and for no other.
    if (SameName(lastName, kOdbcIniName) &&
        KeyPathIs(*pos.store, pos.key, {kOdbcIniName, kOdbcName, kSoftwareName})) {
        view.role = HostRole::OdbcIni;
    } else if (SameName(lastName, kDataSourceListName) &&
               KeyPathIs(*pos.store, pos.key,
                         {kDataSourceListName, kOdbcIniName, kOdbcName, kSoftwareName})) {
        view.role = HostRole::List;
    } else {
        return view;
    }
    view.snapshot = ReadHostDataSources(view.scope);
    view.ownMark = PrefixMarkOf(*pos.store);
    return view;
}

const HostDataSource* FindShown(const HostView& view, const std::string& name) {
    const HostDataSource* source = view.snapshot->Find(name);
    return source != nullptr && !CarriesMark(*source, view.ownMark) ? source : nullptr;
}

HostView HostViewOfPath(const Store& store, const std::vector<std::string>& parts) {
    HostView view;
    if (!HostDataSourcesShown() || !ScopeOfStore(store, &view.scope) || parts.size() < 3 ||
        parts.size() > 4 || !SameName(parts[0], kSoftwareName) || !SameName(parts[1], kOdbcName) ||
        !SameName(parts[2], kOdbcIniName)) {
        return view;
    }
    view.snapshot = ReadHostDataSources(view.scope);
    view.ownMark = PrefixMarkOf(store);
    if (parts.size() == 3) {
        view.role = HostRole::OdbcIni;
    } else if (SameName(parts[3], kDataSourceListName)) {
        view.role = HostRole::List;
    } else {
        view.role = HostRole::OdbcIni;
        return HostDataSourceBelow(view, parts[3]);
    }
    return view;
}

std::vector<std::string> PathOfView(const HostView& view) {
    std::vector<std::string> path{kSoftwareName, kOdbcName, kOdbcIniName};
    if (view.role == HostRole::List) {
        path.emplace_back(kDataSourceListName);
    }
    return path;
}

HostView Reread(const HostView& view) {
    if (view.role == HostRole::None) {
        return view;
    }
    HostView fresh = view;
    fresh.snapshot = ReadHostDataSources(view.scope);
    if (view.role == HostRole::DataSource) {
        // Gone from the file since: the new handle finds no such key.
        fresh.source = FindShown(fresh, view.source->name);
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
    const HostDataSource* source = FindShown(parent, name);
    if (source == nullptr) {
        return view;
    }
    view = parent;
    view.role = HostRole::DataSource;
    view.source = source;
    return view;
}

bool HostListsValue(const HostView& view, const std::string& name) {
    return view.role == HostRole::List && FindShown(view, name) != nullptr;
}

bool HostAddsSubKeys(const HostView& view) {
    return view.role == HostRole::OdbcIni &&
           std::any_of(
               view.snapshot->sources.begin(), view.snapshot->sources.end(),
               [&](const HostDataSource& source) { return !CarriesMark(source, view.ownMark); });
}

const std::vector<EnumItem>& MergedSubKeys(KeyHandle& h) {
    // A key that only the view has (key 0) has no sub-keys of the store's.
    static const auto kNoChildren = std::make_shared<const ChildList>();
    const std::shared_ptr<const ChildList> children =
        h.key != 0 ? h.store->Children(h.key) : kNoChildren;
    if (h.subKeys.source == children) {
        return h.subKeys.items;
    }
    // Sub-keys come in the order of their upper-cased names, the host's among
    // the store's.
    std::unordered_set<std::string> shadowing;
    std::vector<std::pair<const std::string*, EnumItem>> named;
    for (const KeyRow& row : *children) {
        named.emplace_back(&row.name, EnumItem{&row, nullptr, nullptr});
        shadowing.insert(Folded(row.name));
    }
    for (const HostDataSource* source : Shown(h.host, std::move(shadowing))) {
        named.emplace_back(&source->name, EnumItem{nullptr, nullptr, source});
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return FoldedLess(*a.first, *b.first); });
    h.subKeys.items.clear();
    for (const auto& entry : named) {
        h.subKeys.items.push_back(entry.second);
    }
    h.subKeys.source = children;
    return h.subKeys.items;
}

const std::vector<EnumItem>& MergedValues(KeyHandle& h) {
    static const auto kNoValues = std::make_shared<const ValueList>();
    const std::shared_ptr<const ValueList> values = h.key != 0 ? h.store->Values(h.key) : kNoValues;
    if (h.values.source == values) {
        return h.values.items;
    }
    // The store's values first, in their order, then the host's.
    h.values.items.clear();
    std::unordered_set<std::string> shadowing;
    for (const ValueRecord& value : *values) {
        h.values.items.push_back(EnumItem{nullptr, &value, nullptr});
        shadowing.insert(Folded(value.name));
    }
    for (const HostDataSource* source : Shown(h.host, std::move(shadowing))) {
        h.values.items.push_back(EnumItem{nullptr, nullptr, source});
    }
    h.values.source = values;
    return h.values.items;
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
