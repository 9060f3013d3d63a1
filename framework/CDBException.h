// The framework's database exception: a failed ODBC call, described by every
// diagnostic record that the driver manager and the driver left on the handle.
#pragma once

#include "framework/CException.h"
#include "platform/Odbc.h"

class CDBException : public CException {
    DECLARE_DYNAMIC(CDBException)
public:
    explicit CDBException(RETCODE retCode = SQL_SUCCESS) : m_nRetCode(retCode) {}

    CString GetErrorText() const override { return m_strError; }

    // Collects the diagnostic records of `handle`, in order: the message texts
    // into m_strError and "State:...,Native:...,Origin:..." into
    // m_strStateNativeOrigin, one record per line.
    void BuildErrorString(SQLSMALLINT handleType, SQLHANDLE handle);

    // The result of the failing call.
    RETCODE m_nRetCode;
    // The message of each diagnostic record exactly as delivered, the records
    // separated by a line feed (no line end after the last one).
    CString m_strError;
    // State, native error and origin (the bracketed vendor and component
    // prefix of the message) of each record, one record per line.
    CString m_strStateNativeOrigin;
};

// A new CDBException built from the diagnostics of `handle`, for callers that
// must release the handle before they throw. The text names the result code
// when the call left no diagnostic record.
CDBException* AfxNewDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle);
// Throws a CDBException built from the diagnostics of `handle`. When the call
// left no diagnostic record, the text names the result code instead, so that
// a failure is never reported with an empty text.
[[noreturn]] void AfxThrowDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle);
// Throws a CDBException with a text of the framework's own, for failures that
// are detected before any ODBC call is made.
[[noreturn]] void AfxThrowDBException(RETCODE retCode, const CString& text);
