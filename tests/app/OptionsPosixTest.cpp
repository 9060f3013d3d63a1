// The option characters of POSIX: only '-' begins an option group, since '/'
// begins every absolute path. An absolute path given as an argument of its
// own is therefore a value, and a '/' argument is never a group. One file
// per system, chosen by CMake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OptionRows.h"

namespace {

using vorla::test::OptionExpect;
using vorla::test::OptionRows;

TEST(Options, AbsolutePathsAsSeparateArgumentsAreValues) {
    OptionRows rows;
    auto add = [&](std::vector<std::string> args, auto&& setup) { rows.add(args, setup); };
    using E = OptionExpect;
    add({"-i", "<abs-script>", "-o", "/data/x.mdb"},
        [](E& e) { e.command = "<abs-script>", e.output = "/data/x.mdb"; });
    add({"-i<abs-script>"}, [](E& e) { e.command = "<abs-script>"; });
    // Their letters were once read as options: 'h' printed the help, 's'
    // chose the machine's data sources and 'd' took the rest as a name.
    add({"-o", "/home/me/x.mdb"}, [](E& e) { e.output = "/home/me/x.mdb"; });
    add({"-o", "/srv/data/x.mdb"}, [](E& e) { e.output = "/srv/data/x.mdb"; });
    add({"-e", "/dev/null", "-d", "/x"}, [](E& e) { e.emptyDb = "/dev/null", e.dsn = "/x"; });
    add({"-c", "/desc"}, [](E& e) { e.create = true, e.description = "/desc"; });
    add({"-U", "/u", "-P", "/p", "-b", "/"},
        [](E& e) { e.login = "/u", e.password = "/p", e.separator = "/"; });
    // '/' arguments where an option group could stand are skipped.
    add({"/c", "Sales", "/x"}, [](E&) {});
    add({"/h"}, [](E&) {});
    add({"/xh", "-dB"}, [](E& e) { e.dsn = "B"; });
    add({"-o", "a.mdb", "/o", "b.mdb"}, [](E& e) { e.output = "a.mdb"; });
    vorla::test::CheckOptionRows(rows);
}

}  // namespace
