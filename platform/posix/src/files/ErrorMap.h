// Translation of POSIX errno values into the Win32 status codes that the
// program's callers test for.
#pragma once

#include "platform/Win32.h"

namespace vorla::platform {

DWORD Win32ErrorFromErrno(int err);

// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno();

}  // namespace vorla::platform
