// The least a store that commits every registry call can cost: the rows of
// the key churn of bench_registry_work (a key, its one value, then deleting
// both) written with SQLite directly, in the store's setting (WAL,
// synchronous=NORMAL), one prepared autocommit statement per change: insert
// the key, insert the value, delete the key (a trigger deletes its values).
// Prints "churn <microseconds per key>".
//   bench_raw_sqlite FILE [KEYS [ROUNDS]]   (default 1000 7)
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kSchema =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, class TEXT NOT NULL DEFAULT '',"
    " security BLOB NOT NULL, last_write INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);"
    "CREATE TRIGGER key_gone AFTER DELETE ON keys BEGIN DELETE FROM vals WHERE key=old.id; END;"
    "INSERT INTO keys(parent, name, fold, security, last_write) VALUES(0, '', '', x'00', 0);";

bool Step(sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_raw_sqlite FILE [KEYS [ROUNDS]]\n");
        return 2;
    }
    const int keys = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[1], &db) != SQLITE_OK ||
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bench_raw_sqlite: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_stmt* insertKey = nullptr;
    sqlite3_stmt* insertValue = nullptr;
    sqlite3_stmt* deleteKey = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO keys(parent, name, fold, security, last_write)"
                       " VALUES(1, ?1, upper(?1), x'0100008000000000000000000000000000000000', 0)",
                       -1, &insertKey, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO vals(key, name, fold, type, data)"
                       " VALUES(?1, 'value', 'VALUE', 4, x'2a000000')",
                       -1, &insertValue, nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM keys WHERE id=?1", -1, &deleteKey, nullptr);
    std::vector<double> perKey;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < keys; ++i) {
            const std::string name = "key" + std::to_string(i);
            sqlite3_bind_text(insertKey, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            if (!Step(insertKey)) {
                std::fprintf(stderr, "bench_raw_sqlite: %s\n", sqlite3_errmsg(db));
                return 1;
            }
            const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
            sqlite3_bind_int64(insertValue, 1, id);
            sqlite3_bind_int64(deleteKey, 1, id);
            if (!Step(insertValue) || !Step(deleteKey)) {
                std::fprintf(stderr, "bench_raw_sqlite: %s\n", sqlite3_errmsg(db));
                return 1;
            }
        }
        perKey.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count() /
            keys);
    }
    sqlite3_finalize(insertKey);
    sqlite3_finalize(insertValue);
    sqlite3_finalize(deleteKey);
    sqlite3_close(db);
    std::sort(perKey.begin(), perKey.end());
    std::printf("churn %.2f\n", perKey[perKey.size() / 2]);
    return 0;
}
