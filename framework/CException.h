// The framework's exceptions. As in the framework the program was written
// against, they are thrown as pointers to heap objects and the catcher
// releases them with Delete().
#pragma once

#include "framework/CObject.h"
#include "framework/CString.h"

class CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    // Releases the exception object, unless it is a preallocated one.
    void Delete() {
        if (m_bAutoDelete) {
            delete this;
        }
    }
    // A text describing the error.
    virtual CString GetErrorText() const { return CString(); }
    // Shows the error text in a message box (OK button, no help id).
    int ReportError(UINT type = MB_OK, UINT helpId = 0) const;

protected:
    explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}

private:
    bool m_bAutoDelete;
};

class CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    // Out of memory there may be no memory for a new exception object, so the
    // one that is thrown is preallocated and survives Delete().
    explicit CMemoryException(bool autoDelete = true) : CException(autoDelete) {}
    CString GetErrorText() const override { return "Out of memory."; }
};

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1,
                            const CString& fileName = CString())
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

    static int OsErrorToException(LONG osError);
    CString GetErrorText() const override;

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CArchiveException : public CException {
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum Cause {
        none,
        genericException,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    explicit CArchiveException(int cause = none, const CString& fileName = CString())
        : m_cause(cause), m_strFileName(fileName) {}
    CString GetErrorText() const override;

    int m_cause;
    CString m_strFileName;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1,
                                        const CString& fileName = CString());
[[noreturn]] void AfxThrowArchiveException(int cause, const CString& fileName = CString());
