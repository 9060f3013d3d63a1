// Names that a live run holds. A run that chooses a temporary data-source
// name holds it until it ends: another run that meets the name's key without
// its list entry can tell a live run's claim (held) from what a dead run
// left (not held), since the system lets go of a process's claims when it
// ends, however it ends. On Windows a claim is a named mutex of the session:
// it exists while a process has a handle to it.
#pragma once

#include <windows.h>

#include <cctype>
#include <string>

namespace vorla::platform {

// Takes the claim on `name` (compared without case) for the rest of the
// process; false when another live process holds it. A claim this process
// holds already is taken again.
inline bool ClaimName(const char* name) {
    std::string object = "Local\\VORLA-name-";
    for (const char* c = name; *c != '\0'; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        object += u == '\\' ? '_' : static_cast<char>(std::toupper(u));
    }
    // The handle stays open until the process ends: that is the claim.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, object.c_str());
    if (mutex == nullptr) {
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}

}  // namespace vorla::platform
