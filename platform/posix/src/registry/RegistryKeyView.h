// A handle's view of its key, chosen when the handle is made (its HostView):
// a key of the store; the ODBC.INI key or its list key, the store's merged
// with the host's data sources, or the view's alone where the store has
// none (key 0); or one of the host's data sources (key 0). The registry
// functions read a key through these, so that what a key shows is decided
// here and not in each function.
#pragma once

#include "RegistryHandles.h"

#include <memory>
#include <string>

namespace vorla::platform::registry {

// One item an enumeration shows: `row` or `value` points into `list` (kept
// alive here) or at `made`, an item made for one of the host's.
struct ShownSubKey {
    const KeyRow* row = nullptr;
    KeyRow made;
    std::shared_ptr<const ChildList> list;
};
struct ShownValue {
    const ValueRecord* value = nullptr;
    ValueRecord made;
    std::shared_ptr<const ValueList> list;
};

// The sub-key (value) at `index` in enumeration order; false past the last.
bool ViewSubKey(KeyHandle& h, DWORD index, ShownSubKey* out);
bool ViewValue(KeyHandle& h, DWORD index, ShownValue* out);

// The value `name` as the key shows it; false when it shows none.
bool ViewFindValue(KeyHandle& h, const std::string& name, ValueRecord* value);

// Whether `name` is a value that the key shows of the host's, the store
// holding none of that name: the host's tools change it, the registry refuses
// to (ERROR_ACCESS_DENIED). Runs inside a transaction of the handle's store.
bool ViewShowsHostValue(KeyHandle& h, const std::string& name);

// The key's row (class, last write), counts and sizes, and security
// descriptor, as RegQueryInfoKeyA reports them. ERROR_KEY_DELETED when the
// store's key is gone.
void ViewInfo(KeyHandle& h, KeyRow* row, Store::Info* info, std::string* security);

// Whether the key is one of the store's: the others are read-only, have no
// security of their own to change and are not watched.
inline bool ViewHasStoreKey(const KeyHandle& h) {
    return h.key != 0;
}

}  // namespace vorla::platform::registry
