#include "framework/StringTable.h"

namespace {

const AfxStringEntry* g_entries = nullptr;
size_t g_count = 0;

}  // namespace

void AfxSetStringTable(const AfxStringEntry* entries, size_t count) {
    g_entries = entries;
    g_count = count;
}

const char* AfxLookupString(UINT id) {
    for (size_t i = 0; i < g_count; ++i) {
        if (g_entries[i].id == id) {
            return g_entries[i].text;
        }
    }
    return nullptr;
}
