#include "framework/SystemCheck.h"

// The registry and the system directory are the system's own.
BOOL AfxCheckSystem(CString&) {
    return TRUE;
}
