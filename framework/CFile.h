// The framework's file class, on the Win32 file API. Failures of Read, Write,
// Flush, Close and Remove throw CFileException; Open reports failure through
// its result and the optional exception record.
#pragma once

#include "framework/CException.h"
#include "framework/CObject.h"
#include "framework/CString.h"

struct CFileStatus {
    ULONGLONG m_size = 0;
    BYTE m_attribute = 0;
    char m_szFullName[_MAX_PATH] = {0};
};

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        // With modeCreate: create a new file and fail when one of that name
        // exists already, atomically, so that no file is ever overwritten.
        modeCreateNew = 0x100000,
    };

    CFile() = default;
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // The compatibility share mode opens exclusively: no other handle may
    // have the file open at the same time.
    virtual BOOL Open(LPCSTR fileName, UINT openFlags, CFileException* error = nullptr);
    // Reads the process's standard input, under the name `name`; Close and
    // Abort leave the standard handle open for the rest of the process.
    BOOL OpenStandardInput(LPCSTR name);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    // Puts what was written on stable storage.
    virtual void Flush();
    virtual void Close();
    // Closes without throwing; for clean-up paths.
    virtual void Abort();
    virtual ULONGLONG GetLength() const;

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const CString& GetFilePath() const { return m_strFileName; }

    // True when a file or directory of that name exists; the record is filled.
    static BOOL GetStatus(LPCSTR fileName, CFileStatus& status);
    // Why an open of `fileName` failed with the system's error `osError`,
    // worded for a person as the end of a sentence ("it does not exist");
    // empty when the error says nothing a person can act on.
    static CString DescribeOpenFailure(LPCSTR fileName, DWORD osError);
    static void Remove(LPCSTR fileName);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;

private:
    CString m_strFileName;
    bool m_ownsHandle = true;
};
