// Where in a statement a database's error message points, for the message
// that names the script line.
#pragma once

#include "framework/CString.h"

// The line of `sql` (1 for its first) that the error names: MySQL's and
// MariaDB's "at line N"; the token of "near \"X\"" (PostgreSQL, SQLite) where
// every place it stands in the text is on one line; the last line for
// "at end of input". 0 when the message does not tell.
long LineInStatement(const CString& error, const CString& sql);
