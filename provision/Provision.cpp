#include "app/RunCmd.h"
#include "framework/Console.h"
#include "platform/DatabaseFiles.h"
#include "platform/PathSeparator.h"
#include "support/FileSystem.h"

namespace {

constexpr UINT kCopyBufferSize = 10240;

// The first companion file of the database that exists (see DatabaseFiles.h),
// or the empty text. A database with companions was not closed cleanly or is
// in use: the file alone is not the whole database, and a new file of that
// name would be read together with the old companions.
CString ExistingCompanion(const CFileSystem& fs, const CString& database) {
    for (const char* suffix : kDatabaseCompanionSuffixes) {
        const CString companion = database + suffix;
        if (fs.PathExists(companion)) {
            return companion;
        }
    }
    return CString();
}

CString LinkOfAnotherUser(const CString& path) {
    return "'" + path + "' is a link that another user owns: it is not followed.";
}

// The reason a copy failed, as the system gave it, when nothing more
// particular was said: which file, and why.
void ReportCopyProblem(const CFileSystem& fs, const CString& source, const CString& target,
                       const char* targetKind) {
    if (fs.LastCopyProblem().IsEmpty()) {
        return;
    }
    if (fs.LastCopyProblemAtTarget()) {
        AfxWriteErrLine(CString(targetKind) + " '" + target +
                        "' cannot be made: " + fs.LastCopyProblem() + ".");
    } else {
        AfxWriteErrLine("'" + source + "' cannot be read: " + fs.LastCopyProblem() + ".");
    }
}

void ReportTemplateCopyFailure(const CString& output, const CString& emptyDb,
                               CFileSystem::InUse inUse = CFileSystem::InUse::None,
                               const CFileSystem* fs = nullptr) {
    AfxWriteErrLine("Unable to create new database file '" + output + "'");
    AfxWriteErrLine("from empty file '" + emptyDb + "'");
    if (inUse == CFileSystem::InUse::None && fs != nullptr) {
        ReportCopyProblem(*fs, emptyDb, output, "The new file");
    } else if (inUse == CFileSystem::InUse::Source) {
        AfxWriteErrLine("'" + emptyDb + "' is in use by another process that writes it.");
    } else if (inUse == CFileSystem::InUse::SourceLinkOfAnotherUser) {
        AfxWriteErrLine(LinkOfAnotherUser(emptyDb));
    } else if (inUse == CFileSystem::InUse::Target) {
        AfxWriteErrLine("'" + output + "' is in use by another process.");
    }
}

}  // namespace

// Normalises the output path, then, when a template is set, moves an existing
// output file aside to the first free numbered backup and copies the
// template in its place. A backup is a copy followed by a removal, never a
// rename; the copy is complete and on stable storage before the original is
// removed, and nothing is undone when a later step fails.
//
// Every check that can refuse the run comes before the first change: an
// output path that cannot be made whole, a template that is not a file on
// disk, an output that is not closed cleanly or is in use. The user's
// database is then either where it was or, whole, in the numbered backup.
BOOL CRunCmd::ProvisionDatabase(CFileSystem& fs) {
    if (!m_strOutputFile.IsEmpty()) {
        const CString given = m_strOutputFile;
        const CString dir = fs.DirOfPath(m_strOutputFile, TRUE);
        const CString name = fs.NameOfPath(m_strOutputFile);
        const CString dot = CString(".") + kPathSeparator;
        const CString dotDot = CString("..") + kPathSeparator;
        // A directory that cannot be made whole must not silently become the
        // current one: the run would replace an unrelated file there.
        CString whole;
        bool expand = false;
        if (dir.IsEmpty()) {
            expand = true;
            whole = fs.CurrentDirOnDrive("");
            if (!whole.IsEmpty() && whole[whole.GetLength() - 1] != kPathSeparator) {
                whole += kPathSeparator;
            }
        } else if (dir.Left(2) == dot || dir.Find(dotDot) >= 0) {
            expand = true;
            whole = fs.ExpandPath(dir);
        }
        if (expand) {
            if (whole.IsEmpty()) {
                AfxWriteErrLine("Unable to get the full path of database file '" + given + "'");
                return FALSE;
            }
            m_strOutputFile = whole + name;
        }
    }

    if (m_strEmptyDb.IsEmpty()) {
        // An output that is there is the run's from now on; one that is not
        // is made by the driver, or is not a file of this run at all.
        if (!m_strOutputFile.IsEmpty() && fs.IsDiskFile(m_strOutputFile)) {
            m_fileOutput.Open(m_strOutputFile, CFile::modeReadWrite | CFile::shareDenyNone);
        }
        return TRUE;
    }
    if (m_strOutputFile.IsEmpty()) {
        AfxWriteErrLine("No database file specified for template file '" + m_strEmptyDb + "'");
        return FALSE;
    }
    // A template that cannot be copied would otherwise be found out only
    // after the old database had been moved aside.
    if (!fs.IsDiskFile(m_strEmptyDb)) {
        ReportTemplateCopyFailure(m_strOutputFile, m_strEmptyDb);
        return FALSE;
    }

    const CString companion = ExistingCompanion(fs, m_strOutputFile);
    if (fs.PathExists(m_strOutputFile)) {
        if (!companion.IsEmpty()) {
            AfxWriteErrLine("Unable to backup existing database file '" + m_strOutputFile + "'");
            AfxWriteErrLine("it is in use or was not closed cleanly: '" + companion + "' exists.");
            return FALSE;
        }
        const CString dir = fs.DirOfPath(m_strOutputFile, TRUE);
        const CString stem = fs.StemOfPath(m_strOutputFile);
        const CString ext = fs.ExtOfPath(m_strOutputFile);
        // A backup name whose companions are left over from an earlier
        // database is not free: the backup would be read together with them.
        CString backup;
        for (long n = 1;; ++n) {
            backup.Format("%s%s%ld.%s", dir.GetString(), stem.GetString(), n, ext.GetString());
            if (!fs.PathExists(backup) && ExistingCompanion(fs, backup).IsEmpty()) {
                break;
            }
        }
        CFileSystem::InUse inUse = CFileSystem::InUse::None;
        if (!fs.CopyWithBuffer(m_strOutputFile, backup, kCopyBufferSize, nullptr, &inUse)) {
            AfxWriteErrLine("Unable to backup existing database file '" + m_strOutputFile + "'");
            if (inUse == CFileSystem::InUse::Source) {
                AfxWriteErrLine("'" + m_strOutputFile + "' is in use by another process.");
            } else if (inUse == CFileSystem::InUse::SourceLinkOfAnotherUser) {
                AfxWriteErrLine(LinkOfAnotherUser(m_strOutputFile));
            } else {
                ReportCopyProblem(fs, m_strOutputFile, backup, "The backup");
            }
            return FALSE;
        }
        if (!fs.RemoveFile(m_strOutputFile)) {
            AfxWriteErrLine("Unable to backup existing database file '" + m_strOutputFile + "'");
            AfxWriteErrLine("make sure it is not in use by another application.");
            return FALSE;
        }
    } else if (!companion.IsEmpty()) {
        // Left over from a database of that name that is gone: the new file
        // would be read together with it.
        ReportTemplateCopyFailure(m_strOutputFile, m_strEmptyDb);
        AfxWriteErrLine("'" + companion + "' is left over from an earlier database of that name.");
        return FALSE;
    }

    // The new file is held from its creation on: a run beside this one can
    // never back up or replace it before this run's connection is closed.
    CFileSystem::InUse inUse = CFileSystem::InUse::None;
    // Any number of runs may copy one template at once; only a process that
    // writes it keeps them out.
    if (fs.CopyWithBuffer(m_strEmptyDb, m_strOutputFile, kCopyBufferSize, &m_fileOutput, &inUse,
                          CFileSystem::Readers::Allowed)) {
        return TRUE;
    }
    ReportTemplateCopyFailure(m_strOutputFile, m_strEmptyDb, inUse, &fs);
    return FALSE;
}
