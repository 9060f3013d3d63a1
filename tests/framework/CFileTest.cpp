// The file class over the Win32 file API: the two open modes the program
// relies on to keep other writers out and never to overwrite a file.
#include "framework/CFile.h"

#include <gtest/gtest.h>

#include <string>

#include "testlib/TempDir.h"

namespace {

using vorla::test::ReadFileBytes;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

TEST(CFileTest, CreateNewRefusesAnExistingFileAndLeavesIt) {
    ScopedTempDir dir;
    const std::string path = dir.File("kept.mdb");
    WriteFileBytes(path, "old");
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path.c_str(),
                           CFile::modeCreate | CFile::modeCreateNew | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFileBytes(path), "old");

    const std::string fresh = dir.File("fresh.mdb");
    ASSERT_TRUE(
        file.Open(fresh.c_str(), CFile::modeCreate | CFile::modeCreateNew | CFile::modeWrite));
    file.Write("new", 3);
    file.Close();
    EXPECT_EQ(ReadFileBytes(fresh), "new");
}

struct ShareRow {
    const char* what;
    UINT holder;  // how the file is already open
    UINT second;  // how it is opened again
    bool opens;
};

// As on Windows: an open fails when a handle already open has an access
// that it denies, or denies an access that it asks for. A template is read
// denying writers, an output held sharing reading and writing.
TEST(CFileTest, ShareModesKeepOutWhatTheyDeny) {
    const UINT readDenyWrite = CFile::modeRead | CFile::shareDenyWrite;
    const UINT held = CFile::modeReadWrite | CFile::shareDenyNone;
    const ShareRow rows[] = {
        {"two readers denying writers", readDenyWrite, readDenyWrite, true},
        {"a reader denying writers, then a sharing reader", readDenyWrite,
         CFile::modeRead | CFile::shareDenyNone, true},
        {"a reader denying writers, then a sharing writer", readDenyWrite, held, false},
        {"a reader denying writers, then exclusive", readDenyWrite, CFile::modeRead, false},
        {"a held file, then a reader denying writers", held, readDenyWrite, false},
        {"a held file, then a sharing writer", held, held, true},
        {"a held file, then a reader denying readers", held, CFile::modeRead | CFile::shareDenyRead,
         false},
        {"exclusive, then a reader", CFile::modeRead, CFile::modeRead, false},
        {"exclusive, then a sharing reader", CFile::modeRead,
         CFile::modeRead | CFile::shareDenyNone, false},
        {"a sharing reader, then exclusive", CFile::modeRead | CFile::shareDenyNone,
         CFile::modeRead, false},
        {"two sharing readers", CFile::modeRead | CFile::shareDenyNone,
         CFile::modeRead | CFile::shareDenyNone, true},
    };
    for (const ShareRow& row : rows) {
        SCOPED_TRACE(row.what);
        ScopedTempDir dir;
        const std::string path = dir.File("busy.sql");
        WriteFileBytes(path, "SELECT 1\n");
        CFile holder;
        ASSERT_TRUE(holder.Open(path.c_str(), row.holder));
        CFile second;
        CFileException error;
        EXPECT_EQ(second.Open(path.c_str(), row.second, &error) != FALSE, row.opens);
        if (!row.opens) {
            EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_SHARING_VIOLATION));
        }
    }
    // A held file shares everything but its deletion; closed, it goes.
    ScopedTempDir dir;
    const std::string path = dir.File("held.mdb");
    WriteFileBytes(path, "rows");
    CFile holder;
    ASSERT_TRUE(holder.Open(path.c_str(), held));
    bool removed = true;
    try {
        CFile::Remove(path.c_str());
    } catch (CFileException* e) {
        removed = false;
        e->Delete();
    }
    EXPECT_FALSE(removed);
    holder.Close();
    CFile::Remove(path.c_str());
}

}  // namespace
