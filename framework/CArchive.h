// The framework's archive over a CFile, here in load mode: buffered reading
// of text lines.
#pragma once

#include <vector>

#include "framework/CFile.h"
#include "framework/CString.h"

class CArchive {
public:
    enum Mode : UINT { store = 0, load = 1 };

    // The file must be open and stay open while the archive is used. Only
    // loading is offered; an archive made for storing refuses to read. A
    // buffer that cannot be allocated throws CMemoryException.
    CArchive(CFile* file, UINT mode, int bufferSize = 4096);
    ~CArchive() = default;
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // Delivers the next line without its line end; FALSE, with the string
    // emptied, when the file has no more characters. A line ends at LF, at
    // CR LF, and at a CR that no LF follows (files from old Macintosh
    // editors); a last line without a line end is delivered too. Lines may be
    // of any length and keep NUL bytes. Read errors throw CFileException,
    // reading from an archive made for storing CArchiveException.
    BOOL ReadString(CString& line);

    // The line end of the file: that of its first line ("\n", "\r\n" or
    // "\r"), known once a line has been read past it; "\n" before that and
    // for a file of one line.
    const char* LineEnd() const { return m_lineEnd; }

    // Ends the use of the archive; the file stays open.
    void Close();

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    CFile* GetFile() const { return m_pFile; }

private:
    // Refills the buffer; false at the end of the file.
    bool FillBuffer();

    CFile* m_pFile;
    UINT m_nMode;
    std::vector<char> m_buffer;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    bool m_bEof = false;
    // The last line ended at a CR: an LF at the start of what follows belongs
    // to that line end.
    bool m_bSkipLineFeed = false;
    const char* m_lineEnd = "\n";
    // No line end has been met yet; a CR at the end of a buffer leaves it
    // open until the next byte is read.
    bool m_lineEndOpen = true;
};
