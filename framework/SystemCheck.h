// What the framework checks of the system before the program may use it.
#pragma once

#include "framework/CString.h"

// True when the places the program reads and runs from may be trusted. On
// Windows the system's own registry and folders are. On POSIX they live in
// the prefix, which another user must not be able to change (see
// platform/Prefix.h); otherwise false with one line in `problem` that names
// the path and the fix.
BOOL AfxCheckSystem(CString& problem);
