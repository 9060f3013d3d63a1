#include "framework/Interrupt.h"

#include <cstdlib>
#include <mutex>

#include "framework/CDatabase.h"
#include "framework/Console.h"

namespace {

const char* g_message = "";

// The deferrals alive, under a lock that the handler holds until it has
// decided, and ended the process if it does: a deferral is either counted
// before the handler looks, or made only after the process is gone. Never
// destroyed: an interrupt may come while the statics are torn down.
struct Deferrals {
    std::mutex lock;
    int count = 0;
};
Deferrals& g_deferrals = *new Deferrals;

// Runs on the thread that the system gives console control events, never on
// the one that runs the script.
BOOL WINAPI OnConsoleControl(DWORD) {
    if (!CDatabase::RequestInterrupt()) {
        std::_Exit(-1);  // the second request
    }
    std::lock_guard<std::mutex> guard(g_deferrals.lock);
    if (CDatabase::AnyOpen() || g_deferrals.count > 0) {
        // The thread of the script ends the run when the cancelled
        // statement returns, or before its next one; a file being made is
        // removed first.
        return TRUE;
    }
    AfxWriteErrLine(g_message);
    std::_Exit(-1);
}

}  // namespace

CInterruptDeferral::CInterruptDeferral() {
    std::lock_guard<std::mutex> guard(g_deferrals.lock);
    ++g_deferrals.count;
}

CInterruptDeferral::~CInterruptDeferral() {
    std::lock_guard<std::mutex> guard(g_deferrals.lock);
    --g_deferrals.count;
}

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
