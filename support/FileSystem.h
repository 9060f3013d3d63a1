// File-system helper: existence tests, path splitting, the current directory,
// full path names, a buffered copy that never overwrites, and deletion. It
// prints nothing; failures come back as false or empty results.
#pragma once

#include "framework/CFile.h"
#include "framework/CObject.h"
#include "framework/CString.h"

class CFileSystem : public CObject {
public:
    CFileSystem();
    ~CFileSystem() override = default;

    BOOL PathExists(const CString& path) const;
    // True when the path names a file on disk (or a link to one): not a
    // directory, device, pipe or socket. The file is only looked at, never
    // read, so a FIFO or a device is neither waited for nor woken.
    BOOL IsDiskFile(const CString& path) const;
    CString CurrentDirOnDrive(const CString& directory) const;
    CString CurrentDriveRoot() const;
    BOOL EnterDirectory(const CString& directory) const;
    BOOL RemoveFile(const CString& path) const;
    BOOL CloseSilently(CFile& file) const;
    // Which file a failed copy found in use by another handle (opened with
    // a share mode that the copy's open conflicts with), or that the source
    // is a link another user owns, which a copy never follows.
    enum class InUse { None, Source, Target, SourceLinkOfAnotherUser };
    // With `hold`, the target is opened for reading and writing, sharing
    // both but not deletion, and stays open in `hold` after a successful
    // copy: nobody can back it up, remove or replace it until `hold` is
    // closed, while a database engine of this process may still open it.
    // The source is read alone (the open fails while anybody else has it
    // open), or beside other readers (only a handle that writes it, or
    // denies reading, keeps the copy out). The target gets the access rights
    // of the source, never wider. An interrupt during the copy removes the
    // target and ends the run (AfxEndInterruptedRun).
    enum class Readers { Refused, Allowed };
    BOOL CopyWithBuffer(const CString& source, const CString& target, UINT bufferSize,
                        CFile* hold = nullptr, InUse* inUse = nullptr,
                        Readers readers = Readers::Refused) const;
    // Why the last CopyWithBuffer that failed did, in a person's words
    // ("the disk is full"), and whether it was at the target (making or
    // writing the copy) rather than the source; empty when the system said
    // nothing a person can act on, or a copy was refused for a reason that
    // InUse names.
    const CString& LastCopyProblem() const { return m_lastCopyProblem; }
    bool LastCopyProblemAtTarget() const { return m_lastCopyProblemAtTarget; }
    CString ExpandPath(const CString& path) const;
    CString NameOfPath(const CString& path) const;
    CString DirOfPath(const CString& path, BOOL keepDrive) const;
    CString ExtOfPath(const CString& path) const;
    CString StemOfPath(const CString& path) const;

    // Size in characters, NUL included, of the buffers for path results.
    const int m_nMaxPath;

private:
    mutable CString m_lastCopyProblem;
    mutable bool m_lastCopyProblemAtTarget = false;
};
