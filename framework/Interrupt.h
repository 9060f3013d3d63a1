// Interrupting a run: Ctrl-C, Ctrl-Break or closing the console (on POSIX
// SIGINT, SIGTERM, SIGHUP) stop it at once but cleanly. The running
// statement is cancelled; when it returns, the connection is closed (the
// driver rolls an open transaction back), `message` is written to standard
// error and the process exits with -1. With no connection open the process
// ends at once with the message. A second request ends it at once.
#pragma once

#include "platform/Win32.h"

BOOL AfxInstallInterruptHandler(const char* message);

// True once an interrupt was asked for.
BOOL AfxInterruptRequested();

// While an object of this class lives, the thread that made it is making a
// file that must not be left half-made: an interrupt only asks, and that
// thread ends the run at its next check (AfxInterruptRequested), after it
// has removed what it made. Without one, and with no connection open, an
// interrupt ends the process at once.
class CInterruptDeferral {
public:
    CInterruptDeferral();
    ~CInterruptDeferral();
    CInterruptDeferral(const CInterruptDeferral&) = delete;
    CInterruptDeferral& operator=(const CInterruptDeferral&) = delete;
};

// Closes every open connection, writes the message and exits with -1.
[[noreturn]] void AfxEndInterruptedRun();
