// Lookup of data-source names and generation of temporary ones.
#pragma once

#include <vector>

#include "framework/CString.h"
#include "platform/Win32.h"

// True when `name` is listed, in any letter case, among the data sources of
// the current user or of the machine. Reports nothing, changes nothing.
BOOL DsnExists(const CString& name);

// Overwrites `name` with the first of VORLA1, VORLA2, ... that DsnExists
// does not find.
// With `counter`, the search starts after *counter, which is left at the
// number chosen.
void MakeTempDsnName(CString& name, LONG* counter = nullptr);

// The listed data sources (the user's, then the machine's) whose names are
// close to `name`: the same but for letter case and a few letters more, less
// or different, or holding it or held by it. At most `most`, closest first.
std::vector<CString> CloseDsnNames(const CString& name, size_t most);
