#!/usr/bin/env bash
# Installs the Debian packages VORLA needs to build, test and run.
#   scripts/install-deps.sh            what building and running need
#   scripts/install-deps.sh --test     also what the tests need
#   scripts/install-deps.sh --windows  only what cross-building for Windows
#                                      and testing under Wine need
# Packages already installed are left alone, so an ordinary user on a
# prepared machine needs no root. Otherwise apt-get runs as root, through
# sudo when the caller is not root.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libsqlite3-dev sqlite3
  unixodbc unixodbc-dev libsqliteodbc
)
if [[ "${1:-}" == "--test" ]]; then
  # The end-to-end tests start PostgreSQL and MariaDB servers of their own
  # and reach them through their ODBC drivers.
  packages+=(googletest libgtest-dev libbenchmark-dev clang-format time
    postgresql postgresql-client odbc-postgresql mariadb-server odbc-mariadb)
elif [[ "${1:-}" == "--windows" ]]; then
  # The -posix compilers have std::thread; GoogleTest is built from
  # googletest's sources; Wine's odbc32 hands ODBC calls to the host's
  # unixODBC (libodbc2), which finds the SQLite ODBC driver.
  packages=(
    cmake ninja-build googletest
    g++-mingw-w64-x86-64-posix
    wine wine64 libodbc2 libsqliteodbc
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "All required Debian packages are installed."
  exit 0
fi

echo "Installing Debian packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These Debian packages are missing and this user cannot install them:" >&2
  echo "  ${missing[*]}" >&2
  echo "Ask an administrator to run: apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
