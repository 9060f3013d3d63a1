// Lookup of data-source names and generation of temporary ones.
#pragma once

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
