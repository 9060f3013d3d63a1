#include "framework/CDBException.h"

#include <new>
#include <vector>

IMPLEMENT_DYNAMIC(CDBException, CException)

namespace {

// A diagnostic message's length is a SQLSMALLINT.
constexpr size_t kMaxMessage = 32767;

// "[vendor][component]" at the start of a message names where it came from.
CString OriginOf(const CString& message) {
    int end = 0;
    while (end < message.GetLength() && message[end] == '[') {
        const int close = message.Find(']', end);
        if (close < 0) {
            break;
        }
        end = close + 1;
    }
    return message.Left(end);
}

CString RetCodeText(RETCODE retCode) {
    switch (retCode) {
        case SQL_INVALID_HANDLE:
            return "Invalid ODBC handle.";
        case SQL_NEED_DATA:
            return "The statement needs data that is not given.";
        case SQL_STILL_EXECUTING:
            return "The statement is still executing.";
        default: {
            CString text;
            text.Format("ODBC call failed with result %d.", static_cast<int>(retCode));
            return text;
        }
    }
}

}  // namespace

void CDBException::BuildErrorString(SQLSMALLINT handleType, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) {
        return;
    }
    std::vector<SQLCHAR> message(1024);
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {0};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message did not fit: ask again with room for all of it.
            try {
                message.resize(static_cast<size_t>(length) < kMaxMessage
                                   ? static_cast<size_t>(length) + 1
                                   : kMaxMessage);
            } catch (const std::bad_alloc&) {
                AfxThrowMemoryException();
            }
            rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            break;
        }
        if (length < 0) {
            length = 0;
        }
        const SQLSMALLINT capacity = static_cast<SQLSMALLINT>(message.size() - 1);
        const CString text(reinterpret_cast<const char*>(message.data()),
                           length < capacity ? length : capacity);
        if (record > 1) {
            m_strError += '\n';
            m_strStateNativeOrigin += '\n';
        }
        m_strError += text;
        CString detail;
        detail.Format("State:%s,Native:%ld,Origin:", reinterpret_cast<const char*>(state),
                      static_cast<long>(native));
        m_strStateNativeOrigin += detail + OriginOf(text);
    }
}

CDBException* AfxNewDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle) {
    auto* e = new (std::nothrow) CDBException(retCode);
    if (e == nullptr) {
        AfxThrowMemoryException();
    }
    try {
        e->BuildErrorString(handleType, handle);
        if (e->m_strError.IsEmpty()) {
            e->m_strError = RetCodeText(retCode);
        }
    } catch (...) {
        e->Delete();
        throw;
    }
    return e;
}

void AfxThrowDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle) {
    throw AfxNewDBException(retCode, handleType, handle);
}

void AfxThrowDBException(RETCODE retCode, const CString& text) {
    auto* e = new (std::nothrow) CDBException(retCode);
    if (e == nullptr) {
        AfxThrowMemoryException();
    }
    try {
        e->m_strError = text;
    } catch (...) {
        e->Delete();
        throw;
    }
    throw e;
}
