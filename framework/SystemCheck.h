// What the framework checks of the system before the program may use it.
#pragma once

#include "framework/CString.h"

// True when the places the program reads and runs from may be trusted. On
// Windows the system's own registry and folders are. On POSIX they live in
// the prefix, which another user must not be able to change (see
// platform/Prefix.h); otherwise false with one line in `problem` that names
// the path and the fix.
BOOL AfxCheckSystem(CString& problem);

// What the check found missing in the system and could not mend (on POSIX:
// a prefix that could not be set up on first use), as one line naming what
// is missing and the command that mends it; empty when nothing is. A program
// writes it after the message of a run that failed.
CString AfxSystemAdvice();
