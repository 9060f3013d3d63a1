// The framework's ODBC connection class.
#pragma once

#include "framework/CObject.h"
#include "framework/CString.h"
#include "platform/Odbc.h"

class CDatabase : public CObject {
    DECLARE_DYNAMIC(CDatabase)
public:
    CDatabase() = default;
    ~CDatabase() override;
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // True while the object holds a connection handle.
    BOOL IsOpen() const { return m_hdbc != SQL_NULL_HDBC; }
    // Releases the connection; nothing happens when none is open.
    virtual void Close();

    HDBC m_hdbc = SQL_NULL_HDBC;

protected:
    HENV m_henv = SQL_NULL_HENV;
};
