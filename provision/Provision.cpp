#include "app/RunCmd.h"
#include "framework/Console.h"
#include "platform/PathSeparator.h"
#include "support/FileSystem.h"

namespace {

constexpr UINT kCopyBufferSize = 10240;

}  // namespace

// Normalises the output path, then, when a template is set, moves an existing
// output file aside to the first free numbered backup and copies the
// template in its place. A backup is a copy followed by a removal, never a
// rename; the copy is complete and on stable storage before the original is
// removed, and nothing is undone when a later step fails.
BOOL CRunCmd::ProvisionDatabase(CFileSystem& fs) {
    if (!m_strOutputFile.IsEmpty()) {
        const CString dir = fs.DirOfPath(m_strOutputFile, TRUE);
        const CString name = fs.NameOfPath(m_strOutputFile);
        const CString dot = CString(".") + kPathSeparator;
        const CString dotDot = CString("..") + kPathSeparator;
        if (dir.IsEmpty()) {
            CString current = fs.CurrentDirOnDrive("");
            if (!current.IsEmpty()) {
                if (current[current.GetLength() - 1] != kPathSeparator) {
                    current += kPathSeparator;
                }
                m_strOutputFile = current + name;
            }
        } else if (dir.Left(2) == dot || dir.Find(dotDot) >= 0) {
            m_strOutputFile = fs.ExpandPath(dir) + name;
        }
    }

    if (m_strEmptyDb.IsEmpty()) {
        return TRUE;
    }
    if (m_strOutputFile.IsEmpty()) {
        AfxWriteErrLine("No database file specified for template file '" + m_strEmptyDb + "'");
        return FALSE;
    }

    if (fs.PathExists(m_strOutputFile)) {
        const CString dir = fs.DirOfPath(m_strOutputFile, TRUE);
        const CString stem = fs.StemOfPath(m_strOutputFile);
        const CString ext = fs.ExtOfPath(m_strOutputFile);
        CString backup;
        for (long n = 1;; ++n) {
            backup.Format("%s%s%ld.%s", dir.GetString(), stem.GetString(), n, ext.GetString());
            if (!fs.PathExists(backup)) {
                break;
            }
        }
        if (!fs.CopyWithBuffer(m_strOutputFile, backup, kCopyBufferSize)) {
            AfxWriteErrLine("Unable to backup existing database file '" + m_strOutputFile + "'");
            return FALSE;
        }
        if (!fs.RemoveFile(m_strOutputFile)) {
            AfxWriteErrLine("Unable to backup existing database file '" + m_strOutputFile + "'");
            AfxWriteErrLine("make sure it is not in use by another application.");
            return FALSE;
        }
    }

    if (fs.CopyWithBuffer(m_strEmptyDb, m_strOutputFile, kCopyBufferSize)) {
        return TRUE;
    }
    AfxWriteErrLine("Unable to create new database file '" + m_strOutputFile + "'");
    AfxWriteErrLine("from empty file '" + m_strEmptyDb + "'");
    return FALSE;
}
