// The option characters of Windows: '-' and '/' both begin an option group;
// an absolute path begins with its drive. One file per system, chosen by
// CMake.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "OptionRows.h"
#include "ParseArgs.h"
#include "app/Options.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::OptionExpect;
using vorla::test::OptionRows;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

TEST(Options, SlashBeginsAnOptionGroupAsDashDoes) {
    OptionRows rows;
    auto add = [&](std::vector<std::string> args, auto&& setup) { rows.add(args, setup); };
    using E = OptionExpect;
    add({"/c", "Sales", "/x"}, [](E& e) { e.create = e.temp = true, e.description = "Sales"; });
    add({"/xh", "-dB"}, [](E& e) { e.outcome = ParseOutcome::HelpShown, e.temp = true; });
    add({"-o", "a.mdb", "/o", "b.mdb"}, [](E& e) { e.output = "b.mdb"; });
    // A value beginning with '/' is an option group of its own: the letter
    // gets its empty rest.
    add({"-d", "/x"}, [](E& e) { e.temp = true; });
    vorla::test::CheckOptionRows(rows);
}

TEST(Options, AbsolutePathsAsSeparateArgumentsAreValues) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("setup.sql"), "SELECT 1\n");
    const std::string path = dir.File("setup.sql");
    CRunCmd cmd;
    EXPECT_EQ(vorla::test::ParseArgs(cmd, {"-i" + path, "-o", path}, std::cout, std::cerr),
              ParseOutcome::Run);
    EXPECT_EQ(std::string(cmd.m_strCommandFile), path);
    // "-o" finds "C:\..." beginning with its drive letter: the next
    // argument is its value.
    ASSERT_TRUE(path.size() > 2 && path[1] == ':') << path;
    EXPECT_EQ(std::string(cmd.m_strOutputFile), path);
}

}  // namespace
