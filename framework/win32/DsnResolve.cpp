#include "framework/DsnResolve.h"

// The Windows driver manager (odbc32) finds the data sources in the registry
// itself.
CString AfxResolveDataSource(const CString& connect) {
    return connect;
}
