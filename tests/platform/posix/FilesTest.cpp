// Files on POSIX with the Windows rules the program relies on: what
// GetFileType reports and that no open waits on a FIFO or a device; that an
// open with no sharing, and a deletion, fail while another program has the
// file open, lock or no lock; that only files and links are deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Win32.h"
#include "testlib/TempDir.h"
#include "testlib/posix/SpecialFiles.h"

namespace {

using vorla::test::MakeCharDevice;
using vorla::test::MakeFifo;
using vorla::test::MakeSocket;
using vorla::test::ProcessHoldingFile;
using vorla::test::ReadFileBytes;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::string& path, DWORD access, DWORD share) {
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

struct TypeRow {
    const char* what;
    std::string path;
    DWORD type;
    // Opening it to read without sharing succeeds at once (a FIFO without a
    // writer too); a socket cannot be opened to read at all.
    bool readable;
};

TEST(PosixFiles, FileTypesAndOpensThatNeverWait) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("file"), "data");
    ASSERT_EQ(symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(MakeFifo(dir.File("fifo")), "");
    ASSERT_EQ(MakeSocket(dir.File("sock")), "");
    const TypeRow rows[] = {
        {"regular file", dir.File("file"), FILE_TYPE_DISK, true},
        {"link to a regular file", dir.File("link"), FILE_TYPE_DISK, true},
        {"character device", "/dev/null", FILE_TYPE_CHAR, true},
        {"FIFO without a writer", dir.File("fifo"), FILE_TYPE_PIPE, true},
        {"socket", dir.File("sock"), FILE_TYPE_PIPE, false},
    };
    for (const TypeRow& row : rows) {
        SCOPED_TRACE(row.what);
        // An open with no access only looks at the file.
        HANDLE query = Open(row.path, 0, kShareAll);
        ASSERT_NE(query, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetFileType(query), row.type);
        char byte = 0;
        DWORD read = 0;
        EXPECT_FALSE(ReadFile(query, &byte, 1, &read, nullptr));
        CloseHandle(query);

        HANDLE reader = Open(row.path, GENERIC_READ, 0);
        EXPECT_EQ(reader != INVALID_HANDLE_VALUE, row.readable);
        if (reader != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetFileType(reader), row.type);
            CloseHandle(reader);
        }
    }
    EXPECT_EQ(GetFileType(INVALID_HANDLE_VALUE), static_cast<DWORD>(FILE_TYPE_UNKNOWN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The state letter of a thread of this process ('S' while it sleeps in a
// system call), or 0 once it is gone.
char ThreadState(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() ? line[paren + 2] : 0;
}

// Opened before its writer, a FIFO reads what the writer sends instead of
// reading as empty at once. The writer comes only once the reader sleeps in
// its first read, or has already given up.
TEST(PosixFiles, FifoReadWaitsForItsWriter) {
    ScopedTempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(MakeFifo(fifo), "");
    HANDLE reader = Open(fifo, GENERIC_READ, 0);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::string got;
    std::atomic<pid_t> tid{0};
    std::atomic<bool> done{false};
    std::thread reading([&] {
        tid = static_cast<pid_t>(syscall(SYS_gettid));
        char buffer[16];
        DWORD read = 0;
        while (ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            got.append(buffer, read);
        }
        done = true;
    });
    while (!done && (tid == 0 || ThreadState(tid) != 'S')) {
        std::this_thread::yield();
    }
    const bool endedWithoutWriter = done;
    {
        std::ofstream writer(fifo);
        writer << "SELECT 1";
    }
    reading.join();
    CloseHandle(reader);
    EXPECT_FALSE(endedWithoutWriter);
    EXPECT_EQ(got, "SELECT 1");
}

struct InUseRow {
    const char* what;
    DWORD access;
    DWORD share;
    bool opens;
};

// The other process opens the file with open(2) alone, as a database engine
// does: no lock of this layer shows it.
TEST(PosixFiles, FileOpenInAnotherProgramIsInUse) {
    ScopedTempDir dir;
    const std::string path = dir.File("db.mdb");
    WriteFileBytes(path, "precious");
    const InUseRow rows[] = {
        {"read, no sharing", GENERIC_READ, 0, false},
        {"write, no sharing", GENERIC_WRITE, 0, false},
        {"read, sharing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"no access", 0, 0, true},
    };
    {
        ProcessHoldingFile holder(path);
        ASSERT_TRUE(holder.Holding());
        for (const InUseRow& row : rows) {
            SCOPED_TRACE(row.what);
            SetLastError(0);
            HANDLE handle = Open(path, row.access, row.share);
            EXPECT_EQ(handle != INVALID_HANDLE_VALUE, row.opens);
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            } else {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            }
        }
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        // Truncating needs no sharing: refused before anything is cut.
        EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(ReadFileBytes(path), "precious");
    }
    // Our own process counts as well, as on Windows: any other open.
    {
        std::ifstream own(path);
        ASSERT_TRUE(own.is_open());
        EXPECT_EQ(Open(path, GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    }
    HANDLE handle = Open(path, GENERIC_READ, 0);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(Exists(path));
}

TEST(PosixFiles, OnlyFilesAndLinksAreDeleted) {
    ScopedTempDir dir;
    ASSERT_EQ(MakeFifo(dir.File("fifo")), "");
    ASSERT_EQ(MakeSocket(dir.File("sock")), "");
    ASSERT_EQ(MakeCharDevice(dir.File("dev")), "") << "making a device node needs root";
    ASSERT_EQ(symlink(dir.File("fifo").c_str(), dir.File("link").c_str()), 0);
    for (const char* name : {"fifo", "sock", "dev"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(DeleteFileA(dir.File(name).c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(Exists(dir.File(name)));
    }
    // A link goes itself; what it names stays.
    EXPECT_TRUE(DeleteFileA(dir.File("link").c_str()));
    EXPECT_FALSE(Exists(dir.File("link")));
    EXPECT_TRUE(Exists(dir.File("fifo")));
}

}  // namespace
