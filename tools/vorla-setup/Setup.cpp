// vorla-setup: sets a POSIX prefix up the way an installation and the ODBC
// installer set a Windows system up, so that VORLA runs (see
// platform/Setup.h, whose set-up a program's first use of a prefix takes
// too). Running it again changes nothing that is already in place.

#include <iostream>
#include <string>
#include <vector>

#include "VorlaVersion.h"
#include "platform/LeftOvers.h"
#include "platform/Prefix.h"
#include "platform/Setup.h"
#include "platform/Win32.h"

namespace {

void Usage(std::ostream& out) {
    out << "Usage: vorla-setup [--data-dir DIR] [--driver LIBRARY]\n"
           "       vorla-setup --remove-temporary\n"
           "       vorla-setup --version\n"
           "\n"
           "Sets up the prefix ($VORLA_PREFIX, or $HOME/.vorla) so that vorla runs:\n"
           "the data-source lists, the template registration and the driver link.\n"
           "\n"
           "  --data-dir DIR     folder holding Template/empty.mdb and Template/empty2k.mdb\n"
           "                     (default: ../share/vorla beside this program)\n"
           "  --driver LIBRARY   the SQLite ODBC driver library (default: found through\n"
           "                     the driver manager's list of drivers, odbcinst.ini)\n"
           "  --remove-temporary removes the temporary data sources (made with -x) that\n"
           "                     failed or killed runs left and no run holds any more\n"
           "\n"
           "Example:\n"
           "  VORLA_PREFIX=$PWD/prefix vorla-setup\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    vorla::platform::SetupOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--data-dir" || arg == "--driver") && i + 1 < argc) {
            (arg == "--data-dir" ? options.dataDir : options.driver) = argv[++i];
        } else if (arg == "-h" || arg == "--help" || arg == "/?") {
            Usage(std::cout);
            return 0;
        } else if (arg == "--remove-temporary") {
            std::vector<std::string> removed;
            std::string problem;
            const bool done = vorla::platform::RemoveLeftTemporaryDataSources(&removed, &problem);
            for (const std::string& name : removed) {
                std::cout << "Removed " << name << "\n";
            }
            if (removed.empty() && done) {
                std::cout << "No temporary data source to remove.\n";
            }
            if (!done) {
                std::cerr << "vorla-setup: " << problem << "\n";
            }
            return done ? 0 : 1;
        } else if (arg == "--version") {
            std::cout << "vorla-setup " << VORLA_VERSION << "\n";
            return 0;
        } else {
            std::cerr << "vorla-setup: unknown argument '" << arg << "'\n";
            Usage(std::cerr);
            return 1;
        }
    }
    vorla::platform::SetupReport report;
    vorla::platform::SetupProblem problem;
    if (!vorla::platform::SetUpPrefix(options, &report, &problem)) {
        std::cerr << "vorla-setup: " << problem.text << "\n";
        return 1;
    }
    if (!report.unpublished.empty()) {
        std::cerr << "vorla-setup: " << report.unpublished;
    }
    std::cout << "Prefix:    " << report.prefix << "\n"
              << "Templates: " << report.templates << "\n"
              << "Driver:    " << report.link << " -> " << report.driver << "\n";
    return 0;
}
