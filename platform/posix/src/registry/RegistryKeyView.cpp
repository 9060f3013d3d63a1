#include "RegistryKeyView.h"

#include "CaseFold.h"
#include "RegistryHostView.h"

namespace vorla::platform::registry {

bool ViewSubKey(KeyHandle& h, DWORD index, ShownSubKey* out) {
    switch (h.host.role) {
        case HostRole::DataSource:
            return false;  // one of the host's data sources has no sub-keys
        case HostRole::OdbcIni: {
            const std::vector<EnumItem>& items = MergedSubKeys(h);
            if (index >= items.size()) {
                return false;
            }
            if (items[index].host == nullptr) {
                out->row = items[index].row;
                return true;
            }
            out->made.name = items[index].host->name;
            out->made.lastWrite = h.host.snapshot->lastWrite;
            out->row = &out->made;
            return true;
        }
        case HostRole::List:
        case HostRole::None:
            break;
    }
    if (!ViewHasStoreKey(h)) {
        return false;
    }
    out->list = h.store->Children(h.key);
    if (index >= out->list->size()) {
        return false;
    }
    out->row = &(*out->list)[index];
    return true;
}

bool ViewValue(KeyHandle& h, DWORD index, ShownValue* out) {
    switch (h.host.role) {
        case HostRole::DataSource: {
            const auto& entries = h.host.source->entries;
            if (index >= entries.size()) {
                return false;
            }
            out->made = HostValue(entries[index].first, entries[index].second);
            out->value = &out->made;
            return true;
        }
        case HostRole::List: {
            const std::vector<EnumItem>& items = MergedValues(h);
            if (index >= items.size()) {
                return false;
            }
            if (items[index].host == nullptr) {
                out->value = items[index].value;
                return true;
            }
            out->made = HostValue(items[index].host->name, items[index].host->driver);
            out->value = &out->made;
            return true;
        }
        case HostRole::OdbcIni:
        case HostRole::None:
            break;
    }
    if (!ViewHasStoreKey(h)) {
        return false;
    }
    out->list = h.store->Values(h.key);
    if (index >= out->list->size()) {
        return false;
    }
    out->value = &(*out->list)[index];
    return true;
}

bool ViewFindValue(KeyHandle& h, const std::string& name, ValueRecord* value) {
    if (h.host.role == HostRole::DataSource) {
        for (const auto& entry : h.host.source->entries) {
            if (CompareFolded(
                    reinterpret_cast<const unsigned char*>(entry.first.data()), entry.first.size(),
                    reinterpret_cast<const unsigned char*>(name.data()), name.size()) == 0) {
                *value = HostValue(entry.first, entry.second);
                return true;
            }
        }
        return false;
    }
    if (ViewHasStoreKey(h) && h.store->FindValue(h.key, name, value)) {
        return true;
    }
    if (HostListsValue(h.host, name)) {
        const HostDataSource* source = FindShown(h.host, name);
        *value = HostValue(source->name, source->driver);
        return true;
    }
    return false;
}

bool ViewShowsHostValue(KeyHandle& h, const std::string& name) {
    ValueRecord existing;
    return HostListsValue(h.host, name) &&
           !(ViewHasStoreKey(h) && h.store->GetValue(h.key, name, &existing));
}

void ViewInfo(KeyHandle& h, KeyRow* row, Store::Info* info, std::string* security) {
    if (ViewHasStoreKey(h)) {
        if (!h.store->Row(h.key, row)) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        *security = row->security;
        *info = h.store->QueryInfo(h.key);
    } else {
        row->lastWrite = h.host.snapshot->lastWrite;
        security->assign(reinterpret_cast<const char*>(kDefaultSecurity), kDefaultSecuritySize);
        if (h.host.role == HostRole::DataSource) {
            *info = HostDataSourceInfo(*h.host.source);
        }
    }
    // The counts and sizes include what the key shows of the host.
    if (h.host.role == HostRole::OdbcIni) {
        AddHostInfo(MergedSubKeys(h), false, info);
    } else if (h.host.role == HostRole::List) {
        AddHostInfo(MergedValues(h), true, info);
    }
}

}  // namespace vorla::platform::registry
