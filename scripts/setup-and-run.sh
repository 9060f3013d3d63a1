#!/usr/bin/env bash
# Sets VORLA up on this machine and runs it on the embedded default database:
# installs the Debian packages it needs, builds it, sets up a prefix for the
# build tree, and runs the demo script against a new database file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLA_BUILD_TESTS=OFF -DVORLA_BUILD_BENCH=OFF
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

# The build tree's own prefix: its registry store and system directory.
export VORLA_PREFIX="$PWD/build/prefix"
export PATH="$PWD/build/bin:$PATH"
vorla-setup

echo
echo "== vorla -m2 -o demo.mdb -cx -i examples/demo.sql -b GO"
vorla -m2 -o demo.mdb -cx -i examples/demo.sql -b GO

echo
echo "== The rows in demo.mdb"
sqlite3 -header -column demo.mdb \
  "SELECT o.id, c.name AS customer, c.city, p.title AS product, o.quantity
     FROM orders o JOIN customer c ON c.id = o.customer_id JOIN product p ON p.id = o.product_id
    ORDER BY o.id"

echo
echo "== The user's ODBC data sources: the temporary one is gone"
vorla-reg query "HKCU\\SOFTWARE\\ODBC\\ODBC.INI" /s
if vorla-reg query "HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources" /v VORLA1 2>/dev/null; then
  echo "VORLA1 is still registered" >&2
  exit 1
fi
echo "VORLA1 is not registered any more."
