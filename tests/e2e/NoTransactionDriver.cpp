// An ODBC driver for the driver manager (unixODBC) that connects and runs
// nothing, and whose transactions fail the two ways a real driver's can: it
// refuses to leave autocommit (login "refuse"), or it reports that it has no
// transactions (login "none"). No driver installed on a test machine does
// either, so the program's answer to them is tested against this one.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

struct Handle {
    SQLSMALLINT type;
    std::string login;
    std::string diagnostic;  // the one record a failed call leaves, or empty
};

Handle* Of(SQLHANDLE handle) {
    return static_cast<Handle*>(handle);
}

// Copies `text` into an output buffer of `size` bytes, cut to fit.
void CopyOut(const std::string& text, SQLCHAR* out, SQLLEN size, SQLSMALLINT* length) {
    if (length != nullptr) {
        *length = static_cast<SQLSMALLINT>(text.size());
    }
    if (out != nullptr && size > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
}

// The value of UID in a connection text, or empty.
std::string Login(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(';', pos), text.size());
        const std::string attribute = text.substr(pos, end - pos);
        if (attribute.compare(0, 4, "UID=") == 0) {
            return attribute.substr(4);
        }
        pos = end + 1;
    }
    return std::string();
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE, SQLHANDLE* out) {
    *out = new (std::nothrow) Handle{type, std::string(), std::string()};
    return *out != nullptr ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT, SQLHANDLE handle) {
    delete Of(handle);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outSize, SQLSMALLINT* outLength,
                                   SQLUSMALLINT) {
    const std::string text = inLength == SQL_NTS ? std::string(reinterpret_cast<const char*>(in))
                                                 : std::string(reinterpret_cast<const char*>(in),
                                                               static_cast<size_t>(inLength));
    Of(dbc)->login = Login(text);
    CopyOut(text, out, outSize, outLength);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER) {
    if (attribute == SQL_ATTR_AUTOCOMMIT &&
        reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_OFF && Of(dbc)->login == "refuse") {
        Of(dbc)->diagnostic = "[NoTransaction]Autocommit cannot be switched off";
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT size,
                             SQLSMALLINT* length) {
    if (type == SQL_TXN_CAPABLE) {
        *static_cast<SQLUSMALLINT*>(value) = Of(dbc)->login == "none" ? SQL_TC_NONE : SQL_TC_ALL;
        return SQL_SUCCESS;
    }
    // Every other answer is a text: the version the driver manager asks for,
    // empty for the rest.
    CopyOut(type == SQL_DRIVER_ODBC_VER ? "03.00" : "", static_cast<SQLCHAR*>(value), size, length);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT size,
                                SQLSMALLINT* length) {
    const std::string& text = Of(handle)->diagnostic;
    if (record != 1 || text.empty()) {
        return SQL_NO_DATA;
    }
    CopyOut("HYC00", state, 6, nullptr);
    if (native != nullptr) {
        *native = 0;
    }
    CopyOut(text, message, size, length);
    return SQL_SUCCESS;
}

// The driver manager counts the records first.
SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT, SQLSMALLINT*) {
    if (record != 0 || field != SQL_DIAG_NUMBER) {
        return SQL_NO_DATA;
    }
    *static_cast<SQLINTEGER*>(value) = Of(handle)->diagnostic.empty() ? 0 : 1;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT, SQLCHAR*, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT) {
    return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT, SQLUSMALLINT) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT) {
    return SQL_SUCCESS;
}

// Present so that the driver manager needs no cursor library for it.
SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT, SQLSMALLINT, SQLLEN) {
    return SQL_NO_DATA;
}

}  // extern "C"
