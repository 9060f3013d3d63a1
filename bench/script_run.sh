#!/bin/sh
# Runs the same 20,000 INSERT statements against a fresh SQLite file twice
# through the SQLite ODBC driver: once as a script through RunScript
# (bench_script), once through unixODBC's own isql in batch mode.
#   bench/script_run.sh BUILD_DIR [COUNT]
# The files go to mktemp's directory: TMPDIR=/dev/shm takes the disk's
# per-commit sync out of the measurement.
set -eu

build=${1:?usage: script_run.sh BUILD_DIR [COUNT]}
count=${2:-20000}
driver=
for candidate in /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so \
    /usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
    /usr/local/lib/libsqlite3odbc.so; do
    if [ -e "$candidate" ]; then driver=$candidate; break; fi
done
if [ -z "$driver" ]; then
    echo "The SQLite ODBC driver (Debian package libsqliteodbc) is not installed" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The script: one batch per INSERT, batches separated by empty lines. isql
# takes one statement per line.
awk -v n="$count" 'BEGIN {
    print "CREATE TABLE bench (id INTEGER, twice INTEGER)" > "'"$work"'/script.sql"
    print "" > "'"$work"'/script.sql"
    print "CREATE TABLE bench (id INTEGER, twice INTEGER)" > "'"$work"'/isql.sql"
    for (i = 1; i <= n; i++) {
        printf "INSERT INTO bench (id, twice) VALUES (%d, %d)\n\n", i, 2 * i > "'"$work"'/script.sql"
        printf "INSERT INTO bench (id, twice) VALUES (%d, %d)\n", i, 2 * i > "'"$work"'/isql.sql"
    }
}'

now() { date +%s.%N; }

echo "$count INSERT batches through the SQLite ODBC driver ($driver)"

start=$(now)
inside=$("$build/bench/bench_script" "$driver" "$work/runscript.db" "$work/script.sql" 2>&1 >/dev/null)
end=$(now)
echo "bench_script:             $(echo "$end - $start" | bc) s wall ($inside), rows:" \
    "$(sqlite3 "$work/runscript.db" 'SELECT count(*) FROM bench')"

start=$(now)
isql -b -k "DRIVER=$driver;Database=$work/isql.db" <"$work/isql.sql" >/dev/null
end=$(now)
echo "isql -b:                  $(echo "$end - $start" | bc) s wall, rows:" \
    "$(sqlite3 "$work/isql.db" 'SELECT count(*) FROM bench')"
