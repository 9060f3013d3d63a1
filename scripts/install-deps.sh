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
#
# A package index that cannot be downloaded (a mirror in the middle of a
# sync) does not stop the script: "apt-get update" is tried a few times, the
# indexes that still failed are named on standard error, and the install
# goes on with the indexes apt has; it fails by itself where a package
# really cannot be had.
#
# Exit status: 0 when everything is installed; 3, with --windows only, when
# everything but the 32-bit (i386) packages is installed and those cannot be
# because the registry's i386 index could not be read: their versions must
# match the 64-bit ones installed, which that index alone holds. Standard
# error then says so in one block, and its last line (also written to the
# file that VORLA_DEPS_NOTE names, when it is set) gives the reason. Any
# other failure exits 1 or with apt's status.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libsqlite3-dev sqlite3
  unixodbc unixodbc-dev libsqliteodbc
)
packages32=()
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
  # unixODBC (libodbc2), which finds the SQLite ODBC driver. sqlite3 reads
  # back what the runs wrote.
  packages=(
    cmake ninja-build googletest sqlite3
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 libodbc2 libsqliteodbc
  )
  # A 32-bit program runs in 32-bit Wine (wine32), whose odbc32 loads the
  # i386 unixODBC and driver. The driver reads a data source's entries
  # through libodbcinst: without the i386 one it silently opens an empty
  # database instead of the named file.
  packages32=(wine32:i386 libodbc2:i386 libodbcinst2:i386 libsqliteodbc:i386)
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
    update_indexes
    updated=1
  fi
  # apt's errors of the install alone are kept in install_log, when set.
  local install=("${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y
    --no-install-recommends "${missing[@]}")
  if [[ -z "${install_log:-}" ]]; then
    "${install[@]}"
    return
  fi
  local status=0
  "${install[@]}" 2>"$install_log" || status=$?
  cat "$install_log" >&2
  return "$status"
}

# The indexes that the last "apt-get update" could not download, one address
# a line, as apt names them.
failed_indexes=()

# Runs "apt-get update" up to update_tries times, a pause between tries,
# until it downloads every index. Indexes that still fail are named on
# standard error; the install then goes on with what apt has.
update_tries=${VORLA_APT_UPDATE_TRIES:-3}
update_pause=${VORLA_APT_UPDATE_PAUSE:-20}
update_indexes() {
  local try=1 log status
  log=$(mktemp)
  while true; do
    status=0
    "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update 2>"$log" || status=$?
    cat "$log" >&2
    mapfile -t failed_indexes < <(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$log")
    if [[ $status -eq 0 && ${#failed_indexes[@]} -eq 0 ]]; then
      rm -f "$log"
      return
    fi
    if [[ $try -ge $update_tries ]]; then
      break
    fi
    echo "apt-get update failed (try $try of $update_tries); trying again in $update_pause s." >&2
    sleep "$update_pause"
    try=$((try + 1))
  done
  rm -f "$log"
  {
    echo "apt-get update still failed after $update_tries tries (exit status $status)."
    if [[ ${#failed_indexes[@]} -gt 0 ]]; then
      echo "These package indexes could not be downloaded:"
      printf '  %s\n' "${failed_indexes[@]}"
    fi
    echo "Going on with the package indexes apt has."
  } >&2
}

# True when an index of the foreign architecture was among those that could
# not be downloaded.
foreign_index_failed() {
  local url
  for url in "${failed_indexes[@]}"; do
    if [[ $url == */binary-"$foreign_arch"/* ]]; then
      return 0
    fi
  done
  return 1
}

# Installs the 32-bit packages. When apt cannot resolve them (not a download
# or dpkg failure: apt says so before it fetches anything) and the foreign
# architecture's index could not be read, this is the case of the exit
# status 3 above; any other failure ends the script with it.
install_packages32() {
  local log status=0
  log=$(mktemp)
  install_log=$log install_packages "${packages32[@]}" || status=$?
  if [[ $status -eq 0 ]]; then
    rm -f "$log"
    return
  fi
  if foreign_index_failed && unresolvable "$log"; then
    rm -f "$log"
    local reason="the package registry's $foreign_arch index could not be read"
    reason+=" (${failed_indexes[*]}), so ${packages32[*]} cannot be installed"
    {
      echo
      echo "=== 32-bit Windows tests NOT RUN ==="
      echo "The 64-bit packages are installed. The 32-bit ones are not: $reason."
      echo "=== end of NOT RUN ==="
      echo "32-bit Windows packages not installed: $reason"
    } >&2
    if [[ -n "${VORLA_DEPS_NOTE:-}" ]]; then
      echo "$reason" >"$VORLA_DEPS_NOTE"
    fi
    exit 3
  fi
  rm -f "$log"
  exit "$status"
}

# True when apt's errors in the given log are all of resolving packages:
# none of downloading or of dpkg.
unresolvable() {  # log
  grep -qE "^E: (Error, pkgProblemResolver::Resolve generated breaks|Unable to correct problems|Unmet dependencies|Unable to satisfy dependencies|Unable to locate package|Package '.*' has no installation candidate|Version '.*' for '.*' was not found)" "$1" &&
    ! grep -qE "^E: (Failed to fetch|Sub-process|Could not get lock|Unable to fetch)" "$1"
}

# Some kernels cannot run 32-bit x86 programs (no IA-32 emulation, as on some
# virtual machines), and 32-bit Wine is one. There the kernel is told to
# run them under qemu's user-mode emulation: slower, but the same program.
# The registration lasts until the machine restarts.
# The 32-bit Wine loader; a test of this script names a stand-in.
wine32=${VORLA_WINE32_LOADER:-/usr/lib/wine/wine}
run_32bit_programs() {
  if "$wine32" --version >/dev/null 2>&1; then
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
  if ! "$wine32" --version >/dev/null 2>&1; then
    echo "32-bit Wine cannot run on this machine, not even under qemu." >&2
    exit 1
  fi
}

install_packages "${packages[@]}"
if [[ ${#packages32[@]} -gt 0 ]]; then
  install_packages32
  run_32bit_programs
fi
echo "All required Debian packages are installed."
