#!/usr/bin/env bash
# Installs the Debian packages VORLA needs to build, test and run.
#   scripts/install-deps.sh            what building and running need
#   scripts/install-deps.sh --test     also what the tests need
#   scripts/install-deps.sh --windows  only what cross-building for Windows
#                                      (64-bit and 32-bit) and testing under
#                                      Wine need; adds the i386 architecture
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
  # and reach them through their ODBC drivers; isql (unixodbc) and pyodbc
  # connect to the data sources that VORLA publishes. The package stage
  # builds the Debian package (dpkg-dev for the build flags and
  # dpkg-shlibdeps, file for CPack to find the programs) and checks it with
  # lintian.
  packages+=(googletest libgtest-dev libbenchmark-dev clang-format time
    postgresql postgresql-client odbc-postgresql mariadb-server odbc-mariadb
    python3-pyodbc dpkg-dev file lintian)
elif [[ "${1:-}" == "--windows" ]]; then
  # The -posix compilers have std::thread; GoogleTest is built from
  # googletest's sources; Wine's odbc32 hands ODBC calls to the host's
  # unixODBC (libodbc2), which finds the SQLite ODBC driver. A 32-bit program
  # runs in 32-bit Wine (wine32), whose odbc32 loads the i386 unixODBC and
  # driver. The driver reads a data source's entries through libodbcinst:
  # without the i386 one it silently opens an empty database instead of the
  # named file. sqlite3 reads back what the runs wrote.
  packages=(
    cmake ninja-build googletest sqlite3
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 libodbc2 libsqliteodbc
    wine32:i386 libodbc2:i386 libodbcinst2:i386 libsqliteodbc:i386
  )
  foreign_arch=i386
fi

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  as_root=(false)
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt run (an unattended upgrade, a second test run) holds the
# package lock for a while: wait for it instead of failing at once.
updated=0

# Installs those of the given packages that are missing.
install_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [[ ${#missing[@]} -eq 0 ]]; then
    return
  fi
  echo "Installing Debian packages: ${missing[*]}"
  if [[ "${as_root[0]:-}" == false ]]; then
    echo "These Debian packages are missing and this user cannot install them:" >&2
    echo "  ${missing[*]}" >&2
    echo "Ask an administrator to run: apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  if [[ -n "${foreign_arch:-}" ]] && ! dpkg --print-foreign-architectures | grep -qx "$foreign_arch"; then
    "${as_root[@]}" dpkg --add-architecture "$foreign_arch"
    updated=0
  fi
  if [[ $updated -eq 0 ]]; then
    "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update
    updated=1
  fi
  "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
}

# Some kernels cannot run 32-bit x86 programs (no IA-32 emulation, as on some
# virtual machines), and 32-bit Wine is one. There the kernel is told to
# run them under qemu's user-mode emulation: slower, but the same program.
# The registration lasts until the machine restarts.
run_32bit_programs() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    return
  fi
  echo "This kernel does not run 32-bit programs: 32-bit Wine will run under qemu."
  install_packages qemu-user
  local binfmt=/proc/sys/fs/binfmt_misc
  if [[ ! -e $binfmt/register ]]; then
    "${as_root[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [[ ! -e $binfmt/qemu-i386 ]]; then
    # ELF, 32-bit, little-endian, executable or shared object, Intel 386;
    # 'F' keeps the interpreter open, so that it serves in chroots as well.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" |
      "${as_root[@]}" tee "$binfmt/register" >/dev/null
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "32-bit Wine cannot run on this machine, not even under qemu." >&2
    exit 1
  fi
}

install_packages "${packages[@]}"
if [[ -n "${foreign_arch:-}" ]]; then
  run_32bit_programs
fi
echo "All required Debian packages are installed."
