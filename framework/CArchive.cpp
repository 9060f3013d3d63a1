#include "framework/CArchive.h"

#include <algorithm>
#include <cstring>
#include <new>

CArchive::CArchive(CFile* file, UINT mode, int bufferSize) : m_pFile(file), m_nMode(mode) {
    try {
        m_buffer.resize(static_cast<size_t>(std::max(bufferSize, 1)));
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

bool CArchive::FillBuffer() {
    if (m_bEof) {
        return false;
    }
    m_nPos = 0;
    m_nEnd = m_pFile->Read(m_buffer.data(), static_cast<UINT>(m_buffer.size()));
    if (m_nEnd == 0) {
        m_bEof = true;
        return false;
    }
    return true;
}

BOOL CArchive::ReadString(CString& line) {
    if (!IsLoading() || m_pFile == nullptr) {
        AfxThrowArchiveException(CArchiveException::writeOnly,
                                 m_pFile != nullptr ? m_pFile->GetFilePath() : CString());
    }
    line.Empty();
    bool readAny = false;
    for (;;) {
        if (m_nPos == m_nEnd && !FillBuffer()) {
            return readAny ? TRUE : FALSE;
        }
        if (m_bSkipLineFeed) {
            m_bSkipLineFeed = false;
            const bool lineFeed = m_buffer[m_nPos] == '\n';
            if (m_lineEndOpen) {
                m_lineEnd = lineFeed ? "\r\n" : "\r";
                m_lineEndOpen = false;
            }
            if (lineFeed) {
                ++m_nPos;
                continue;
            }
        }
        const char* begin = m_buffer.data() + m_nPos;
        const char* end = m_buffer.data() + m_nEnd;
        // The line ends at the first LF or CR, each found by the library's
        // fast search.
        const char* stop = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
        stop = stop == nullptr ? end : stop;
        const char* carriageReturn =
            static_cast<const char*>(std::memchr(begin, '\r', stop - begin));
        stop = carriageReturn == nullptr ? stop : carriageReturn;
        line.Append(begin, static_cast<int>(stop - begin));
        readAny = true;
        if (stop == end) {
            m_nPos = m_nEnd;
            continue;  // the line goes on in the next buffer
        }
        m_nPos = static_cast<size_t>(stop - m_buffer.data()) + 1;
        // A CR at the end of the buffer may still be followed by an LF.
        m_bSkipLineFeed = *stop == '\r';
        if (m_lineEndOpen && !m_bSkipLineFeed) {
            m_lineEnd = "\n";
            m_lineEndOpen = false;
        }
        return TRUE;
    }
}

void CArchive::Close() {
    m_pFile = nullptr;
    m_nPos = m_nEnd = 0;
}
