#include "framework/StringTable.h"
#include "res/Resource.h"

namespace {

const AfxStringEntry kStrings[] = {
    {IDS_BANNER,
     "VORLA - prepares a desktop database and runs a SQL script against it through ODBC"},
    {101, "-m|-m2   (create for  Access 97)  OR  (-m2 for Access 2000)"},
    {102, "-e    [PATH\\]empty_db.file (instead of -m|-m2 to specify empty mdb file)"},
    {103, "-o    [PATH\\]output_file.mdb"},
    {104, "-d    DSN (Data Source Name)"},
    {105, "-c    \"Description Text\" (Create ODBC DSN)"},
    {106, "-u|-s (Create DSN as USER (default) or SYSTEM registry entry)"},
    {107, "-x    (Delete ODBC DSN after creating database)"},
    {108, "-U    login_id"},
    {109, "-P    password"},
    {110, "-i    [PATH\\]script_file.sql"},
    {111, "-b    batch_separator"},
    {112, "-a    (script is standard SQL: '...' is text, ; ends a statement)"},
    {113, "-t    (run the whole script in one transaction: all of it or none)"},
    {114, "-i -  (read the script from standard input)"},
    {115, "-v    NAME=VALUE (the script's $(NAME) stands for VALUE; repeat for more)"},
    {116, "-q    (quiet: no \"Executing:\" lines; a progress line on a terminal)"},
    {117, "-r    [csv] (print what each statement returns: a table, or CSV)"},
    {IDS_TEMPLATE_ACCESS97, "empty.mdb"},
    {IDS_TEMPLATE_ACCESS2000, "empty2k.mdb"},
};

}  // namespace

void RegisterStringTable() {
    AfxSetStringTable(kStrings, sizeof(kStrings) / sizeof(kStrings[0]));
}
