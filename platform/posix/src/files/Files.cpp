// Files with Windows open semantics over POSIX descriptors.
//
// Sharing: a file opened with a share mode of 0 takes an exclusive flock(2)
// without waiting, any other share mode a shared one, so an exclusive open
// fails while any other handle of this layer (in any process) has the file
// open, and every open fails while it is held exclusively. Where the kernel
// can tell (Linux write leases, see OpenElsewhere), an exclusive open of an
// existing regular file, and deleting one, also fail while any other process
// has the file open without such a lock, as they do on Windows. Elsewhere
// such programs cannot be detected.
//
// Access against share mode: where the kernel has open-file-description
// locks, every handle of this layer also marks what it reads or writes and
// what it denies others with shared locks on bytes far past any data (see
// ShareLocks), so that, as on Windows, an open fails while another handle
// has an access that the new one denies, or denies an access the new one
// asks for: a template opened for reading and denying writers keeps out a
// writer, never another reader. Closing the handle gives them back.
//
// No open waits: FIFOs and devices are opened without blocking, so that a
// caller can ask GetFileType what it opened and refuse what is not a disk
// file. An open with no access at all only looks at the file (O_PATH).

#include <fcntl.h>
#include <libgen.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>
#include <utility>

#include "ErrorMap.h"
#include "Handle.h"
#include "platform/FileSafety.h"
#include "platform/Win32.h"

using vorla::platform::KernelObject;
using vorla::platform::LookupHandle;
using vorla::platform::RegisterHandle;
using vorla::platform::SetLastErrorFromErrno;
using vorla::platform::Win32ErrorFromErrno;

namespace {

// How often (a millisecond apart) a call that made a file tries again to set
// its sharing locks when another process opened the new file first.
constexpr int kCreatedLockTries = 200;

class FileObject final : public KernelObject {
public:
    FileObject(int fd, std::string path, bool created, bool fifoReader, int lockFd = -1)
        : m_fd(fd),
          m_lockFd(lockFd),
          m_path(std::move(path)),
          m_created(created),
          m_fifoReader(fifoReader) {}
    ~FileObject() override {
        if (m_lockFd >= 0) {
            ::close(m_lockFd);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    DWORD Close() override {
        if (m_lockFd >= 0) {
            ::close(m_lockFd);
            m_lockFd = -1;
        }
        int fd = m_fd;
        m_fd = -1;
        // The lock goes with the descriptor.
        if (::close(fd) != 0 && errno != EINTR) {
            return Win32ErrorFromErrno(errno);
        }
        return 0;
    }

    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    bool Created() const { return m_created; }
    // Opened for reading on a FIFO without waiting for a writer: reads wait
    // for one instead (see ReadFile).
    bool FifoReader() const { return m_fifoReader; }

private:
    int m_fd;
    int m_lockFd;  // a read-only descriptor for the share marks, or -1
    std::string m_path;
    bool m_created;
    bool m_fifoReader;
};

FileObject* LookupFile(HANDLE handle) {
    auto* file = dynamic_cast<FileObject*>(LookupHandle(handle));
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return file;
}

// Windows refuses to write to, or delete, a file with the read-only
// attribute, whoever asks. Here a file without any write permission bit is
// read-only, also for root, for whom the kernel would not refuse.
bool IsReadOnlyMode(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

DWORD AttributesOf(const struct stat& st) {
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (IsReadOnlyMode(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

FILETIME FileTimeOf(const struct timespec& ts) {
    // 100-nanosecond intervals since 1601-01-01.
    const uint64_t epochDiff = 116444736000000000ULL;
    uint64_t ticks = static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
                     static_cast<uint64_t>(ts.tv_nsec) / 100 + epochDiff;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFULL);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// Flushes the directory that holds `path`, so that a file just created is
// found after a crash as well as its contents.
void SyncParentDirectory(const std::string& path) {
    std::string copy = path;
    const char* dir = dirname(&copy[0]);
    int dfd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

enum class Elsewhere { No, Yes, CannotTell };

// Whether the kernel refuses a lease of `type` on the file of `fd`, which
// it does (EAGAIN) while another open file description conflicts with it.
// A lease taken is given back at once, never held: while it is held, every
// other open of the file would wait for the lease to be broken. The kernel
// tells the holder of a lease about a break with a signal, by default SIGIO,
// which would end the process; SIGURG, which is ignored unless handled, is
// asked for instead. No lease can be taken by a process that neither owns
// the file nor has CAP_LEASE, on a file that is not regular, on file systems
// without leases, nor on kernels without them: there the answer is
// CannotTell and the flock rule alone stands.
Elsewhere LeaseRefused(int fd, int type) {
#if defined(F_SETLEASE) && defined(F_SETSIG)
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) {
        return Elsewhere::CannotTell;
    }
    Elsewhere answer = Elsewhere::CannotTell;
    if (::fcntl(fd, F_SETLEASE, type) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        answer = Elsewhere::No;
    } else if (errno == EAGAIN) {
        answer = Elsewhere::Yes;
    }
    ::fcntl(fd, F_SETSIG, 0);
    return answer;
#else
    (void)fd;
    (void)type;
    return Elsewhere::CannotTell;
#endif
}

// Whether the file of `fd` is open through any other open file description,
// in this process or another: Linux refuses a write lease while any exists.
Elsewhere OpenElsewhere(int fd) {
    return LeaseRefused(fd, F_WRLCK);
}

#if defined(F_OFD_SETLK)
// The bytes of the share locks: at the top of the offset range, where no
// file has data and no database engine locks (SQLite locks near 1 GiB).
constexpr off_t kShareBase = static_cast<off_t>(0x7fffffff00000000LL);
constexpr off_t kHasRead = kShareBase;
constexpr off_t kHasWrite = kShareBase + 1;
constexpr off_t kDeniesRead = kShareBase + 2;
constexpr off_t kDeniesWrite = kShareBase + 3;

bool OfdLock(int fd, int cmd, short type, off_t at, struct flock* out = nullptr) {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = at;
    lock.l_len = 1;
    while (::fcntl(fd, cmd, &lock) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    if (out != nullptr) {
        *out = lock;
    }
    return true;
}

// Whether another open file description holds a lock on byte `at`.
bool Taken(int fd, off_t at) {
    struct flock probe;
    return OfdLock(fd, F_OFD_GETLK, F_WRLCK, at, &probe) && probe.l_type != F_UNLCK;
}
#endif

// The marks are shared (read) locks, which only a descriptor open for
// reading may take: a handle that only writes gets a second, read-only
// descriptor of the same file for them, or -1 (where none can be had, only
// the flock rule stands).
int ShareLockDescriptor(int fd, bool read) {
#if defined(F_OFD_SETLK)
    if (read) {
        return fd;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
#else
    (void)fd;
    (void)read;
    return -1;
#endif
}

// Marks the handle's access and share mode with shared locks on `lockFd`,
// then looks for another handle's marks that conflict with them; on a
// conflict the marks are taken back and the result is ERROR_SHARING_VIOLATION.
// Marking before looking means two conflicting opens at the same moment
// cannot both pass (at worst both fail, as under contention on Windows).
DWORD ShareLocks(int lockFd, bool read, bool write, DWORD share) {
#if defined(F_OFD_SETLK)
    if (lockFd < 0) {
        return 0;
    }
    const bool deniesRead = (share & FILE_SHARE_READ) == 0;
    const bool deniesWrite = (share & FILE_SHARE_WRITE) == 0;
    const std::pair<bool, off_t> marks[] = {{read, kHasRead},
                                            {write, kHasWrite},
                                            {deniesRead, kDeniesRead},
                                            {deniesWrite, kDeniesWrite}};
    for (const auto& mark : marks) {
        if (mark.first && !OfdLock(lockFd, F_OFD_SETLK, F_RDLCK, mark.second)) {
            return 0;  // a file system without these locks
        }
    }
    const bool conflict =
        (read && Taken(lockFd, kDeniesRead)) || (write && Taken(lockFd, kDeniesWrite)) ||
        (deniesRead && Taken(lockFd, kHasRead)) || (deniesWrite && Taken(lockFd, kHasWrite));
    if (conflict) {
        for (const auto& mark : marks) {
            OfdLock(lockFd, F_OFD_SETLK, F_UNLCK, mark.second);
        }
        return ERROR_SHARING_VIOLATION;
    }
    return 0;
#else
    (void)lockFd;
    (void)read;
    (void)write;
    (void)share;
    return 0;
#endif
}

// Whether another open file description has the file of `fd` (opened
// read-only) open for writing: Linux refuses a read lease then.
Elsewhere WrittenElsewhere(int fd) {
    return LeaseRefused(fd, F_RDLCK);
}

// Opens `path` to look at it only: nothing is read or written through the
// descriptor, so no FIFO waits and no device does anything on open.
int OpenForQuery(const char* path) {
#if defined(O_PATH)
    return ::open(path, O_PATH | O_CLOEXEC);
#else
    return ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
}

// Makes a file with no name in the folder of `path`, for `flags` (which
// ask for writing): -1 where the file system cannot, or on any error, and
// the caller makes the file by name instead.
int OpenUnnamed(const char* path, int flags) {
#if defined(O_TMPFILE)
    std::string folder(path);
    folder = ::dirname(&folder[0]);
    return ::open(folder.c_str(), O_TMPFILE | (flags & O_ACCMODE) | O_CLOEXEC, 0666);
#else
    (void)path;
    (void)flags;
    return -1;
#endif
}

// Gives the file of `fd`, made by OpenUnnamed, its name `path`; fails with
// EEXIST when something has that name.
int LinkUnnamed(int fd, const char* path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW);
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool wantWrite = (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int flags = O_CLOEXEC;
    if (wantRead && wantWrite) {
        flags |= O_RDWR;
    } else if (wantWrite) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }

    bool truncate = false;
    switch (dwCreationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT;
            truncate = true;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            truncate = true;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }

    struct stat before;
    const bool existed = ::stat(lpFileName, &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && wantWrite && IsReadOnlyMode(before.st_mode)) {
        SetLastError(dwCreationDisposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    // No access asked for: the caller only looks at the file (its type, its
    // size), which on Windows neither needs nor checks sharing.
    if (!wantRead && !wantWrite && dwCreationDisposition == OPEN_EXISTING) {
        int fd = OpenForQuery(lpFileName);
        if (fd < 0) {
            SetLastErrorFromErrno();
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return RegisterHandle(new FileObject(fd, lpFileName, false, false));
    }

    // On Windows a file is made with its sharing in force: nobody opens it
    // in between. A file made new here is made without a name, given its
    // locks, and only then linked in under its name; where the file system
    // cannot do that it is made by name, and another process may open it
    // before its locks are set (see below).
    if ((flags & O_EXCL) != 0 && existed) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    int fd = (flags & O_EXCL) != 0 && (flags & O_ACCMODE) != O_RDONLY
                 ? OpenUnnamed(lpFileName, flags)
                 : -1;
    const bool unnamed = fd >= 0;
    // O_NONBLOCK keeps the open itself from waiting: for a writer on a FIFO,
    // for a device, or for another process's lease. It is cleared again
    // right after, so reads and writes wait as usual.
    if (!unnamed) {
        fd = ::open(lpFileName, flags | O_NONBLOCK, 0666);
    }
    if (fd < 0) {
        if (errno == ENOENT && (flags & O_CREAT) != 0) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno();
        }
        return INVALID_HANDLE_VALUE;
    }
    const bool created = (flags & O_CREAT) != 0 && (!existed || (flags & O_EXCL) != 0);
    struct stat opened;
    const int status = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &opened) != 0 || status < 0 ||
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        SetLastErrorFromErrno();
        ::close(fd);
        if (created && !unnamed) {
            ::unlink(lpFileName);
        }
        return INVALID_HANDLE_VALUE;
    }

    // Take the sharing lock before truncating, so a file that another handle
    // holds exclusively is never cut short.
    const int lockOp = (dwShareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (::flock(fd, lockOp) != 0) {
        if (errno == EINTR) {
            continue;
        }
        const int err = errno;
        ::close(fd);
        if (created && !unnamed) {
            ::unlink(lpFileName);
        }
        SetLastError(err == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : Win32ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    // A file this call created cannot hold anybody's data yet; any other
    // existing file opened with no sharing must not be open anywhere else.
    if (dwShareMode == 0 && !created && S_ISREG(opened.st_mode) &&
        OpenElsewhere(fd) == Elsewhere::Yes) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    // A reader that denies writers is kept out by any program that writes
    // the file, locks or not.
    if (dwShareMode != 0 && (dwShareMode & FILE_SHARE_WRITE) == 0 && !created && !wantWrite &&
        S_ISREG(opened.st_mode) && WrittenElsewhere(fd) == Elsewhere::Yes) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    // After the lease checks: a second descriptor would count as another
    // open there.
    int lockFd = -1;
    if (S_ISREG(opened.st_mode)) {
        lockFd = ShareLockDescriptor(fd, wantRead);
        bool shared = ShareLocks(lockFd, wantRead, wantWrite, dwShareMode) == 0;
        // A file made by name can be opened by another process before its
        // locks are set. That opener holds no data of it and lets go soon,
        // so the maker waits a little for it rather than give up the file
        // it made.
        for (int tries = 0; !shared && created && tries < kCreatedLockTries; ++tries) {
            ::usleep(1000);
            shared = ShareLocks(lockFd, wantRead, wantWrite, dwShareMode) == 0;
        }
        if (!shared) {
            if (lockFd != fd && lockFd >= 0) {
                ::close(lockFd);
            }
            ::close(fd);
            if (created && !unnamed) {
                ::unlink(lpFileName);
            }
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    const int extraFd = lockFd != fd ? lockFd : -1;
    if (unnamed) {
        if (LinkUnnamed(fd, lpFileName) != 0) {
            SetLastErrorFromErrno();  // ERROR_FILE_EXISTS when the name was taken
            if (extraFd >= 0) {
                ::close(extraFd);
            }
            ::close(fd);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno();
        if (extraFd >= 0) {
            ::close(extraFd);
        }
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }

    // Windows reports success with ERROR_ALREADY_EXISTS for these two when
    // the file was there before.
    if (existed &&
        (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)) {
        SetLastError(ERROR_ALREADY_EXISTS);
    } else {
        SetLastError(ERROR_SUCCESS);
    }
    return RegisterHandle(
        new FileObject(fd, lpFileName, created, wantRead && S_ISFIFO(opened.st_mode), extraFd));
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, void*) {
    FileObject* file = LookupFile(hFile);
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    if (file == nullptr) {
        return FALSE;
    }
    // A FIFO opened before its writer would read as empty at once; a read
    // waits for the writer instead, as an open without O_NONBLOCK would have.
    // Linux reports no hang-up to a reader that has not yet seen a writer.
    if (file->FifoReader()) {
        struct pollfd wait = {file->Fd(), POLLIN, 0};
        while (::poll(&wait, 1, -1) < 0) {
            if (errno != EINTR) {
                SetLastErrorFromErrno();
                return FALSE;
            }
        }
    }
    for (;;) {
        ssize_t n = ::read(file->Fd(), lpBuffer, nNumberOfBytesToRead);
        if (n >= 0) {
            if (lpNumberOfBytesRead != nullptr) {
                *lpNumberOfBytesRead = static_cast<DWORD>(n);
            }
            return TRUE;
        }
        if (errno != EINTR) {
            SetLastErrorFromErrno();
            return FALSE;
        }
    }
}

// Writes everything or fails: a short write (a full disk) is an error with
// ERROR_DISK_FULL, as Windows reports it.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, void*) {
    FileObject* file = LookupFile(hFile);
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    if (file == nullptr) {
        return FALSE;
    }
    const char* data = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t n = ::write(file->Fd(), data + done, nNumberOfBytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno();
            if (lpNumberOfBytesWritten != nullptr) {
                *lpNumberOfBytesWritten = done;
            }
            return FALSE;
        }
        if (n == 0) {
            SetLastError(ERROR_DISK_FULL);
            if (lpNumberOfBytesWritten != nullptr) {
                *lpNumberOfBytesWritten = done;
            }
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = done;
    }
    return TRUE;
}

// Puts the file's data on stable storage; for a file this handle created,
// its directory entry as well.
BOOL FlushFileBuffers(HANDLE hFile) {
    FileObject* file = LookupFile(hFile);
    if (file == nullptr) {
        return FALSE;
    }
    if (::fsync(file->Fd()) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    if (file->Created()) {
        SyncParentDirectory(file->Path());
    }
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    FileObject* file = LookupFile(hFile);
    if (file == nullptr || lpFileSize == nullptr) {
        return FALSE;
    }
    struct stat st;
    if (::fstat(file->Fd(), &st) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    lpFileSize->QuadPart = static_cast<LONGLONG>(st.st_size);
    return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(hFile, &size)) {
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(size.QuadPart) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<ULONGLONG>(size.QuadPart) & 0xFFFFFFFFULL);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    FileObject* file = LookupFile(hFile);
    if (file == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
            static_cast<uint32_t>(lDistanceToMove));
    }
    int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                 : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                                                : SEEK_END;
    off_t pos = ::lseek(file->Fd(), static_cast<off_t>(distance), whence);
    if (pos < 0) {
        SetLastErrorFromErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<uint64_t>(pos) & 0xFFFFFFFFULL);
}

// Deleting fails for a directory, a read-only file, and a file that a handle
// of this layer holds open (in any process), or that any other process has
// open where the kernel can tell, as it does on Windows. Devices, FIFOs and
// sockets are not files that Windows could delete: they stay as well. A
// symbolic link is deleted itself, not its target.
BOOL DeleteFileA(LPCSTR lpFileName) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat st;
    if (::lstat(lpFileName, &st) != 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    const bool fileOrLink = S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
    if (!fileOrLink || (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (S_ISREG(st.st_mode)) {
        int fd = ::open(lpFileName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0 && errno == EWOULDBLOCK) {
            // Another process holds a lease on it: it is asking this very
            // moment whether the file is in use, or it keeps it.
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || OpenElsewhere(fd) == Elsewhere::Yes) {
                ::close(fd);
                SetLastError(ERROR_SHARING_VIOLATION);
                return FALSE;
            }
            // Unlink while holding the lock, so nobody opens it in between.
            int rc = ::unlink(lpFileName);
            int err = errno;
            ::close(fd);
            if (rc != 0) {
                SetLastError(Win32ErrorFromErrno(err));
                return FALSE;
            }
            return TRUE;
        }
    }
    if (::unlink(lpFileName) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

// Regular files are disk files; devices (block devices too: nothing to
// copy a database into) are character files; FIFOs and sockets are pipes.
HANDLE GetStdHandle(DWORD nStdHandle) {
    const int fd = nStdHandle == STD_INPUT_HANDLE    ? 0
                   : nStdHandle == STD_OUTPUT_HANDLE ? 1
                   : nStdHandle == STD_ERROR_HANDLE  ? 2
                                                     : -1;
    if (fd < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Made once each and never destroyed: the descriptors are the process's.
    static HANDLE handles[3] = {RegisterHandle(new FileObject(0, "/dev/stdin", false, false)),
                                RegisterHandle(new FileObject(1, "/dev/stdout", false, false)),
                                RegisterHandle(new FileObject(2, "/dev/stderr", false, false))};
    return handles[fd];
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    FileObject* file = LookupFile(hConsoleHandle);
    if (file == nullptr || ::isatty(file->Fd()) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpMode != nullptr) {
        *lpMode = 0;
    }
    return TRUE;
}

DWORD GetFileType(HANDLE hFile) {
    FileObject* file = LookupFile(hFile);
    if (file == nullptr) {
        return FILE_TYPE_UNKNOWN;
    }
    struct stat st;
    if (::fstat(file->Fd(), &st) != 0) {
        SetLastErrorFromErrno();
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    if (S_ISREG(st.st_mode)) {
        return FILE_TYPE_DISK;
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return FILE_TYPE_CHAR;
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        return FILE_TYPE_PIPE;
    }
    return FILE_TYPE_UNKNOWN;
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    struct stat st;
    if (lpFileName == nullptr || ::stat(lpFileName, &st) != 0) {
        SetLastError(lpFileName == nullptr || errno == ENOENT ? ERROR_FILE_NOT_FOUND
                                                              : Win32ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(st);
}

BOOL GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS, LPVOID lpFileInformation) {
    struct stat st;
    if (lpFileName == nullptr || lpFileInformation == nullptr || ::stat(lpFileName, &st) != 0) {
        SetLastError(lpFileName == nullptr || errno == ENOENT ? ERROR_FILE_NOT_FOUND
                                                              : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
    data->dwFileAttributes = AttributesOf(st);
    data->ftCreationTime = FileTimeOf(st.st_ctim);
    data->ftLastAccessTime = FileTimeOf(st.st_atim);
    data->ftLastWriteTime = FileTimeOf(st.st_mtim);
    const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFULL);
    return TRUE;
}

namespace vorla::platform {

bool CopyAccessRights(HANDLE from, HANDLE to, const char* /*toPath*/) {
    FileObject* source = LookupFile(from);
    FileObject* target = LookupFile(to);
    if (source == nullptr || target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct stat st;
    if (::fstat(source->Fd(), &st) != 0 || ::fchmod(target->Fd(), st.st_mode & 07777) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool IsLinkOfAnotherUser(const char* path) {
    struct stat st;
    return ::lstat(path, &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != ::geteuid() &&
           st.st_uid != 0;
}

}  // namespace vorla::platform
