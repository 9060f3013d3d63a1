// Where Wine, the Windows test host on Linux, differs from Windows. A test
// row whose result Wine is known to give differently names the difference and
// accepts the Windows result or Wine's; everywhere else (Windows itself, the
// POSIX platform layer) only the Windows result passes. The Windows result is
// the documented one, or what Windows does where its documentation is silent.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vorla::test {

// True when the process runs under Wine; always false on POSIX.
bool RunningUnderWine();

// Prints "Wine differs: <difference>" once per text, so that the log of a
// run lists every difference that was accepted.
void NoteWineDifference(const std::string& difference);

// Windows grants the backup and restore privileges that saving and loading
// registry hives need only on request. True when the process holds them
// (on POSIX the registry store asks for no privilege).
bool EnableHivePrivileges();

}  // namespace vorla::test

// Expects `windows`; under Wine, Wine's known `wine` result is accepted too,
// and the named difference is noted. An empty difference means Wine agrees
// with Windows here.
#define EXPECT_WINDOWS_OR_WINE(windows, wine, actual, difference)                \
    do {                                                                         \
        const auto vorlaActual = (actual);                                       \
        const std::string vorlaDifference = (difference);                        \
        if (!vorlaDifference.empty() && ::vorla::test::RunningUnderWine() &&     \
            vorlaActual == (wine) && !(vorlaActual == (windows))) {              \
            ::vorla::test::NoteWineDifference(vorlaDifference);                  \
        } else {                                                                 \
            EXPECT_EQ(windows, vorlaActual)                                      \
                << (vorlaDifference.empty()                                      \
                        ? std::string()                                          \
                        : "the Windows result (Wine: " + vorlaDifference + ")"); \
        }                                                                        \
    } while (false)
