// File-system behaviour that needs POSIX facilities to set up: another
// process holding a file, a full file system, FIFOs, devices and sockets,
// relative paths resolved against a known current directory.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/FileSystem.h"
#include "testlib/TempDir.h"
#include "testlib/posix/SpecialFiles.h"

namespace {

using vorla::test::MakeFifo;
using vorla::test::MakeSocket;
using vorla::test::ProcessHoldingFile;
using vorla::test::ReadFileBytes;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

TEST(FileSystemPosix, SourceLockedByAnotherProcessIsRefused) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("src"), "content");
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CFile held;
        const bool opened = held.Open(dir.File("src").c_str(), CFile::modeRead);
        char c = opened ? '1' : '0';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    CFileSystem fs;
    EXPECT_FALSE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 16));
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 16));
}

// Runs the copy in a child process whose target directory is a 64 KiB tmpfs
// in a private mount namespace, so that nothing stays mounted whatever
// happens. Where namespaces are not allowed, a file-size limit makes writes
// fail the same way (EFBIG, reported as a full disk). The child's exit code
// is the copy's result (1 copied, 0 failed); 2 means the full file system
// could not be set up, 3 that a failed copy left its target behind.
int CopyOntoFullFileSystem(const std::string& source, const std::string& targetDir) {
    pid_t child = fork();
    if (child == 0) {
        bool limited = false;
        if (unshare(CLONE_NEWNS) == 0 || unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
            limited = mount("tmpfs", targetDir.c_str(), "tmpfs", 0, "size=64k") == 0;
        }
        if (!limited) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl = {64 * 1024, 64 * 1024};
            limited = setrlimit(RLIMIT_FSIZE, &rl) == 0;
        }
        if (!limited) {
            _exit(2);
        }
        CFileSystem fs;
        const std::string target = targetDir + "/copy";
        if (fs.CopyWithBuffer(source.c_str(), target.c_str(), 10240)) {
            _exit(1);
        }
        // A failed copy leaves no partial target, which a later run would
        // take for a whole file.
        _exit(access(target.c_str(), F_OK) == 0 ? 3 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileSystemPosix, CopyOntoAFullFileSystemFails) {
    ScopedTempDir dir;
    const std::string big(200 * 1024, 'z');
    WriteFileBytes(dir.File("big"), big);
    ASSERT_EQ(mkdir(dir.File("small").c_str(), 0700), 0);
    const int result = CopyOntoFullFileSystem(dir.File("big"), dir.File("small"));
    ASSERT_NE(result, 2) << "could not make a full file system for the test";
    EXPECT_EQ(result, 0) << "a copy onto a full file system was reported complete";
    EXPECT_EQ(ReadFileBytes(dir.File("big")), big);
}

TEST(FileSystemPosix, SourceOpenInAnotherProgramIsRefused) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("src"), "content");
    CFileSystem fs;
    {
        // No lock: an ordinary program, or the database driver of another run.
        ProcessHoldingFile holder(dir.File("src"));
        ASSERT_TRUE(holder.Holding());
        EXPECT_FALSE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 16));
        EXPECT_FALSE(fs.PathExists(dir.File("dst").c_str()));
    }
    EXPECT_TRUE(fs.CopyWithBuffer(dir.File("src").c_str(), dir.File("dst").c_str(), 16));
}

struct KindRow {
    const char* what;
    std::string path;
    bool disk;
};

// Only files on disk are copied; nothing else is read from, and a FIFO
// without a writer is not waited for.
TEST(FileSystemPosix, OnlyFilesOnDiskAreCopied) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("file"), "data");
    ASSERT_EQ(symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("dir").c_str(), 0700), 0);
    ASSERT_EQ(MakeFifo(dir.File("fifo")), "");
    ASSERT_EQ(MakeSocket(dir.File("sock")), "");
    const KindRow rows[] = {
        {"regular file", dir.File("file"), true},
        {"link to a regular file", dir.File("link"), true},
        {"dangling link", dir.File("dangling"), false},
        {"missing", dir.File("missing"), false},
        {"directory", dir.File("dir"), false},
        {"FIFO", dir.File("fifo"), false},
        {"character device", "/dev/zero", false},
        {"socket", dir.File("sock"), false},
    };
    CFileSystem fs;
    for (const KindRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(fs.IsDiskFile(row.path.c_str()) != FALSE, row.disk);
        const std::string target = dir.File("copy");
        EXPECT_EQ(fs.CopyWithBuffer(row.path.c_str(), target.c_str(), 16) != FALSE, row.disk);
        EXPECT_EQ(fs.PathExists(target.c_str()) != FALSE, row.disk);
        unlink(target.c_str());
    }
}

TEST(FileSystemPosix, SmallCopyOntoTheSmallFileSystemSucceeds) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("small-src"), std::string(1000, 'q'));
    ASSERT_EQ(mkdir(dir.File("small").c_str(), 0700), 0);
    EXPECT_EQ(CopyOntoFullFileSystem(dir.File("small-src"), dir.File("small")), 1);
}

struct FullPathRow {
    const char* input;
    const char* expected;  // relative to the current directory "<cwd>"
};

TEST(FileSystemPosix, ExpandPathResolvesDotsLexically) {
    ScopedTempDir dir;
    ASSERT_EQ(mkdir(dir.File("work").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.File("work/sub").c_str(), 0700), 0);
    // A link must not be followed: "link/.." is the directory holding the
    // link, not the parent of its target.
    ASSERT_EQ(symlink(dir.File("work/sub").c_str(), dir.File("work/link").c_str()), 0);
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(dir.File("work").c_str()), 0);
    char resolved[4096];
    ASSERT_NE(getcwd(resolved, sizeof resolved), nullptr);
    const std::string cwd = resolved;
    const std::string parent = cwd.substr(0, cwd.rfind('/'));
    const FullPathRow rows[] = {
        {"db.mdb", "<cwd>/db.mdb"},     {"./db.mdb", "<cwd>/db.mdb"},
        {".\\db.mdb", "<cwd>/db.mdb"},  {"../out/db.mdb", "<parent>/out/db.mdb"},
        {"..\\out\\", "<parent>/out/"}, {"sub/../x", "<cwd>/x"},
        {"link/../y", "<cwd>/y"},       {"a//b/./c", "<cwd>/a/b/c"},
        {"/abs/./p/../q", "/abs/q"},    {"/..", "/"},
    };
    CFileSystem fs;
    for (const FullPathRow& row : rows) {
        std::string expected = row.expected;
        auto replace = [&](const std::string& key, const std::string& value) {
            size_t pos = expected.find(key);
            if (pos != std::string::npos) {
                expected.replace(pos, key.size(), value);
            }
        };
        replace("<cwd>", cwd);
        replace("<parent>", parent);
        EXPECT_EQ(std::string(fs.ExpandPath(row.input).GetString()), expected) << row.input;
    }
    ASSERT_EQ(chdir(before), 0);
}

TEST(FileSystemPosix, ReadOnlyFileCannotBeRemoved) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("ro"), "x");
    ASSERT_EQ(chmod(dir.File("ro").c_str(), 0444), 0);
    CFileSystem fs;
    EXPECT_FALSE(fs.RemoveFile(dir.File("ro").c_str()));
    EXPECT_TRUE(fs.PathExists(dir.File("ro").c_str()));
}

}  // namespace
