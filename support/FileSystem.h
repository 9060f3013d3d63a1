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
    BOOL CopyWithBuffer(const CString& source, const CString& target, UINT bufferSize) const;
    CString ExpandPath(const CString& path) const;
    CString NameOfPath(const CString& path) const;
    CString DirOfPath(const CString& path, BOOL keepDrive) const;
    CString ExtOfPath(const CString& path) const;
    CString StemOfPath(const CString& path) const;

    // Size in characters, NUL included, of the buffers for path results.
    const int m_nMaxPath;
};
