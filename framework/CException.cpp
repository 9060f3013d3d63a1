#include "framework/CException.h"

#include "framework/App.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)

int CException::ReportError(UINT type, UINT helpId) const {
    return AfxMessageBox(GetErrorText(), type, helpId);
}

int CFileException::OsErrorToException(LONG osError) {
    switch (osError) {
        case ERROR_SUCCESS:
            return none;
        case ERROR_FILE_NOT_FOUND:
            return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return accessDenied;
        case ERROR_INVALID_HANDLE:
            return invalidFile;
        case ERROR_SHARING_VIOLATION:
            return sharingViolation;
        case ERROR_LOCK_VIOLATION:
            return lockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return diskFull;
        case ERROR_HANDLE_EOF:
            return endOfFile;
        default:
            return genericException;
    }
}

CString CFileException::GetErrorText() const {
    static const char* const texts[] = {
        "No error occurred.",
        "An unspecified error occurred",
        "was not found.",
        "contains an incorrect path.",
        "could not be opened because there are too many open files.",
        "Access to the file was denied.",
        "An incorrect file handle was used.",
        "could not be removed because it is the current directory.",
        "could not be created because the directory is full.",
        "Seek failed on",
        "A hardware I/O error was reported while accessing",
        "A sharing violation occurred while accessing",
        "A locking violation occurred while accessing",
        "Disk full while accessing",
        "An attempt was made to access beyond the end of",
    };
    const int count = static_cast<int>(sizeof(texts) / sizeof(texts[0]));
    CString text = (m_cause >= 0 && m_cause < count) ? texts[m_cause] : texts[genericException];
    if (!m_strFileName.IsEmpty()) {
        text = m_strFileName + ": " + text;
    }
    return text;
}

CString CArchiveException::GetErrorText() const {
    switch (m_cause) {
        case endOfFile:
            return "An attempt was made to read beyond the end of the file.";
        case readOnly:
            return "An attempt was made to write to an archive opened for loading.";
        case writeOnly:
            return "An attempt was made to read from an archive opened for storing.";
        default:
            return "An unexpected archive error occurred.";
    }
}

void AfxThrowMemoryException() {
    static CMemoryException preallocated(false);
    throw &preallocated;
}

void AfxThrowFileException(int cause, LONG osError, const CString& fileName) {
    throw new CFileException(cause, osError, fileName);
}

void AfxThrowArchiveException(int cause, const CString& fileName) {
    throw new CArchiveException(cause, fileName);
}
