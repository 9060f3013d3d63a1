// Registration of a new data source for a desktop database file: its key and
// values, the engine sub-keys and values, and its entry in the data-source
// list, all under one root. Nothing is rolled back when a step fails.
#pragma once

#include "framework/CString.h"
#include "platform/Win32.h"
#include "support/Registry.h"

// The driver library's path: the system directory and the driver's file
// name. Filled by every CreateDsn call; one buffer for the whole process.
extern char g_szDriverPath[256];

// With `taken`, the name is one this run chose: the run claims it first, and
// when another live run holds it, or it is listed already, nothing is
// written, *taken is set and the result is false. A key of that name without
// its list entry, which a dead run left, is used.
BOOL CreateDsn(const CString& name, const CString& description, const CString& databasePath,
               HKEY root, BOOL* taken = nullptr);
BOOL WriteDsnValues(CRegistry& reg, const CString& keyPath, const CString& description,
                    const CString& databasePath, HKEY root);
BOOL WriteJetValues(CRegistry& reg, const CString& keyPath, HKEY root);
BOOL AddDataSourceEntry(CRegistry& reg, const CString& listKeyPath, const CString& name,
                        const CString& driverName, HKEY root);
// Write one value into the object's current key; on failure the object's
// keys are closed and the result is false.
BOOL WriteStringOrClose(CRegistry& reg, LPCSTR name, const CString& text);
BOOL WriteDwordOrClose(CRegistry& reg, LPCSTR name, DWORD value);
