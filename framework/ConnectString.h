// ODBC connection strings as lists of attributes: "key=value;key={value};...".
// A value in braces may hold ';' and '=' (and "}}" for a '}'), so the text is
// cut at a ';' only outside braces.
#pragma once

#include <vector>

#include "framework/CString.h"

struct CConnectAttribute {
    // The keyword with the blanks around it removed.
    CString m_strName;
    // The value as it was written, braces included.
    CString m_strValue;
    // False for a piece of text without '=' (kept as it stands).
    bool m_bHasValue = true;

    // The value without its braces, "}}" turned back into '}'.
    CString Unquoted() const;
};

using CConnectAttributes = std::vector<CConnectAttribute>;

// Splits a connection text (without the "ODBC;" prefix) into its attributes,
// in order; empty pieces between two ';' are dropped.
CConnectAttributes AfxParseConnectString(const CString& text);
// Joins attributes as "name=value" separated by ';'.
CString AfxJoinConnectString(const CConnectAttributes& attributes);
// A value written so that a connection string can carry it: in braces when it
// holds ';', '{', '}' or blanks at either end, as it stands otherwise.
CString AfxQuoteConnectValue(const CString& value);
// The first attribute of that name, compared without regard to case, or null.
const CConnectAttribute* AfxFindConnectAttribute(const CConnectAttributes& attributes,
                                                 const char* name);
