// The command line: option parsing into the run-options record, and help.
#pragma once

#include "app/RunCmd.h"
#include "support/FileSystem.h"

// What parsing decided about the rest of the process.
enum class ParseOutcome {
    Run,          // go on with the run
    HelpShown,    // -h: the help was printed; exit 0
    MissingFile,  // -e or -i named a file that does not exist; exit -1
    BadValue,     // a value that the option does not take (-v, -r); exit -1
};

// Reads arguments 1 .. argc-1 into the record. Option groups begin with one
// of the platform's option characters ('-', and '/' on Windows); other
// arguments are skipped. Prints the help for -h and the message
// for a missing -e or -i file.
ParseOutcome ParseOptions(CRunCmd& cmd, CFileSystem& fs, int argc, char* argv[]);

// Prints the help lines, each after four blanks.
void PrintHelp();
