#include "framework/SystemCheck.h"

#include <string>

#include "platform/Prefix.h"

BOOL AfxCheckSystem(CString& problem) {
    std::string text;
    if (vorla::platform::CheckPrefix(&text)) {
        return TRUE;
    }
    problem = text;
    return FALSE;
}
