#include "support/FileSystem.h"

#include <memory>
#include <new>
#include <vector>

#include "framework/Interrupt.h"
#include "platform/FileSafety.h"
#include "platform/PathSeparator.h"

namespace {

int LastSeparator(const CString& path) {
    const int slash = path.ReverseFind('/');
    const int backslash = path.ReverseFind('\\');
    return slash > backslash ? slash : backslash;
}

}  // namespace

CFileSystem::CFileSystem() : m_nMaxPath(1024) {}

BOOL CFileSystem::PathExists(const CString& path) const {
    CFileStatus status;
    return CFile::GetStatus(path, status);
}

// An open with no access asks for no data and is not subject to sharing, so
// it neither waits nor fails while another program has the file open.
BOOL CFileSystem::IsDiskFile(const CString& path) const {
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    const BOOL disk = GetFileType(handle) == FILE_TYPE_DISK;
    CloseHandle(handle);
    return disk;
}

// The drive number 0 stands for a current directory on no lettered drive (on
// POSIX, always): its root is the root of the one tree, the written separator.
CString CFileSystem::CurrentDriveRoot() const {
    const int drive = _getdrive();
    if (drive <= 0) {
        return CString(kPathSeparatorText);
    }
    CString root(static_cast<char>(drive + 96));
    root += ":\\";
    return root;
}

BOOL CFileSystem::EnterDirectory(const CString& directory) const {
    return SetCurrentDirectoryA(directory) ? TRUE : FALSE;
}

CString CFileSystem::CurrentDirOnDrive(const CString& directory) const {
    SetErrorMode(SEM_FAILCRITICALERRORS);
    const CString root = CurrentDriveRoot();
    const bool changeDir =
        _mbscmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(directory)),
                reinterpret_cast<const unsigned char*>("")) != 0;
    if (changeDir && !EnterDirectory(directory)) {
        SetErrorMode(0);
        return CString();
    }

    std::vector<char> buffer(static_cast<size_t>(m_nMaxPath), '\0');
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(m_nMaxPath), buffer.data());
    CString current;
    if (length != 0 && length < static_cast<DWORD>(m_nMaxPath)) {
        current = buffer.data();
    }

    if (changeDir) {
        EnterDirectory(root);
    }
    SetErrorMode(0);
    return current;
}

BOOL CFileSystem::RemoveFile(const CString& path) const {
    try {
        CFile::Remove(path);
    } catch (CFileException* e) {
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

BOOL CFileSystem::CloseSilently(CFile& file) const {
    try {
        file.Close();
    } catch (CFileException* e) {
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

// Copies `source` to a new file `target`. The result is true only when every
// byte of the source is in the target and the target is on stable storage
// and closed without error: callers delete the original after a successful
// copy, so a copy that is not known to be complete must never count as done.
// The target is created exclusively and never overwritten, even when another
// process creates it between the existence test and the open. A failed copy
// removes the target it created, so that no partial file is later taken for
// a whole one. Only a file on disk is copied: a device, FIFO or socket as the
// source is refused before anything is read from it.
BOOL CFileSystem::CopyWithBuffer(const CString& source, const CString& target, UINT bufferSize,
                                 CFile* hold, InUse* inUse, Readers readers) const {
    m_lastCopyProblem.Empty();
    m_lastCopyProblemAtTarget = false;
    // Records why the step at `path` failed with the system's `error`.
    const auto why = [this, &target](const CString& path, DWORD error) {
        m_lastCopyProblem = CFile::DescribeOpenFailure(path, error);
        m_lastCopyProblemAtTarget = path == target;
    };
    const auto note = [inUse, &why, &source, &target](InUse which) {
        const DWORD error = GetLastError();
        if (inUse != nullptr) {
            *inUse = error == ERROR_SHARING_VIOLATION ? which : InUse::None;
        }
        if (error != ERROR_SHARING_VIOLATION) {
            why(which == InUse::Source ? source : target, error);
        }
    };
    if (inUse != nullptr) {
        *inUse = InUse::None;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize > 0 ? bufferSize : 1]);
    if (!buffer) {
        AfxThrowMemoryException();
    }

    if (PathExists(target) || !IsDiskFile(source)) {
        return FALSE;
    }
    if (vorla::platform::IsLinkOfAnotherUser(source)) {
        if (inUse != nullptr) {
            *inUse = InUse::SourceLinkOfAnotherUser;
        }
        return FALSE;
    }
    // From here an interrupt lets this copy remove what it made before the
    // run ends: no half-made file is left to be taken for a whole one.
    CInterruptDeferral deferral;

    CFile in;
    const UINT share = readers == Readers::Allowed ? CFile::shareDenyWrite : CFile::shareCompat;
    if (!in.Open(source, CFile::modeRead | share)) {
        note(InUse::Source);
        return FALSE;
    }
    // The name may have been given to another file since it was looked at.
    if (GetFileType(in.m_hFile) != FILE_TYPE_DISK) {
        CloseSilently(in);
        return FALSE;
    }
    CFile local;
    CFile& out = hold != nullptr ? *hold : local;
    const UINT targetMode =
        hold != nullptr ? CFile::modeReadWrite | CFile::shareDenyNone : CFile::modeWrite;
    if (!out.Open(target, CFile::modeCreate | CFile::modeCreateNew | targetMode)) {
        note(InUse::Target);
        CloseSilently(in);
        return FALSE;
    }

    bool complete = false;
    // The copy is never readable by more users than the source is.
    const bool rights = vorla::platform::CopyAccessRights(in.m_hFile, out.m_hFile, target);
    try {
        ULONGLONG remaining = in.GetLength();
        while (rights && remaining != 0 && !AfxInterruptRequested()) {
            const UINT got = in.Read(buffer.get(), bufferSize);
            // The source shrank (no bytes while some remain) or grew (more
            // than remain) while being copied: the copy cannot be trusted.
            if (got == 0 || got > remaining) {
                break;
            }
            out.Write(buffer.get(), got);
            remaining -= got;
        }
        if (rights && remaining == 0 && !AfxInterruptRequested()) {
            out.Flush();
            complete = true;
        }
    } catch (CFileException* e) {
        // A read of the source or a write of the copy: a full disk is the
        // usual one.
        why(e->m_strFileName == source ? source : target, static_cast<DWORD>(e->m_lOsError));
        e->Delete();
    }

    CloseSilently(in);
    if (hold != nullptr && complete) {
        return TRUE;
    }
    const BOOL closed = CloseSilently(out);
    if (complete && closed) {
        return TRUE;
    }
    // The target is the one this copy created (CREATE_NEW never opens an
    // existing file), so removing it takes nothing that was there before.
    RemoveFile(target);
    if (AfxInterruptRequested()) {
        AfxEndInterruptedRun();
    }
    return FALSE;
}

CString CFileSystem::ExpandPath(const CString& path) const {
    std::vector<char> buffer(static_cast<size_t>(m_nMaxPath), '\0');
    char* filePart = nullptr;
    const DWORD length =
        GetFullPathNameA(path, static_cast<DWORD>(m_nMaxPath), buffer.data(), &filePart);
    if (length == 0 || length >= static_cast<DWORD>(m_nMaxPath)) {
        return CString();
    }
    return CString(buffer.data());
}

CString CFileSystem::NameOfPath(const CString& path) const {
    const int sep = LastSeparator(path);
    return sep >= 0 ? path.Mid(sep + 1) : path;
}

CString CFileSystem::DirOfPath(const CString& path, BOOL keepDrive) const {
    const int sep = LastSeparator(path);
    if (sep < 0) {
        return CString();
    }
    CString dir = path.Left(sep + 1);
    if (!keepDrive) {
        const int colon = dir.Find(':');
        if (colon >= 0) {
            dir = dir.Mid(colon + 1);
        }
    }
    return dir;
}

CString CFileSystem::ExtOfPath(const CString& path) const {
    const CString name = NameOfPath(path);
    const int dot = name.ReverseFind('.');
    if (dot < 0 || dot == name.GetLength() - 1) {
        return CString();
    }
    return name.Mid(dot + 1);
}

CString CFileSystem::StemOfPath(const CString& path) const {
    const CString name = NameOfPath(path);
    if (name.Find('.') < 0) {
        return name;
    }
    const CString ext = ExtOfPath(name);
    return name.Left(name.GetLength() - ext.GetLength() - 1);
}
