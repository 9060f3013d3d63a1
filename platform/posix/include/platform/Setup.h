// Setting a POSIX prefix up, as an installation and the ODBC installer set a
// Windows system up: the data-source list key under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE; the ".dds" file type under HKEY_CLASSES_ROOT, whose
// class's icon names a file in the data directory, so that the templates are
// found in that directory's Template/ folder; system32/odbcjt32.dll, a link
// to the SQLite ODBC driver; and the prefix's data sources published to the
// driver manager's configuration. vorla-setup and a program's first use of a
// prefix take this one path. Setting up again changes nothing in place.
#pragma once

#include <string>

namespace vorla::platform {

// The desktop-database driver's file in the system directory.
constexpr char kDesktopDriverFile[] = "odbcjt32.dll";

struct SetupOptions {
    std::string dataDir;  // empty: ../share/vorla beside the running program
    std::string driver;   // empty: the SQLite ODBC driver the driver manager lists
};

struct SetupReport {
    std::string prefix;
    std::string templates;  // the Template/ folder
    std::string link;       // the driver link
    std::string driver;     // the library it points at
    // Lines naming the data sources that could not be published to the
    // driver manager's configuration (no right to write it); empty when
    // every one was.
    std::string unpublished;
};

struct SetupProblem {
    // What is missing or failed, for vorla-setup: its first line names it,
    // further lines say how to mend it.
    std::string text;
    // The same for a program that set its prefix up on first use: one line
    // naming what is missing and the command that mends it.
    std::string advice;
};

// Sets the prefix up. False with `problem` set when something is missing or
// failed; nothing that the set-up checks first (the prefix may be trusted,
// the driver and the templates are there) is changed before it fails.
bool SetUpPrefix(const SetupOptions& options, SetupReport* report, SetupProblem* problem);

// Whether the prefix has been set up (its driver link and both hives exist);
// false for a prefix that does not exist.
bool PrefixIsSetUp();

}  // namespace vorla::platform
