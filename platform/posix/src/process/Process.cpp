// Process-wide state of the Win32 API on POSIX: the last error, the error
// mode, the module handle and the command line, and message boxes.

#include <atomic>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/Win32.h"

namespace {

thread_local DWORD t_lastError = 0;
std::atomic<UINT> g_errorMode{0};

}  // namespace

// Any non-null value serves: the program only hands it to the framework's
// initialisation, which refuses a null module.
struct HINSTANCE__ {
    int unused;
};

namespace {
HINSTANCE__ g_module{0};
}  // namespace

DWORD GetLastError(void) {
    return t_lastError;
}

void SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

// The error mode has no effect on POSIX (there are no critical-error boxes to
// suppress); the value is kept so that callers read back what they set.
UINT SetErrorMode(UINT uMode) {
    return g_errorMode.exchange(uMode);
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName != nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return &g_module;
}

// The command line as one text: the arguments the process was started with,
// separated by blanks, as the kernel recorded them.
LPSTR GetCommandLineA(void) {
    static std::string line = [] {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        while (!raw.empty() && raw.back() == '\0') {
            raw.pop_back();
        }
        for (char& c : raw) {
            if (c == '\0') {
                c = ' ';
            }
        }
        return raw;
    }();
    return &line[0];
}

// With no desktop to show it on, a message box writes its text as one line to
// standard error and returns as if OK had been pressed.
int MessageBoxA(HWND, LPCSTR lpText, LPCSTR, UINT) {
    std::cerr << (lpText != nullptr ? lpText : "") << std::endl;
    return IDOK;
}
