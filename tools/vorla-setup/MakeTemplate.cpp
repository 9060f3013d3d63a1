// vorla-mktemplate FILE PAGE_SIZE: writes an empty database of the embedded
// default engine, the stand-in for the empty desktop-database templates.
// Used by the build; the templates are never committed as binaries.

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorla-mktemplate FILE PAGE_SIZE\n");
        return 2;
    }
    std::remove(argv[1]);
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[1], &db) != SQLITE_OK) {
        std::fprintf(stderr, "vorla-mktemplate: cannot create %s\n", argv[1]);
        return 1;
    }
    // Setting the application id writes the database header, so the file is
    // a complete, empty database rather than a zero-byte file.
    const std::string sql =
        std::string("PRAGMA page_size=") + argv[2] + "; PRAGMA application_id=1448037964; VACUUM;";
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "vorla-mktemplate: %s\n", error != nullptr ? error : "failed");
    }
    sqlite3_free(error);
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : 1;
}
