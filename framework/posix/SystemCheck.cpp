#include "framework/SystemCheck.h"

#include <string>

#include "platform/Prefix.h"
#include "platform/Setup.h"

namespace {

CString g_advice;

}  // namespace

// A prefix that may be trusted but is missing or not set up is set up here,
// as vorla-setup does, before the program uses the registry. One that cannot
// be (no SQLite ODBC driver) does not stop the run: a host data source may
// still serve it, and a run that fails says what is missing after its own
// message.
BOOL AfxCheckSystem(CString& problem) {
    std::string text;
    if (!vorla::platform::CheckPrefix(&text)) {
        problem = text;
        return FALSE;
    }
    if (!vorla::platform::PrefixIsSetUp()) {
        vorla::platform::SetupReport report;
        vorla::platform::SetupProblem failure;
        if (!vorla::platform::SetUpPrefix(vorla::platform::SetupOptions(), &report, &failure)) {
            g_advice = failure.advice;
        }
    }
    return TRUE;
}

CString AfxSystemAdvice() {
    return g_advice;
}
