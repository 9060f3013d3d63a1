// What a copy of a file keeps private, and which links it does not follow.
#pragma once

#include "platform/Win32.h"

namespace vorla::platform {

// Gives the file `toPath`, open as `to`, the access rights of the file of
// `from` (on POSIX its permission bits, set through the handle), so that a
// copy is never readable by more users than what it copies. False, with the
// last error set, when that cannot be done.
bool CopyAccessRights(HANDLE from, HANDLE to, const char* toPath);

// Whether `path` is a symbolic link that another user owns (neither this
// user nor the system's own account): following it would read or write a
// file that user chose.
bool IsLinkOfAnotherUser(const char* path);

}  // namespace vorla::platform
