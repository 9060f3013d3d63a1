// The banner line every run of vorla prints first.
#pragma once

#include <string>

namespace vorla::test {

inline const std::string kBanner =
    "VORLA - prepares a desktop database and runs a SQL script against it through ODBC";

}  // namespace vorla::test
