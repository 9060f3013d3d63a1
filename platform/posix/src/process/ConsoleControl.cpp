// Console control handlers over SIGINT, SIGTERM and SIGHUP. The signal
// handler only writes the event to a pipe (all it may safely do); a thread
// of its own reads it and calls the handlers, which may then do what a
// Windows handler does: cancel a statement, write, end the process.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Win32.h"

namespace {

// Never destroyed: the dispatching thread outlives the process's statics.
std::mutex& g_lock = *new std::mutex;
std::vector<PHANDLER_ROUTINE>& g_handlers = *new std::vector<PHANDLER_ROUTINE>;  // in order added
int g_pipe[2] = {-1, -1};

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

DWORD EventOf(int sig) {
    switch (sig) {
        case SIGINT:
            return CTRL_C_EVENT;
        case SIGTERM:
            return CTRL_BREAK_EVENT;
        default:
            return CTRL_CLOSE_EVENT;
    }
}

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    (void)!write(g_pipe[1], &byte, 1);
    errno = saved;
}

void Dispatch() {
    for (;;) {
        unsigned char sig = 0;
        const ssize_t n = read(g_pipe[0], &sig, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != 1) {
            return;
        }
        std::vector<PHANDLER_ROUTINE> handlers;
        {
            std::lock_guard<std::mutex> guard(g_lock);
            handlers = g_handlers;
        }
        bool handled = false;
        for (auto it = handlers.rbegin(); it != handlers.rend() && !handled; ++it) {
            handled = (*it)(EventOf(sig)) != FALSE;
        }
        if (!handled) {
            // What the signal would have done without handlers.
            signal(sig, SIG_DFL);
            raise(sig);
        }
    }
}

bool StartDispatcher() {
    if (pipe2(g_pipe, O_CLOEXEC) != 0) {
        return false;
    }
    std::thread(Dispatch).detach();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals) {
        sigaction(sig, &action, nullptr);
    }
    return true;
}

}  // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (HandlerRoutine == nullptr) {
        // Windows: ignore Ctrl-C (TRUE) or stop ignoring it; not used here.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!Add) {
        auto it = std::find(g_handlers.begin(), g_handlers.end(), HandlerRoutine);
        if (it == g_handlers.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        g_handlers.erase(it);
        return TRUE;
    }
    static const bool started = StartDispatcher();
    if (!started) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    g_handlers.push_back(HandlerRoutine);
    return TRUE;
}
