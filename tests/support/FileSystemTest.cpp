#include "support/FileSystem.h"

#include <gtest/gtest.h>

#include <string>

#include "testlib/TempDir.h"

namespace {

using vorla::test::ReadFileBytes;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

struct SplitRow {
    const char* path;
    const char* name;
    const char* dirKeep;
    const char* dirNoDrive;
    const char* ext;
    const char* stem;
};

// The splitting rules, written with backslashes; every row is also checked
// with the separators swapped, since both split on every system.
const SplitRow kSplitRows[] = {
    {"c:\\data\\db.mdb", "db.mdb", "c:\\data\\", "\\data\\", "mdb", "db"},
    {"db.mdb", "db.mdb", "", "", "mdb", "db"},
    {"c:/data/archive.tar.gz", "archive.tar.gz", "c:/data/", "/data/", "gz", "archive.tar"},
    {"c:\\data/sub\\x.txt", "x.txt", "c:\\data/sub\\", "\\data/sub\\", "txt", "x"},
    {"c:\\data\\", "", "c:\\data\\", "\\data\\", "", ""},
    {"c:db.mdb", "c:db.mdb", "", "", "mdb", "c:db"},
    {"\\\\server\\share\\db.mdb", "db.mdb", "\\\\server\\share\\", "\\\\server\\share\\", "mdb",
     "db"},
    {"c:\\a.b\\file", "file", "c:\\a.b\\", "\\a.b\\", "", "file"},
    {"readme.", "readme.", "", "", "", "readme"},
    {".profile", ".profile", "", "", "profile", ""},
};

std::string SwapSeparators(std::string text) {
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        } else if (c == '/') {
            c = '\\';
        }
    }
    return text;
}

TEST(FileSystemSplit, WorkedExamplesWithEitherSeparator) {
    CFileSystem fs;
    for (bool swapped : {false, true}) {
        for (const SplitRow& row : kSplitRows) {
            auto in = [&](const char* text) {
                return swapped ? SwapSeparators(text) : std::string(text);
            };
            const CString path(in(row.path));
            SCOPED_TRACE(std::string("path ") + path.GetString());
            EXPECT_EQ(fs.NameOfPath(path), CString(in(row.name)));
            EXPECT_EQ(fs.DirOfPath(path, TRUE), CString(in(row.dirKeep)));
            EXPECT_EQ(fs.DirOfPath(path, FALSE), CString(in(row.dirNoDrive)));
            EXPECT_EQ(fs.ExtOfPath(path), CString(in(row.ext)));
            EXPECT_EQ(fs.StemOfPath(path), CString(in(row.stem)));
        }
    }
}

TEST(FileSystemExists, FilesAndDirectoriesExistMissingNamesDoNot) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("a.txt"), "x");
    CFileSystem fs;
    EXPECT_TRUE(fs.PathExists(dir.File("a.txt").c_str()));
    EXPECT_TRUE(fs.PathExists(dir.Path().c_str()));
    EXPECT_FALSE(fs.PathExists(dir.File("missing.txt").c_str()));
    EXPECT_FALSE(fs.PathExists(""));
}

TEST(FileSystemRemove, MissingFileIsFalseExistingFileGoes) {
    ScopedTempDir dir;
    CFileSystem fs;
    EXPECT_FALSE(fs.RemoveFile(dir.File("missing").c_str()));
    WriteFileBytes(dir.File("f"), "data");
    EXPECT_TRUE(fs.RemoveFile(dir.File("f").c_str()));
    EXPECT_FALSE(fs.PathExists(dir.File("f").c_str()));
}

TEST(FileSystemRemove, FileHeldOpenByAnotherHandleStays) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("busy"), "data");
    CFile holder;
    ASSERT_TRUE(holder.Open(dir.File("busy").c_str(), CFile::modeRead));
    CFileSystem fs;
    EXPECT_FALSE(fs.RemoveFile(dir.File("busy").c_str()));
    EXPECT_TRUE(fs.PathExists(dir.File("busy").c_str()));
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 251);
    }
    return bytes;
}

TEST(FileSystemCopy, CopiesAreIdenticalAroundTheBufferSize) {
    const UINT buffer = 10240;
    const size_t sizes[] = {0, 1, buffer - 1, buffer, buffer + 1, 3 * buffer, 3 * buffer + 17};
    for (size_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        ScopedTempDir dir;
        const std::string data = Pattern(size);
        WriteFileBytes(dir.File("src"), data);
        CFileSystem fs;
        ASSERT_TRUE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), buffer));
        EXPECT_EQ(ReadFileBytes(dir.File("dst")), data);
        EXPECT_EQ(ReadFileBytes(dir.File("src")), data);
    }
}

TEST(FileSystemCopy, ExistingTargetIsNeverTouched) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("src"), "new content");
    WriteFileBytes(dir.File("dst"), "old");
    CFileSystem fs;
    EXPECT_FALSE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 4));
    EXPECT_EQ(ReadFileBytes(dir.File("dst")), "old");
}

TEST(FileSystemCopy, MissingSourceCreatesNoTarget) {
    ScopedTempDir dir;
    CFileSystem fs;
    EXPECT_FALSE(fs.CopyWithBuffer(dir.File("nope").c_str(), dir.File("dst").c_str(), 16));
    EXPECT_FALSE(fs.PathExists(dir.File("dst").c_str()));
}

TEST(FileSystemCopy, SourceHeldOpenElsewhereIsRefused) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("src"), "content");
    CFile holder;
    ASSERT_TRUE(holder.Open(dir.File("src").c_str(), CFile::modeRead | CFile::shareDenyNone));
    CFileSystem fs;
    EXPECT_FALSE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 16));
    EXPECT_FALSE(fs.PathExists(dir.File("dst").c_str()));
}

TEST(FileSystemCopy, TargetInMissingDirectoryFailsAndReleasesSource) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("src"), "content");
    CFileSystem fs;
    EXPECT_FALSE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("no/dst").c_str(), 16));
    // The source was closed again: an exclusive open succeeds.
    CFile again;
    EXPECT_TRUE(again.Open(dir.File("src").c_str(), CFile::modeRead));
}

TEST(FileSystemCurrentDir, EmptyArgumentReadsTheCurrentDirectoryAndKeepsIt) {
    CFileSystem fs;
    char before[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof before, before), 0u);
    EXPECT_EQ(fs.CurrentDirOnDrive(""), CString(before));
    char after[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof after, after), 0u);
    EXPECT_STREQ(before, after);
}

TEST(FileSystemCurrentDir, MissingDirectoryGivesEmptyAndChangesNothing) {
    ScopedTempDir dir;
    CFileSystem fs;
    char before[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof before, before), 0u);
    SetErrorMode(0x8000);
    EXPECT_EQ(fs.CurrentDirOnDrive(dir.File("missing").c_str()), CString());
    char after[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof after, after), 0u);
    EXPECT_STREQ(before, after);
    EXPECT_EQ(SetErrorMode(0), 0u);
}

TEST(FileSystemCurrentDir, GivenDirectoryIsReadAndTheDriveRootBecomesCurrent) {
    ScopedTempDir dir;
    CFileSystem fs;
    char before[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof before, before), 0u);
    const CString expected = fs.ExpandPath(dir.Path().c_str());
    EXPECT_EQ(fs.CurrentDirOnDrive(dir.Path().c_str()), expected);
    char after[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof after, after), 0u);
    EXPECT_EQ(CString(after), fs.CurrentDriveRoot());
    ASSERT_TRUE(SetCurrentDirectoryA(before));
}

TEST(FileSystemExpand, LongResultsGiveTheEmptyText) {
    CFileSystem fs;
    const std::string longName(fs.m_nMaxPath + 10, 'a');
    EXPECT_EQ(fs.ExpandPath(longName.c_str()), CString());
    EXPECT_EQ(fs.ExpandPath(std::string(fs.m_nMaxPath - 1, 'b').c_str()), CString());
}

}  // namespace
