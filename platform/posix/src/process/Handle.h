// Kernel-object handles of the POSIX platform layer.
//
// Every HANDLE the layer gives out (files, events) points at an object
// derived from KernelObject, so CloseHandle can release any of them. Handles
// are per process, as on Windows.
#pragma once

#include "platform/Win32.h"

namespace vorla::platform {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    // Releases what the object holds. Returns 0 on success or a Win32 status
    // code; the object is destroyed by CloseHandle either way.
    virtual DWORD Close() = 0;
};

// The object behind a handle that this layer gave out and has not closed yet,
// or null (with the last error set to ERROR_INVALID_HANDLE) when `handle` is
// not such a handle.
KernelObject* LookupHandle(HANDLE handle);

// Registers a new object and returns its handle.
HANDLE RegisterHandle(KernelObject* object);

}  // namespace vorla::platform
