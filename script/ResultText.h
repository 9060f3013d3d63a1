// What a statement returned, as text for standard output.
#pragma once

#include "framework/CResultSet.h"
#include "framework/CString.h"

// An aligned table: the column names, a rule, a line per row and the count,
// "(3 rows)"; NULL stands as NULL, a value over 60 characters is cut (its
// end shown as "..."), and line breaks and tabs inside a value become
// blanks. Ends with an empty line.
CString ResultTable(const CResultSet& set);

// CSV (RFC 4180): a header row, then a line per row, fields separated by
// commas, and a field that holds a comma, a quote or a line break in quotes
// (quotes doubled). An empty text is "" and NULL
// stays empty, so that the two differ. Lines end with a line feed.
CString ResultCsv(const CResultSet& set);
