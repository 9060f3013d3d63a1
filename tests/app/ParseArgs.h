// Runs option parsing on an argument list the way the entry point does: the
// program's name in front, a null entry at the end, a file-system helper of
// its own, and the console sent to the given streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/Options.h"
#include "framework/Console.h"

namespace vorla::test {

inline ParseOutcome ParseArgs(CRunCmd& cmd, std::vector<std::string> args, std::ostream& out,
                              std::ostream& err) {
    args.insert(args.begin(), "vorla");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    CFileSystem fs;
    CConsoleRedirect redirect(out, err);
    return ParseOptions(cmd, fs, static_cast<int>(args.size()), argv.data());
}

}  // namespace vorla::test
