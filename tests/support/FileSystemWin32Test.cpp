// What the file-system helper and the data-source code take from Windows:
// drive letters and the system directory.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/Win32.h"
#include "support/FileSystem.h"

namespace {

TEST(FileSystemWin32, DriveRootIsTheCurrentDirectorysDriveLetterColonBackslash) {
    char current[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof current, current), 0u);
    ASSERT_TRUE(std::isalpha(static_cast<unsigned char>(current[0])) && current[1] == ':')
        << current;
    CFileSystem fs;
    const std::string root = fs.CurrentDriveRoot().Str();
    ASSERT_EQ(root.size(), 3u) << root;
    // The root is written with a lower-case letter, whatever the case of the
    // current directory's.
    EXPECT_EQ(root[0], std::tolower(static_cast<unsigned char>(current[0])));
    EXPECT_EQ(root.substr(1), ":\\");
    // It is a directory one can enter.
    EXPECT_TRUE(SetCurrentDirectoryA(root.c_str()));
    ASSERT_TRUE(SetCurrentDirectoryA(current));
}

// The driver's path is the system directory with "\odbcjt32.dll" appended:
// the directory comes as a drive path without a trailing separator.
TEST(FileSystemWin32, SystemDirectoryIsADrivePathWithoutTrailingSeparator) {
    char dir[256];
    const UINT length = GetSystemDirectoryA(dir, sizeof dir);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, sizeof dir);
    const std::string path(dir, length);
    EXPECT_EQ(path.substr(1, 2), ":\\") << path;
    EXPECT_NE(path.back(), '\\') << path;
    CFileSystem fs;
    EXPECT_TRUE(fs.PathExists(path.c_str())) << path;
}

}  // namespace
