// How an absolute path fares as an argument of its own: a POSIX path begins
// with '/', which also starts an option group; a Windows path begins with its
// drive. One file per system, chosen by CMake.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "ParseArgs.h"
#include "app/Options.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

TEST(Options, AbsolutePathsAsSeparateArgumentsAreOptionGroups) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("setup.sql"), "SELECT 1\n");
    const std::string path = dir.File("setup.sql");
    CRunCmd cmd;
    EXPECT_EQ(vorla::test::ParseArgs(cmd, {"-i" + path, "-o", path}, std::cout, std::cerr),
              ParseOutcome::Run);
    EXPECT_EQ(std::string(cmd.m_strCommandFile), path);
    // "-o" finds "/tmp/..." beginning with '/': it takes its empty rest.
    EXPECT_EQ(std::string(cmd.m_strOutputFile), "");
}

}  // namespace
