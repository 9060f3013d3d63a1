#include "framework/Interrupt.h"

#include <cstdlib>

#include "framework/CDatabase.h"
#include "framework/Console.h"

namespace {

const char* g_message = "";

// Runs on the thread that the system gives console control events, never on
// the one that runs the script.
BOOL WINAPI OnConsoleControl(DWORD) {
    if (!CDatabase::RequestInterrupt()) {
        std::_Exit(-1);  // the second request
    }
    if (CDatabase::AnyOpen()) {
        // The thread of the script ends the run when the cancelled
        // statement returns, or before its next one.
        return TRUE;
    }
    AfxWriteErrLine(g_message);
    std::_Exit(-1);
}

}  // namespace

BOOL AfxInstallInterruptHandler(const char* message) {
    g_message = message;
    // Once per process, however often the program's entry is called.
    static const BOOL installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return installed;
}

BOOL AfxInterruptRequested() {
    return CDatabase::InterruptRequested();
}

void AfxEndInterruptedRun() {
    CDatabase::CloseAllOpen();
    AfxWriteErrLine(g_message);
    std::exit(-1);
}
