#include "framework/SystemCheck.h"

// The registry and the system directory are the system's own, set up by
// Windows and the program's installer.
BOOL AfxCheckSystem(CString&) {
    return TRUE;
}

CString AfxSystemAdvice() {
    return CString();
}
