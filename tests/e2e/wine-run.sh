#!/usr/bin/env bash
# Whole runs of the Windows vorla.exe under Wine, each in a fresh directory,
# checking both streams exactly (Windows line ends), also merged in the order
# of writing, the exit status, the files, the rows in the database files and
# Wine's registry afterwards.
#
#   tests/e2e/wine-run.sh BUILD_DIR DRIVER_LIBRARY WINE_COMMAND
#
# BUILD_DIR holds bin/vorla.exe; WINEPREFIX names a booted prefix of the
# same bitness whose wineserver is running. Wine's odbc32 hands every
# connection to the host's unixODBC, which knows only odbc.ini, not the
# registry, so each run gets an ODBCINI file whose section for the data
# source names the host's SQLite ODBC driver (DRIVER_LIBRARY, of the
# program's bitness) and the host path of the database file. The rows are
# read back with the host's sqlite3 command, never through that driver: a
# driver that cannot read its Database entry opens an empty database, and
# the run would "succeed" with the data gone.
#
# Prints one line per case and closes with "e2e: N passed, N failed"; exits
# non-zero when a case failed or none ran. A failed case's directory stays
# in BUILD_DIR/wine-e2e/.
set -uo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 BUILD_DIR DRIVER_LIBRARY WINE_COMMAND" >&2
  exit 2
fi
build=$(cd "$1" && pwd -P)
driver=$2
wine=$3
vorla="$build/bin/vorla.exe"
here=$(cd "$(dirname "$0")" && pwd -P)
: "${WINEPREFIX:?WINEPREFIX must name a booted Wine prefix}"

for needed in "$vorla" "$driver"; do
  if [[ ! -f "$needed" ]]; then
    echo "FAIL e2e: $needed does not exist" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 1
  fi
done

banner=$(sed -n 's/^ *"\(VORLA.*\)";$/\1/p' "$here/Banner.h")
list_key='Software\ODBC\ODBC.INI\ODBC Data Sources'
system_dir="$WINEPREFIX/drive_c/windows/system32"
install_dir="$WINEPREFIX/drive_c/Program Files/VORLA"
work="$build/wine-e2e"
rm -rf "$work"
mkdir -p "$work"

# The installation every run finds: the templates in a Template folder
# beside the file that the .dds type's icon names (empty databases of the
# stand-in engine, made as the build makes them), and the desktop-database
# driver's file in the system directory, which vorla only checks for.
mkdir -p "$install_dir/Template"
rm -f "$install_dir/Template/empty.mdb" "$install_dir/Template/empty2k.mdb"
sqlite3 "$install_dir/Template/empty.mdb" "PRAGMA page_size=1024; PRAGMA application_id=1448037964; VACUUM;"
sqlite3 "$install_dir/Template/empty2k.mdb" "PRAGMA page_size=4096; PRAGMA application_id=1448037964; VACUUM;"
: >"$system_dir/odbcjt32.dll"

# The Windows name of a host path (Wine's drive Z: is the host's root).
windows_path() {
  local path=${1//\//\\}
  printf 'Z:%s' "$path"
}

# --- One case -------------------------------------------------------------

case_name=""
case_dir=""
case_failed=0
passed=0
failed=0
merged_run=0  # the run in progress writes both streams to one file

fail() {
  echo "  $case_name: $*"
  case_failed=1
}

# Shows how two files differ, with their line ends made visible.
show_difference() {
  diff <(cat -A "$1") <(cat -A "$2") | sed 's/^/    /' | head -40
}

begin_case() {
  case_name=$1
  case_failed=0
  case_dir="$work/$case_name"
  mkdir -p "$case_dir"
  expected_out=""
  expected_err=""
  expected_merged=""
}

end_case() {
  if [[ $case_failed -eq 0 ]]; then
    echo "ok   e2e $case_name"
    passed=$((passed + 1))
    rm -rf "$case_dir"
  else
    echo "FAIL e2e $case_name (files left in $case_dir)"
    failed=$((failed + 1))
  fi
}

# The lines a run is expected to write, in the order of writing; every line
# ends in CR LF, as the Windows program writes it.
out() {
  expected_out+="$1"$'\r\n'
  expected_merged+="$1"$'\r\n'
}
err() {
  expected_err+="$1"$'\r\n'
  expected_merged+="$1"$'\r\n'
}
# Text written to standard output without a line end.
out_part() {
  expected_out+="$1"
  expected_merged+="$1"
}

# Registry contents a run starts from: Wine's data sources removed, the list
# keys an ODBC installation makes, the .dds file type, and the extra REGEDIT4
# lines a case gives on its standard input.
reset_registry() {
  local file="$case_dir/registry.reg"
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[-HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI]\r\n\r\n'
    printf '[-HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI]\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\%s]\r\n\r\n' "$list_key"
    printf '[HKEY_LOCAL_MACHINE\\%s]\r\n\r\n' "$list_key"
    printf '[HKEY_CLASSES_ROOT\\.dds]\r\n@="VORLA.Template"\r\n\r\n'
    printf '[HKEY_CLASSES_ROOT\\VORLA.Template\\DefaultIcon]\r\n'
    printf '@="C:\\\\Program Files\\\\VORLA\\\\vorla.exe,0"\r\n\r\n'
    sed 's/$/\r/'
  } >"$file"
  if ! "$wine" regedit /S "$(windows_path "$file")" </dev/null; then
    fail "cannot import $file"
  fi
}

# Runs vorla.exe in DIR (below the case) with the rest of the arguments,
# the ODBCINI file of DIR, and the streams apart (merged_run=0) or merged.
# Leaves the exit status in $status.
status=0
run_vorla() {
  local dir="$case_dir/$1"
  shift
  status=0
  if [[ $merged_run -eq 0 ]]; then
    (cd "$dir" && ODBCINI="$dir/odbc.ini" "$wine" "$vorla" "$@" >stdout.txt 2>stderr.txt </dev/null) ||
      status=$?
  else
    (cd "$dir" && ODBCINI="$dir/odbc.ini" "$wine" "$vorla" "$@" >merged.txt 2>&1 </dev/null) ||
      status=$?
  fi
}

# A fresh run directory below the case, with the script file and an odbc.ini
# naming each data source given as NAME=FILE (FILE relative to the directory).
make_run_dir() {
  local dir="$case_dir/$1"
  shift
  mkdir -p "$dir"
  printf "' two batches\r\nCREATE TABLE t (id INTEGER, name TEXT)\r\nGO\r\n" >"$dir/setup.sql"
  printf 'INSERT INTO t VALUES (1, "one")\r\nGO\r\n' >>"$dir/setup.sql"
  : >"$dir/odbc.ini"
  local source
  for source in "$@"; do
    printf '[%s]\nDriver=%s\nDatabase=%s\n\n' "${source%%=*}" "$driver" "$dir/${source#*=}" \
      >>"$dir/odbc.ini"
  done
}

expect_text() {  # what, expected text, actual file
  local expected_file
  expected_file=$(mktemp "$case_dir/expected.XXXXXX")
  printf '%s' "$2" >"$expected_file"
  if ! cmp -s "$expected_file" "$3"; then
    fail "$1 differs (< expected, > actual):"
    show_difference "$expected_file" "$3"
  fi
  rm -f "$expected_file"
}

expect_status() {
  if [[ $status -ne $1 ]]; then
    fail "exit status $status, expected $1"
  fi
}

# Checks the streams of the run in DIR against the expected lines.
expect_streams() {
  local dir="$case_dir/$1"
  if [[ $merged_run -eq 0 ]]; then
    expect_text "standard output" "$expected_out" "$dir/stdout.txt"
    expect_text "standard error" "$expected_err" "$dir/stderr.txt"
  else
    expect_text "merged streams" "$expected_merged" "$dir/merged.txt"
  fi
}

# The rows a query gives on a database file, one per line, columns joined
# by '|', read by the host's sqlite3 (read-only: a missing file stays missing).
expect_rows() {  # file, query, expected rows (lines)
  local actual
  if [[ ! -f "$1" ]]; then
    fail "no database file $1"
    return
  fi
  actual=$(sqlite3 -readonly "$1" "$2" 2>&1)
  if [[ "$actual" != "$3" ]]; then
    fail "rows of '$2' in ${1##*/}: got [$actual], expected [$3]"
  fi
}

expect_file() {  # path, expected content
  if [[ ! -f "$1" ]]; then
    fail "missing file ${1#"$case_dir"/}"
  elif [[ "$(cat "$1")" != "$2" ]]; then
    fail "file ${1#"$case_dir"/} holds [$(cat "$1")], expected [$2]"
  fi
}

expect_no_file() {
  if [[ -e "$1" ]]; then
    fail "unexpected file ${1#"$case_dir"/}"
  fi
}

# The data-source keys below ROOT\Software\ODBC\ODBC.INI as Wine's reg reads
# them: one line per key ("KEY") and per value ("KEY|NAME|TYPE|DATA"), keys
# relative to ODBC.INI, sorted.
registry_values() {
  local root=$1
  local top="$root\\Software\\ODBC\\ODBC.INI"
  "$wine" reg query "$top" /s </dev/null 2>&1 | tr -d '\r' |
    TOP=$top awk '
      index($0, "HKEY_") == 1 {
        key = substr($0, length(ENVIRON["TOP"]) + 2)
        if (key != "") print key
        next
      }
      /^    / {
        line = substr($0, 5)
        n = index(line, "    "); name = substr(line, 1, n - 1); line = substr(line, n + 4)
        n = index(line, "    ")
        if (n == 0) { type = line; data = "" } else { type = substr(line, 1, n - 1); data = substr(line, n + 4) }
        print key "|" name "|" type "|" data
        next
      }
      NF > 0 { print "unexpected: " $0 }
    ' | LC_ALL=C sort
}

# Expects the keys and values below ROOT's ODBC.INI to be exactly the lines
# given on standard input (in any order).
expect_registry() {  # root
  local expected actual
  expected=$(LC_ALL=C sort)
  actual=$(registry_values "$1")
  if [[ "$actual" != "$expected" ]]; then
    fail "registry below $1\\Software\\ODBC\\ODBC.INI differs (< expected, > actual):"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/    /'
  fi
}

# The registry lines of a data source NAME created for the database file at
# Windows path DBQ with DESCRIPTION, as vorla writes them (types included),
# without the line of the list key itself.
created_source() {  # name, dbq, description
  cat <<EOF
ODBC Data Sources|$1|REG_SZ|Microsoft Access Driver (*.mdb)
$1
$1|DBQ|REG_SZ|$2
$1|Description|REG_SZ|$3
$1|Driver|REG_SZ|C:\\windows\\system32\\odbcjt32.dll
$1|DriverId|REG_DWORD|0x19
$1|FIL|REG_SZ|MS Access;
$1|SafeTransactions|REG_DWORD|0x0
$1|UID|REG_SZ|
$1\\Engines
$1\\Engines\\Jet
$1\\Engines\\Jet|ImplicitCommitSync|REG_SZ|Yes
$1\\Engines\\Jet|MaxBufferSize|REG_DWORD|0x200
$1\\Engines\\Jet|PageTimeout|REG_DWORD|0x5
$1\\Engines\\Jet|Threads|REG_DWORD|0x3
$1\\Engines\\Jet|UserCommitSync|REG_SZ|Yes
EOF
}

batches() {
  out 'Executing: CREATE TABLE t (id INTEGER, name TEXT)'
  out ''
  out 'Executing: INSERT INTO t VALUES (1, "one")'
  out ''
}

# --- The cases ------------------------------------------------------------
# Under emulated 32-bit Wine every Windows process costs seconds, so the
# cases share work where that hides nothing: a case runs from the registry
# the previous one left when that left no data source (registry_dirty=0),
# and the runs whose standard error interleaves with standard output in a
# new way run once more with the streams merged, in a fresh directory.

registry_dirty=1

# Resets the registry when an earlier case left data sources in it.
clean_registry() {
  if [[ $registry_dirty -ne 0 ]]; then
    reset_registry </dev/null
    registry_dirty=0
  fi
}

case_help() {
  begin_case help
  out "$banner"
  out '    -m|-m2   (create for  Access 97)  OR  (-m2 for Access 2000)'
  out '    -e    [PATH\]empty_db.file (instead of -m|-m2 to specify empty mdb file)'
  out '    -o    [PATH\]output_file.mdb'
  out '    -d    DSN (Data Source Name)'
  out '    -c    "Description Text" (Create ODBC DSN)'
  out '    -u|-s (Create DSN as USER (default) or SYSTEM registry entry)'
  out '    -x    (Delete ODBC DSN after creating database)'
  out '    -U    login_id'
  out '    -P    password'
  out '    -i    [PATH\]script_file.sql'
  out '    -b    batch_separator'
  out "    -a    (script is standard SQL: '...' is text, ; ends a statement)"
  out '    -t    (run the whole script in one transaction: all of it or none)'
  out '    -i -  (read the script from standard input)'
  out '    -v    NAME=VALUE (the script'"'"'s $(NAME) stands for VALUE; repeat for more)'
  out '    -q    (quiet: no "Executing:" lines; a progress line on a terminal)'
  out '    -r    [csv] (print what each statement returns: a table, or CSV)'
  clean_registry
  make_run_dir run
  # Nothing after the help is read: the missing script is never looked at.
  merged_run=0
  run_vorla run -h -m2 -o help.mdb -cx -i nosuch.sql
  expect_status 0
  expect_streams run
  # '/' begins an option group as '-' does.
  merged_run=1
  run_vorla run /h
  expect_status 0
  expect_streams run
  expect_no_file "$case_dir/run/help.mdb"
  end_case
}

case_missing_script() {
  begin_case missing-script
  out "$banner"
  err 'Using Template File: empty2k.mdb'
  err "Command file 'nosuch.sql' does not exist."
  clean_registry
  for merged_run in 0 1; do
    make_run_dir "run$merged_run" VORLA1=never.mdb
    run_vorla "run$merged_run" -m2 -o never.mdb -cx -i nosuch.sql -b GO
    expect_status 255
    expect_streams "run$merged_run"
    expect_no_file "$case_dir/run$merged_run/never.mdb"
  done
  end_case
}

case_typical_run() {
  begin_case typical-run
  out "$banner"
  err 'Using Template File: empty2k.mdb'
  out_part "Connecting to 'VORLA1'  . . ."
  out ' done!'
  batches
  out 'Closing connection.'
  clean_registry
  for merged_run in 0 1; do
    make_run_dir "run$merged_run" VORLA1=sales.mdb
    run_vorla "run$merged_run" -m2 -o sales.mdb -cx -i setup.sql /b GO
    expect_status 0
    expect_streams "run$merged_run"
    expect_rows "$case_dir/run$merged_run/sales.mdb" "SELECT id, name FROM t" "1|one"
    expect_no_file "$case_dir/run$merged_run/sales1.mdb"
  done
  # The temporary data source is gone again, and neither the help nor the
  # missing script before this case left one.
  expect_registry HKEY_CURRENT_USER <<<"ODBC Data Sources"
  end_case
}

case_machine_data_source() {
  begin_case machine-data-source
  out "$banner"
  err 'Using Template File: empty.mdb'
  out_part "Connecting to 'Machine' Machine wide . . ."
  out ' done!'
  batches
  out 'Closing connection.'
  clean_registry
  registry_dirty=1
  make_run_dir run Machine=machine.mdb
  merged_run=0
  run_vorla run -m -o machine.mdb -s -d Machine -c "Machine wide" -i setup.sql -b GO
  expect_status 0
  expect_streams run
  expect_rows "$case_dir/run/machine.mdb" "SELECT id, name FROM t" "1|one"
  # Created for the machine, not for the user, and kept: it is not temporary.
  expect_registry HKEY_LOCAL_MACHINE <<<"$(
    echo 'ODBC Data Sources'
    created_source Machine "$(windows_path "$case_dir/run/machine.mdb")" "Machine wide"
  )"
  expect_registry HKEY_CURRENT_USER <<<"ODBC Data Sources"
  end_case
}

case_backup_to_first_free_number() {
  begin_case backup
  out "$banner"
  err 'Using Template File: empty.mdb'
  out_part "Connecting to 'Sales' Sales figures . . ."
  out ' done!'
  batches
  out 'Closing connection.'
  clean_registry
  registry_dirty=1
  local dir="$case_dir/run"
  make_run_dir run Sales=sales.mdb
  printf 'old database' >"$dir/sales.mdb"
  printf 'first backup' >"$dir/sales1.mdb"
  printf 'third backup' >"$dir/sales3.mdb"
  merged_run=0
  run_vorla run -m -o sales.mdb -d Sales -c "Sales figures" -i setup.sql -b GO
  expect_status 0
  expect_streams run
  expect_file "$dir/sales2.mdb" 'old database'
  expect_file "$dir/sales1.mdb" 'first backup'
  expect_file "$dir/sales3.mdb" 'third backup'
  expect_no_file "$dir/sales4.mdb"
  expect_rows "$dir/sales.mdb" "SELECT id, name FROM t" "1|one"
  # A named data source that was created stays, with every value.
  expect_registry HKEY_CURRENT_USER <<<"$(
    echo 'ODBC Data Sources'
    created_source Sales "$(windows_path "$dir/sales.mdb")" "Sales figures"
  )"
  end_case
}

case_existing_data_source() {
  begin_case existing-data-source
  out "$banner"
  out_part "Connecting to 'Existing'  . . ."
  out ' done!'
  batches
  out 'Closing connection.'
  make_run_dir run Existing=existing.db
  # Registered beforehand, as another tool would have: -x does not remove it.
  reset_registry <<END
[HKEY_CURRENT_USER\\$list_key]
"Existing"="SQLite3"

[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Existing]
"Driver"="$driver"
END
  registry_dirty=1
  merged_run=0
  run_vorla run -d Existing -x -i setup.sql -b GO
  expect_status 0
  expect_streams run
  expect_rows "$case_dir/run/existing.db" "SELECT id, name FROM t" "1|one"
  expect_registry HKEY_CURRENT_USER <<END
ODBC Data Sources
ODBC Data Sources|Existing|REG_SZ|SQLite3
Existing
Existing|Driver|REG_SZ|$driver
END
  end_case
}

# The second batch fails. The merged run comes after the first one, whose
# temporary data source stayed, so it takes the next free name.
case_failing_second_batch() {
  begin_case failing-second-batch
  clean_registry
  registry_dirty=1
  local name dir
  for merged_run in 0 1; do
    dir="$case_dir/run$merged_run"
    name="VORLA$((merged_run + 1))"
    expected_out=""
    expected_err=""
    expected_merged=""
    out "$banner"
    err 'Using Template File: empty2k.mdb'
    out_part "Connecting to '$name'  . . ."
    out ' done!'
    out 'Executing: CREATE TABLE a (x INTEGER)'
    out ''
    out 'Executing: NOT SQL AT ALL'
    out ''
    err 'Script error: [SQLite]near "NOT": syntax error (1)'
    err 'NOT SQL AT ALL'
    err "At line 3 of 'bad.sql'."
    err "The temporary data source '$name' stays registered; the ODBC Data Source Administrator (odbcad32.exe) removes it and every other one that no run holds."
    out 'Closing connection.'
    make_run_dir "run$merged_run" "$name=bad.mdb"
    printf 'CREATE TABLE a (x INTEGER)\r\nGO\r\nNOT SQL AT ALL\r\nGO\r\nCREATE TABLE c (x INTEGER)\r\n' \
      >"$dir/bad.sql"
    run_vorla "run$merged_run" -m2 -o bad.mdb -cx -i bad.sql -b GO
    expect_status 255
    expect_streams "run$merged_run"
    # The first batch stays committed; the third is never read.
    expect_rows "$dir/bad.mdb" "SELECT name FROM sqlite_master ORDER BY name" "a"
  done
  # Both temporary data sources stay after the failed runs.
  expect_registry HKEY_CURRENT_USER <<<"$(
    echo 'ODBC Data Sources'
    created_source VORLA1 "$(windows_path "$case_dir/run0/bad.mdb")" ""
    created_source VORLA2 "$(windows_path "$case_dir/run1/bad.mdb")" ""
  )"
  end_case
}

case_help
case_missing_script
case_typical_run
case_machine_data_source
case_backup_to_first_free_number
case_existing_data_source
case_failing_second_batch

echo "e2e: $passed passed, $failed failed"
[[ $failed -eq 0 && $passed -gt 0 ]]
