// Removal of a data source: the check that it names a database file, and the
// deletion of its keys (deepest first) and of its list entry.
#pragma once

#include "framework/CString.h"
#include "framework/CStringList.h"
#include "platform/Win32.h"
#include "support/Registry.h"

// True when the data source's key holds a non-empty "DBQ", read under
// HKEY_CURRENT_USER first, then HKEY_LOCAL_MACHINE; `databasePath` receives
// the value read.
BOOL DsnHasDbq(const CString& name, CString& databasePath);
BOOL ReadDbq(const CString& name, CString& databasePath, HKEY root);
// Appends the paths of every key below the object's current key (at `path`)
// and then `path` itself: each key after all of its sub-keys.
BOOL CollectSubKeys(CRegistry& reg, const CString& path, CStringList& list, HKEY root);
BOOL RemoveDsn(const CString& name, HKEY root);
