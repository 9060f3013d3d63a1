#include "framework/CArchive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testlib/TempDir.h"

namespace {

using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

// Every line that ReadString delivers for a file of these bytes.
std::vector<std::string> ReadAllLines(const std::string& bytes, int bufferSize = 4096) {
    ScopedTempDir dir;
    const std::string path = dir.File("lines.txt");
    WriteFileBytes(path, bytes);
    CFile file;
    EXPECT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    CArchive archive(&file, CArchive::load, bufferSize);
    std::vector<std::string> lines;
    CString line;
    while (archive.ReadString(line)) {
        lines.push_back(line.Str());
    }
    EXPECT_TRUE(line.IsEmpty()) << "the string is emptied at the end of the file";
    archive.Close();
    file.Close();
    return lines;
}

using Lines = std::vector<std::string>;

struct LineCase {
    const char* name;
    std::string bytes;
    Lines expected;
};

TEST(CArchiveTest, SplitsLinesAtEveryKindOfLineEnd) {
    const std::vector<LineCase> cases = {
        {"empty file", "", {}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"CR alone", "a\rb\r", {"a", "b"}},
        {"CR CR LF is an empty line", "a\r\r\nb", {"a", "", "b"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"mixed", "a\nb\r\nc\rd", {"a", "b", "c", "d"}},
        {"no final line end", "a\nlast", {"a", "last"}},
        {"only a line end", "\n", {""}},
        {"empty lines", "\n\n\r\n\r", {"", "", "", ""}},
        {"NUL kept", std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
        {"NUL at the end", std::string("ab\0", 3), {std::string("ab\0", 3)}},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(ReadAllLines(c.bytes), c.expected) << c.name;
        // A tiny buffer puts every line end on a buffer edge somewhere.
        EXPECT_EQ(ReadAllLines(c.bytes, 1), c.expected) << c.name << ", 1-byte buffer";
        EXPECT_EQ(ReadAllLines(c.bytes, 2), c.expected) << c.name << ", 2-byte buffer";
    }
}

TEST(CArchiveTest, CrLfSplitAcrossBuffersIsOneLineEnd) {
    // CR is the last byte of the first buffer fill, LF the first of the next.
    const std::string first(4095, 'x');
    EXPECT_EQ(ReadAllLines(first + "\r\nnext"), (Lines{first, "next"}));
    // A CR at the very end of the file ends the last line; nothing follows.
    EXPECT_EQ(ReadAllLines(first + "\r"), (Lines{first}));
}

TEST(CArchiveTest, ReadsATenMegabyteLine) {
    std::string big(10 * 1024 * 1024, 'q');
    big[5'000'000] = '\0';
    const Lines lines = ReadAllLines("start\n" + big + "\nend");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "start");
    EXPECT_EQ(lines[1].size(), big.size());
    EXPECT_TRUE(lines[1] == big);
    EXPECT_EQ(lines[2], "end");
}

TEST(CArchiveTest, ReadingAStoringArchiveThrows) {
    ScopedTempDir dir;
    const std::string path = dir.File("x.txt");
    WriteFileBytes(path, "line\n");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    CArchive archive(&file, CArchive::store);
    CString line;
    try {
        archive.ReadString(line);
        FAIL() << "no exception";
    } catch (CArchiveException* e) {
        EXPECT_EQ(e->m_cause, CArchiveException::writeOnly);
        e->Delete();
    }
}

TEST(CArchiveTest, ReadErrorThrowsFileException) {
    // Reading a process's memory at address 0 fails with an I/O error.
    CFile file;
    if (!file.Open("/proc/self/mem", CFile::modeRead)) {
        GTEST_SKIP() << "no /proc/self/mem to provoke a read error with";
    }
    CArchive archive(&file, CArchive::load);
    CString line;
    try {
        archive.ReadString(line);
        FAIL() << "no exception";
    } catch (CFileException* e) {
        e->Delete();
    }
}

}  // namespace
