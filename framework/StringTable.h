// The string-table loader. A program registers its table once at start-up;
// CString::LoadString then finds texts by their numbers.
#pragma once

#include <cstddef>

#include "platform/Win32.h"

struct AfxStringEntry {
    UINT id;
    const char* text;
};

// Registers the program's table (entries need not be sorted). The table must
// outlive every lookup; a later call replaces the earlier table.
void AfxSetStringTable(const AfxStringEntry* entries, size_t count);

// The text with that id, or null when the table has none.
const char* AfxLookupString(UINT id);
