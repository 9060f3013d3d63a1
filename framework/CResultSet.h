// What a statement returned: the names of its columns and its rows, each
// value as the driver's text, absent for NULL.
#pragma once

#include <optional>
#include <vector>

#include "framework/CString.h"

struct CResultSet {
    std::vector<CString> columns;
    std::vector<std::vector<std::optional<CString>>> rows;
};
