#!/usr/bin/env bash
# Measures vorla against its peers and prints one table of figures:
#   a. a script of INSERT batches: vorla vs unixODBC's isql vs the sqlite3 CLI
#   b. peak memory of vorla reading a 1 GiB script
#   c. the cost of a temporary data source (-cx) over an existing one
#   d. MakeTempDsnName with 10, 100 and 1,000 temporary names already listed
#   e. a script of INSERT batches on a local PostgreSQL server: vorla vs isql
#      vs psql
#   f. the registry store per call, beside raw SQLite writing the same rows
#      and, where Wine is installed, Windows' registry under Wine
#   g. a script of INSERT batches in one transaction (vorla -t) on SQLite in
#      memory and on the disk, and on PostgreSQL: vs isql -b and vs the
#      engine's own client in one transaction (sqlite3 BEGIN;/COMMIT;, psql -1)
#   h. a dump of 20,000 rows restored with vorla -a: a sqlite3 .dump against
#      sqlite3 < dump, and a pg_dump --inserts against psql -f
#   i. a run on an existing data source, and one that creates a persistent
#      data source, with 10, 100 and 1,000 other sections in the user's
#      odbc.ini: vorla vs isql connecting to the same data source
#   j. dumps made by the engines' own tools restored with vorla -a, with and
#      without -t, beside the engine's client: a pg_dump --inserts (psql -f,
#      psql -1 -f) and mariadb-dump's extended and --skip-extended-insert dumps
#      (mariadb, and mariadb in one transaction); and the extended dump with
#      no ';' in its texts, which the MariaDB driver parses in linear time
#
#   bench/run-bench.sh [BUILD_DIR]
#
# BUILD_DIR (e.g. build) is used as it is when it holds bin/vorla,
# bin/vorla-setup, bench/bench_temp_dsn_name and the templates; otherwise a
# Release build (without the tests) is configured and built in build-bench/
# at the top of the clone.
#
# Environment:
#   BENCH_DIR           directory for the databases and scripts (default
#                       /dev/shm when it exists, else $TMPDIR or /tmp)
#   BENCH_DISK_DIR      disk directory for the disk figures (default /var/tmp);
#                       only used when BENCH_DIR is memory-backed
#   BENCH_BATCHES       INSERT batches of figure a (default 20000)
#   BENCH_DISK_BATCHES  INSERT batches of the disk figure (default 100; 0 skips
#                       every disk figure)
#   BENCH_ROUNDS        timed runs of each tool in figure a (default 7)
#   BENCH_BIG_BYTES     size of the script of figure b (default 1073741824)
#   BENCH_DSN_COUNTS    list lengths of figure d (default "10 100 1000")
#   BENCH_PG_BATCHES    INSERT batches of figure e (default 5000; 0 skips it)
#   BENCH_PG_ROUNDS     timed runs of each tool in figure e (default 5)
#   BENCH_WINE          0 skips the Wine column of figure f (default: measured
#                       where wine and the MinGW-w64 compiler are installed)
#   BENCH_TX_BATCHES    INSERT batches of figure g on SQLite (default 20000)
#   BENCH_TX_ROUNDS     timed runs of each tool in figure g (default 5)
#   BENCH_TX_DISK_ROUNDS  timed runs of figure g on the disk (default 3)
#   BENCH_TX_PG_BATCHES INSERT batches of figure g on PostgreSQL (default
#                       20000; 0 skips it)
#   BENCH_DUMP_ROWS     rows of the dumps of figure h (default 200000)
#   BENCH_INI_COUNTS    other sections in odbc.ini for figure i (default
#                       "10 100 1000")
#   BENCH_DRIVER_ROWS   rows of the dumps of figure j (default 200000)
#   BENCH_DRIVER_ROUNDS timed runs of each tool in figure j (default 3)
#   BENCH_FIGURES       the figures to measure (default abcdefghij; e.g. c for the
#                       temporary data source alone)
set -euo pipefail
shopt -s inherit_errexit
export LC_ALL=C

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
batches=${BENCH_BATCHES:-20000}
disk_batches=${BENCH_DISK_BATCHES:-100}
rounds=${BENCH_ROUNDS:-7}
big_bytes=${BENCH_BIG_BYTES:-1073741824}
dsn_counts=${BENCH_DSN_COUNTS:-10 100 1000}
pg_batches=${BENCH_PG_BATCHES:-5000}
pg_rounds=${BENCH_PG_ROUNDS:-5}
tx_batches=${BENCH_TX_BATCHES:-20000}
tx_rounds=${BENCH_TX_ROUNDS:-5}
tx_disk_rounds=${BENCH_TX_DISK_ROUNDS:-3}
tx_pg_batches=${BENCH_TX_PG_BATCHES:-20000}
figures=${BENCH_FIGURES:-abcdefghij}
driver_rows=${BENCH_DRIVER_ROWS:-200000}
driver_rounds=${BENCH_DRIVER_ROUNDS:-3}
ini_counts=${BENCH_INI_COUNTS:-10 100 1000}
dump_rows=${BENCH_DUMP_ROWS:-200000}

note() { printf '%s\n' "$*" >&2; }
die() { note "run-bench.sh: $*"; exit 1; }

# ---------------------------------------------------------------- tools ----

# Installs missing Debian packages the way scripts/install-deps.sh does.
apt_install() {
    note "Installing Debian packages: $*"
    local as_root=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null 2>&1 || die "missing packages and no sudo: apt-get install -y $*"
        as_root=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update
    "${as_root[@]}" apt-get install -y --no-install-recommends "$@"
}

missing=()
command -v isql >/dev/null 2>&1 || missing+=(unixodbc)
command -v sqlite3 >/dev/null 2>&1 || missing+=(sqlite3)
[[ -x /usr/bin/time ]] || missing+=(time)
if ! compgen -G '/usr/lib/*/odbc/libsqlite3odbc*.so' >/dev/null &&
    ! compgen -G '/usr/lib/odbc/libsqlite3odbc*.so' >/dev/null; then
    missing+=(libsqliteodbc)
fi
if [[ $pg_batches -gt 0 || $tx_pg_batches -gt 0 ]]; then
    compgen -G '/usr/lib/postgresql/*/bin/postgres' >/dev/null || missing+=(postgresql)
    command -v psql >/dev/null 2>&1 || missing+=(postgresql-client)
    compgen -G '/usr/lib/*/odbc/psqlodbcw.so' >/dev/null || missing+=(odbc-postgresql)
fi
if [[ $figures == *j* ]]; then
    command -v pg_dump >/dev/null 2>&1 || missing+=(postgresql-client)
    compgen -G '/usr/lib/postgresql/*/bin/postgres' >/dev/null || missing+=(postgresql)
    compgen -G '/usr/lib/*/odbc/psqlodbcw.so' >/dev/null || missing+=(odbc-postgresql)
    [[ -x /usr/sbin/mariadbd ]] || missing+=(mariadb-server)
    command -v mariadb-dump >/dev/null 2>&1 || missing+=(mariadb-client)
    compgen -G '/usr/lib/*/odbc/libmaodbc.so' >/dev/null || missing+=(odbc-mariadb)
fi
if [[ ${#missing[@]} -gt 0 ]]; then
    apt_install "${missing[@]}"
fi

# ---------------------------------------------------------------- build ----

needed=(bin/vorla bin/vorla-setup bench/bench_temp_dsn_name bench/bench_registry_work
    bench/bench_raw_sqlite bench/bench_interleave share/vorla/Template/empty2k.mdb)
has_binaries() {
    local f
    for f in "${needed[@]}"; do [[ -f $1/$f ]] || return 1; done
}

build_started=$EPOCHREALTIME
built=no
if [[ -n ${1:-} ]] && has_binaries "$1"; then
    build=$(cd "$1" && pwd)
else
    [[ -n ${1:-} ]] && note "$1 does not hold ${needed[*]}; building in build-bench/"
    build=$repo/build-bench
    if [[ ! -f $build/build.ninja ]]; then
        "$repo/scripts/install-deps.sh"
        cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORLA_BUILD_TESTS=OFF
    fi
    ninja -C "$build" -j2
    built=yes
fi
build_seconds=$(awk -v a="$build_started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
vorla=$build/bin/vorla
template_src=$build/share/vorla/Template/empty2k.mdb
[[ -f $template_src ]] || die "no template in $build/share/vorla/Template (build incomplete?)"

# ----------------------------------------------------------- directories ----

fs_type() { stat -f -c %T "$1"; }
memory_backed() { case $(fs_type "$1") in tmpfs | ramfs) return 0 ;; *) return 1 ;; esac; }

if [[ -n ${BENCH_DIR:-} ]]; then
    base=$BENCH_DIR
elif [[ -d /dev/shm && -w /dev/shm ]]; then
    base=/dev/shm
else
    base=${TMPDIR:-/tmp}
fi
mkdir -p "$base"
work=$(mktemp -d "$base/vorla-bench.XXXXXX")
disk=
if memory_backed "$work" && [[ $disk_batches -gt 0 ]]; then
    disk_base=${BENCH_DISK_DIR:-/var/tmp}
    if [[ -d $disk_base && -w $disk_base ]] && ! memory_backed "$disk_base"; then
        disk=$(mktemp -d "$disk_base/vorla-bench.XXXXXX")
    else
        note "No disk directory ($disk_base is missing or memory-backed): disk figures skipped"
    fi
elif ! memory_backed "$work"; then
    note "Note: $work is on a disk ($(fs_type "$work")): every INSERT is a synced commit," \
        "figure a will be slow and noisy (BENCH_BATCHES lowers the count)."
fi
cleanup() { rm -rf "$work" ${disk:+"$disk"}; }
trap cleanup EXIT
# The runs publish their data sources to unixODBC's files: files of the
# bench's own, with the host's driver list, so the user's and the machine's
# stay untouched. Each directory's prefix gets a user file of its own
# (setup_dir and the runs there): a data source name is one per user file,
# and BenchDsn of the disk directory must not be the memory one's.
mkdir -p "$work/odbc/sys"
cp /etc/odbcinst.ini "$work/odbc/sys/odbcinst.ini" 2>/dev/null || : >"$work/odbc/sys/odbcinst.ini"
: >"$work/odbc/sys/odbc.ini"
export ODBCINI=$work/odbc/user.ini ODBCSYSINI=$work/odbc/sys

bench_started=$EPOCHREALTIME

# ------------------------------------------------------------- helpers ----

# Median of the arguments.
median() {
    printf '%s\n' "$@" | sort -g |
        awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
# $1 / $2 as a ratio, or - when $2 is zero (a CPU time below the resolution).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }
# yes / no: is $1 <= $2 ?
within() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "yes" : "NO" }'; }
row() { printf '%-44s %-36s %-9s %s\n' "$@"; }
section() { printf '%s\n' "$*"; }

# Sets up a prefix in directory $1 with a template copy, a trivial script and
# a data source BenchDsn whose database is $1/bench.mdb.
setup_dir() {
    local dir=$1
    (
        cd "$dir"
        export VORLA_PREFIX=$dir/prefix ODBCINI=$dir/user.ini
        "$build/bin/vorla-setup" >/dev/null || die "vorla-setup failed in $dir"
        cp "$template_src" template.mdb
        printf 'SELECT 1\nGO\n' >trivial.sql
        "$vorla" -d BenchDsn -c -o bench.mdb -e template.mdb -i trivial.sql -b GO >/dev/null ||
            die "cannot create the data source BenchDsn in $dir"
    )
}

# write_scripts DIR COUNT STEM QUOTE THIRD: the same INSERT statements in
# three forms in DIR: GO-separated batches for vorla (STEM_vorla.sql), one
# statement a line for isql (STEM_isql.sql), ';'-terminated for the database's
# own client (STEM_THIRD.sql); text literals stand between QUOTEs.
write_scripts() {
    awk -v dir="$1" -v n="$2" -v stem="$3" -v q="$4" -v third="$5" 'BEGIN {
        v = dir "/" stem "_vorla.sql"; i_ = dir "/" stem "_isql.sql"; t = dir "/" stem "_" third ".sql"
        create = "CREATE TABLE bench (id INTEGER, name TEXT, twice INTEGER)"
        print create "\nGO" > v
        print create > i_
        print create ";" > t
        for (i = 1; i <= n; i++) {
            s = sprintf("INSERT INTO bench (id, name, twice) VALUES (%d, %srow %d%s, %d)", i, q, i, q, 2 * i)
            print s "\nGO" > v
            print s > i_
            print s ";" > t
        }
    }'
}

# run_tool DIR TOOL COUNT [STEM]: runs one tool on a fresh copy of the
# template in DIR with the scripts STEM_* (default a) and prints "wall cpu" in
# seconds (cpu = user + system). vorla-t is vorla -t, sqlite3-tx the sqlite3
# shell on the script between BEGIN; and COMMIT;.
run_tool() {
    local dir=$1 tool=$2 stem=${4:-a} db driver started ended
    driver=$(readlink -f "$dir/prefix/system32/odbcjt32.dll")
    case $tool in
        vorla | vorla-t) db=bench.mdb ;;
        isql) db=a_isql.db ;;
        sqlite3 | sqlite3-tx) db=a_sqlite3.db ;;
    esac
    (
        cd "$dir"
        export VORLA_PREFIX=$dir/prefix ODBCINI=$dir/user.ini
        rm -f "$db" "$db-journal" "$db-wal" "$db-shm"
        cp template.mdb "$db"
        started=$EPOCHREALTIME
        case $tool in
            vorla) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d BenchDsn -i "${stem}_vorla.sql" \
                -b GO </dev/null >/dev/null 2>err.txt ;;
            vorla-t) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d BenchDsn -i "${stem}_vorla.sql" \
                -b GO -t </dev/null >/dev/null 2>err.txt ;;
            isql) /usr/bin/time -f '%U %S' -o cpu.txt isql -b -k "DRIVER=$driver;Database=$db" \
                <"${stem}_isql.sql" >out.txt 2>err.txt ;;
            sqlite3) /usr/bin/time -f '%U %S' -o cpu.txt sqlite3 "$db" \
                <"${stem}_sqlite3.sql" >/dev/null 2>err.txt ;;
            sqlite3-tx) { echo 'BEGIN;' && cat "${stem}_sqlite3.sql" && echo 'COMMIT;'; } >tx.sql &&
                /usr/bin/time -f '%U %S' -o cpu.txt sqlite3 "$db" <tx.sql >/dev/null 2>err.txt ;;
        esac || { cat err.txt >&2; die "$tool failed"; }
        ended=$EPOCHREALTIME
        # isql -b reports statement errors on stdout and still exits with 0.
        if [[ $tool == isql ]] && grep -q '\[ISQL\]ERROR\|^\[' out.txt; then
            cat out.txt >&2
            die "isql reported an error"
        fi
        local rows
        rows=$(sqlite3 "$db" 'SELECT count(*) FROM bench')
        [[ $rows == "$3" ]] || die "$tool left $rows rows, not $3"
        awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' cpu.txt
    )
}

# time_rounds RUNNER ROUNDS TOOL...: one warm-up run of each tool, then
# ROUNDS rounds, the order rotating each round so that drift in the machine's
# load hits every tool alike. "RUNNER TOOL" prints "wall cpu"; the times are
# appended to the caller's associative arrays walls and cpus.
time_rounds() {
    local runner=$1 rounds=$2 r i tool out
    shift 2
    local tools=("$@")
    for tool in "${tools[@]}"; do "$runner" "$tool" >/dev/null; done
    for ((r = 0; r < rounds; r++)); do
        for ((i = 0; i < ${#tools[@]}; i++)); do
            tool=${tools[$(((r + i) % ${#tools[@]}))]}
            out=$("$runner" "$tool")
            note "   round $((r + 1)) $tool: $out"
            walls[$tool]+="${out% *} "
            cpus[$tool]+="${out#* } "
        done
    done
}

# Medians of the times that time_rounds gathered: "wall cpu" for TOOL.
medians() {
    # shellcheck disable=SC2086
    echo "$(median ${walls[$1]}) $(median ${cpus[$1]})"
}

# figure_a DIR BATCHES ROUNDS LABEL: interleaved rounds (the order rotates
# each round, so drift in the machine's load hits every tool alike); prints
# the table rows.
figure_a() {
    local dir=$1 n=$2 rounds=$3 label=$4 tools=(vorla isql sqlite3) r i tool out
    declare -A walls=() cpus=()
    write_scripts "$dir" "$n" a '"' sqlite3
    note "a. $label: $n INSERT batches, 1 warm-up + $rounds timed rounds ..."
    for tool in "${tools[@]}"; do run_tool "$dir" "$tool" "$n" >/dev/null; done
    for ((r = 0; r < rounds; r++)); do
        for ((i = 0; i < 3; i++)); do
            tool=${tools[$(((r + i) % 3))]}
            out=$(run_tool "$dir" "$tool" "$n")
            note "   round $((r + 1)) $tool: $out"
            walls[$tool]+="${out% *} "
            cpus[$tool]+="${out#* } "
        done
    done
    local wv wi ws cv ci cs
    # shellcheck disable=SC2086
    {
        wv=$(median ${walls[vorla]}) wi=$(median ${walls[isql]}) ws=$(median ${walls[sqlite3]})
        cv=$(median ${cpus[vorla]}) ci=$(median ${cpus[isql]}) cs=$(median ${cpus[sqlite3]})
    }
    section "a. $n INSERT batches, one per GO, each run on a fresh database, $label"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   vorla -d DSN -i script -b GO" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   isql -b -k DRIVER=...;Database=..." "$(calc '%.3f' "$wi") ($(calc '%.2f' "$ci"))" "" ""
    row "   sqlite3 FILE < script" "$(calc '%.3f' "$ws") ($(calc '%.2f' "$cs"))" "" ""
    local ri rs
    ri=$(calc '%.3f' "$wv / $wi") rs=$(calc '%.3f' "$wv / $ws")
    if [[ $5 == judge ]]; then
        row "   vorla / isql" "${ri}x (CPU $(ratio "$cv" "$ci"))" "<= 1.05x" "$(within "$ri" 1.05)"
        row "   vorla / sqlite3" "${rs}x (CPU $(ratio "$cv" "$cs"))" "<= 1.10x" "$(within "$rs" 1.10)"
    else
        row "   vorla / isql" "${ri}x (CPU $(ratio "$cv" "$ci"))" "(info)" ""
        row "   vorla / sqlite3" "${rs}x (CPU $(ratio "$cv" "$cs"))" "(info)" ""
    fi
}

# figure_b DIR: a script of at least $big_bytes bytes of small batches padded
# with comment lines and whitespace, run once under /usr/bin/time -v.
figure_b() {
    local dir=$1
    (
        cd "$dir"
        export VORLA_PREFIX=$dir/prefix ODBCINI=$dir/user.ini
        # One batch: 60 comment lines of 1,000 characters, the INSERT with a
        # 16 KiB run of blanks and tabs inside it, 32 lines of nothing but
        # blanks and tabs, the separator.
        awk 'BEGIN {
            c = ""; for (i = 0; i < 100; i++) c = c "abcdefghij"
            c = substr(c, 1, 998)
            for (i = 0; i < 60; i++) print "\047 " c
            w = ""; for (i = 0; i < 2048; i++) w = w "\t       "
            print "INSERT INTO pad (id, note) VALUES (1," w "\"padded\")"
            w = ""; for (i = 0; i < 64; i++) w = w " \t      "
            for (i = 0; i < 32; i++) print w
            print "GO"
        }' >block.sql
        local block_bytes block_lines count
        block_bytes=$(wc -c <block.sql) block_lines=$(wc -l <block.sql)
        count=$(((big_bytes + block_bytes - 1) / block_bytes))
        note "b. writing a $(calc '%.2f' "$big_bytes / 1073741824") GiB script of $count batches ..."
        # yes ends on SIGPIPE when head has enough.
        set +o pipefail
        {
            printf 'CREATE TABLE pad (id INTEGER, note TEXT)\nGO\n'
            yes "$(cat block.sql)" | head -n $((block_lines * count))
        } >big.sql
        rm -f bench.mdb
        cp template.mdb bench.mdb
        note "b. running vorla on it under /usr/bin/time -v ..."
        /usr/bin/time -v -o rss.txt "$vorla" -d BenchDsn -i big.sql -b GO </dev/null >/dev/null 2>err.txt ||
            { cat err.txt >&2; die "vorla failed on the big script"; }
        local size rows kb secs
        size=$(stat -c %s big.sql)
        rows=$(sqlite3 bench.mdb 'SELECT count(*) FROM pad')
        [[ $rows == "$count" ]] || die "the big script left $rows rows, not $count"
        kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' rss.txt)
        secs=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' rss.txt)
        rm -f big.sql block.sql
        section "b. vorla -d DSN on a $size-byte script of $rows batches (comments, blank runs)"
        row "   Max RSS (/usr/bin/time -v)" "$(calc '%.1f' "$kb / 1024") MB (run took ${secs} s)" \
            "< 32 MB" "$(within "$kb" 32767)"
    )
}

# figure_c DIR ROUNDS LABEL JUDGE: the -cx run, the run on an existing data
# source, and that run with the template copy too, run alternately by
# bench_interleave, ROUNDS runs each. The overhead is the median of the
# differences within each round, which a drift in the machine's load cancels
# out of; the medians of the runs themselves are printed beside it.
# shellcheck disable=SC2046 # the times are split into median's arguments
figure_c() {
    local dir=$1 rounds=$2 label=$3 judge=$4
    note "c. $label: $rounds rounds of the three runs, alternating ..."
    (
        cd "$dir"
        export VORLA_PREFIX=$dir/prefix ODBCINI=$dir/user.ini
        "$build/bench/bench_interleave" "$rounds" 3 \
            cx "rm -f c_out.mdb c_out1.mdb" "$vorla -e template.mdb -o c_out.mdb -cx -i trivial.sql -b GO" \
            d "cp template.mdb c_out.mdb" "$vorla -d BenchDsn -o c_out.mdb -i trivial.sql -b GO" \
            ed "rm -f c_out.mdb c_out1.mdb" "$vorla -e template.mdb -o c_out.mdb -d BenchDsn -i trivial.sql -b GO" \
            >c.txt 2>err.txt || { cat err.txt >&2; die "bench_interleave failed"; }
        # No temporary data source may be left behind.
        if sqlite3 prefix/registry/user.db "SELECT name FROM vals WHERE name LIKE 'VORLA%'" | grep -q .; then
            die "a temporary data source was left in the registry"
        fi
        local cx d ed diff diff_ed
        cx=$(median $(awk '$1 == "cx" { print $3 }' c.txt))
        d=$(median $(awk '$1 == "d" { print $3 }' c.txt))
        ed=$(median $(awk '$1 == "ed" { print $3 }' c.txt))
        diff=$(calc '%.1f' "$(median $(awk '{ t[$2, $1] = $3 } END { for (k in t) { split(k, p, SUBSEP); if (p[2] == "cx") print t[k] - t[p[1], "d"] } }' c.txt))")
        diff_ed=$(calc '%.1f' "$(median $(awk '{ t[$2, $1] = $3 } END { for (k in t) { split(k, p, SUBSEP); if (p[2] == "cx") print t[k] - t[p[1], "ed"] } }' c.txt))")
        section "c. temporary data source overhead, $label"
        row "" "median of $rounds, ms" "" ""
        row "   vorla -e T -o x.mdb -cx -i trivial.sql" "$(calc '%.1f' "$cx")" "" ""
        row "   vorla -d DSN -o x.mdb -i trivial.sql" "$(calc '%.1f' "$d")" "" ""
        row "   vorla -e T -o x.mdb -d DSN -i trivial.sql" "$(calc '%.1f' "$ed")" "" ""
        if [[ $judge == judge ]]; then
            row "   -cx minus -d (creation + removal + copy)" "$diff ms" "<= 3 ms" "$(within "$diff" 3)"
        else
            row "   -cx minus -d (creation + removal + copy)" "$diff ms" "(info)" ""
        fi
        row "   -cx minus -e -d (creation + removal)" "$diff_ed ms" "(info)" ""
    )
}

# figure_i DIR ROUNDS: the user's odbc.ini of DIR's prefix holds BenchDsn's
# section and N hand-written sections of other programs; vorla runs on
# BenchDsn, isql connects to it by name (and ends: no statement), and vorla
# creates a persistent data source (removed again, untimed, before each run).
# shellcheck disable=SC2046 # the times are split into median's arguments
figure_i() {
    local dir=$1 rounds=$2 n
    section "i. odbc.ini read once and written once: wall ms, median of $rounds"
    row "" "vorla -d / isql / vorla -d NEW -c" "" ""
    for n in $ini_counts; do
        note "i. $n other sections in odbc.ini, $rounds rounds ..."
        (
            cd "$dir"
            export VORLA_PREFIX=$dir/prefix ODBCINI=$dir/user.ini
            # The bench's data source as it was published, then the others.
            awk '/^\[/ { keep = ($0 == "[BenchDsn]" || $0 == "[ODBC Data Sources]") } keep' \
                user.ini >user.tmp
            awk -v n="$n" -v dir="$dir" 'BEGIN {
                for (i = 1; i <= n; i++)
                    printf "# a data source of another program\n[Other%d]\nDriver = SQLite3\nDatabase = %s/other%d.db\n\n", i, dir, i
            }' >>user.tmp
            mv user.tmp user.ini
            printf '%s\n' "$build/bin/vorla-reg delete 'HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\NewDsn' /f" \
                "$build/bin/vorla-reg delete 'HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources' /v NewDsn /f" \
                "rm -f new.mdb new1.mdb; exit 0" >drop-new.sh
            "$build/bench/bench_interleave" "$rounds" 2 \
                d - "$vorla -d BenchDsn -i trivial.sql -b GO" \
                isql - "isql -b BenchDsn" \
                c "sh drop-new.sh" "$vorla -d NewDsn -c new -o new.mdb -e template.mdb -i trivial.sql -b GO" \
                >i.txt 2>err.txt || { cat err.txt >&2; die "bench_interleave failed"; }
            sh drop-new.sh >/dev/null 2>&1
            local d i c
            d=$(median $(awk '$1 == "d" { print $3 }' i.txt))
            i=$(median $(awk '$1 == "isql" { print $3 }' i.txt))
            c=$(median $(awk '$1 == "c" { print $3 }' i.txt))
            row "   $n sections" "$(calc '%.1f / %.1f / %.1f' "$d, $i, $c")" "d <= 1.5x isql" \
                "$(within "$d" "$(calc '%.3f' "$i * 1.5")") ($(ratio "$d" "$i"))"
            row "" "" "c - d <= 10 ms" "$(within "$(calc '%.3f' "$c - $d")" 10) ($(calc '%.1f' "$c - $d") ms)"
        )
    done
}

# figure_d DIR: bench_temp_dsn_name in a prefix of its own.
figure_d() {
    local dir=$1/prefix-d
    note "d. MakeTempDsnName with $dsn_counts names listed ..."
    VORLA_PREFIX=$dir "$build/bin/vorla-setup" >/dev/null
    local lines
    # shellcheck disable=SC2086
    lines=$(VORLA_PREFIX=$dir "$build/bench/bench_temp_dsn_name" $dsn_counts) ||
        die "bench_temp_dsn_name failed"
    section "d. MakeTempDsnName with VORLA1..VORLAn listed (current user)"
    row "" "median ms wall / CPU (calls timed)" "" ""
    local prev_n='' prev_t='' worst=0 n wall cpu calls name growth
    while read -r n wall cpu calls name; do
        if [[ -n $prev_n ]]; then
            # CPU-time growth scaled to a tenfold count:
            # (t / prev_t) ^ (1 / log10(n / prev_n)).
            growth=$(awk -v a="$prev_t" -v b="$cpu" -v m="$prev_n" -v k="$n" \
                'BEGIN { printf "%.1f", exp(log(b / a) / (log(k / m) / log(10))) }')
            worst=$(awk -v a="$worst" -v b="$growth" 'BEGIN { print (b > a) ? b : a }')
            row "   n = $n" "$(calc '%.2f' "$wall") / $(calc '%.2f' "$cpu") ($calls), CPU x$growth" \
                "<= x100" "$(within "$growth" 100)"
        else
            row "   n = $n" "$(calc '%.2f' "$wall") / $(calc '%.2f' "$cpu") ($calls) -> $name" "" ""
        fi
        if [[ $n == 1000 ]]; then
            row "   n = 1000, wall" "$(calc '%.1f' "$wall") ms" "<= 500 ms" "$(within "$wall" 500)"
        fi
        prev_n=$n prev_t=$cpu
    done <<<"$lines"
    row "   worst CPU growth per 10x (square: x100)" "x$worst" "<= x100" "$(within "$worst" 100)"
}

# pg_start DIR: a throwaway PostgreSQL cluster in DIR (run as the user
# postgres when this script runs as root, which the server refuses), the role
# alice with synchronous_commit=off, a database bench and a data source
# PgBench in DIR/sys/odbc.ini. Sets pg_dir, pg_bin, pg_port, pg_server and the
# administrator's client command pg_sql. Stopped by pg_stop, and on every way
# wait_for_server NAME DIR COMMAND...: waits up to 30 s for COMMAND to
# succeed, the server of DIR answering; shows DIR/server.log and stops the
# script when it does not.
wait_for_server() {
    local name=$1 dir=$2 tries=0
    shift 2
    until "$@" >/dev/null 2>&1; do
        ((++tries < 300)) || { cat "$dir/server.log" >&2; die "$name did not start"; }
        sleep 0.1
    done
}

# server_dirs DIR USER: DIR/data and DIR/socket for a throwaway server,
# which runs as USER when this script runs as root; sets run_as to the
# command prefix that starts it so (empty otherwise).
server_dirs() {
    local dir=$1 user=$2
    run_as=()
    mkdir -p "$dir/data" "$dir/socket"
    if [[ $(id -u) -eq 0 ]]; then
        chown "$user": "$dir/data" "$dir/socket"
        chmod 0711 "$dir" "$(dirname "$dir")"
        run_as=(setpriv --reuid="$user" --regid="$user" --clear-groups)
    fi
}

# data_source_file DIR SECTION: DIR/sys holds the machine's odbcinst.ini and
# an odbc.ini of the one SECTION (its whole text), for ODBCSYSINI.
data_source_file() {
    mkdir -p "$1/sys"
    cp /etc/odbcinst.ini "$1/sys/"
    printf '%s\n' "$2" >"$1/sys/odbc.ini"
}

# out of the script.
pg_start() {
    local dir=$1
    pg_dir=$dir
    pg_bin=$(dirname "$(compgen -G '/usr/lib/postgresql/*/bin/postgres' | sort -V | tail -n 1)")
    server_dirs "$dir" postgres
    note "PostgreSQL: initdb in $dir ..."
    "${run_as[@]}" "$pg_bin/initdb" -D "$dir/data" -U postgres --auth=trust --no-sync -E UTF8 \
        --locale=C >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; die "initdb failed"; }
    pg_port=$((20000 + RANDOM % 30000))
    "${run_as[@]}" "$pg_bin/postgres" -D "$dir/data" -k "$dir/socket" -p "$pg_port" \
        -c listen_addresses=127.0.0.1 >"$dir/server.log" 2>&1 &
    pg_server=$!
    trap 'servers_stop; cleanup' EXIT
    wait_for_server postgres "$dir" "$pg_bin/pg_isready" -q -h "$dir/socket" -p "$pg_port"
    pg_sql=("$pg_bin/psql" -h "$dir/socket" -p "$pg_port" -U postgres -AtqX -v ON_ERROR_STOP=1)
    "${pg_sql[@]}" -d postgres -c "CREATE ROLE alice LOGIN PASSWORD 'secret'" \
        -c "ALTER ROLE alice SET synchronous_commit = off" -c "CREATE DATABASE bench OWNER alice" ||
        die "cannot make the role and the database"
    data_source_file "$dir" "$(printf '[PgBench]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=bench\n' "$pg_port")"
}

pg_stop() {
    [[ -n ${pg_server:-} ]] || return 0
    kill -QUIT "$pg_server" 2>/dev/null
    wait "$pg_server" 2>/dev/null || true
    pg_server=
}

# ma_start DIR: a throwaway MariaDB server in DIR (run as the user mysql when
# this script runs as root), InnoDB's log flushed once a second rather than at
# every commit, the user alice, and a data source MaRestore in DIR/sys/odbc.ini
# for the database restored. Sets ma_dir, ma_port, ma_server and the
# administrator's client command ma_sql. Stopped by ma_stop, and on every way
# out of the script.
ma_start() {
    local dir=$1
    ma_dir=$dir
    server_dirs "$dir" mysql
    note "MariaDB: mariadb-install-db in $dir ..."
    "${run_as[@]}" mariadb-install-db --no-defaults --datadir="$dir/data" \
        --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
        { cat "$dir/install.log" >&2; die "mariadb-install-db failed"; }
    ma_port=$((20000 + RANDOM % 30000))
    "${run_as[@]}" /usr/sbin/mariadbd --no-defaults --datadir="$dir/data" \
        --socket="$dir/socket/mysqld.sock" --port="$ma_port" --bind-address=127.0.0.1 \
        --innodb-flush-log-at-trx-commit=0 >"$dir/server.log" 2>&1 &
    ma_server=$!
    trap 'servers_stop; cleanup' EXIT
    ma_sql=(mariadb --no-defaults -S "$dir/socket/mysqld.sock" -u root -N -B)
    wait_for_server mariadbd "$dir" "${ma_sql[@]}" -e 'SELECT 1'
    "${ma_sql[@]}" -e "CREATE USER alice@'%' IDENTIFIED BY 'secret'" || die "cannot make the user"
    data_source_file "$dir" "$(printf '[MaRestore]\nDriver=MariaDB Unicode\nServer=127.0.0.1\nPort=%s\nDatabase=restored\n' "$ma_port")"
}

ma_stop() {
    [[ -n ${ma_server:-} ]] || return 0
    kill -TERM "$ma_server" 2>/dev/null
    wait "$ma_server" 2>/dev/null || true
    ma_server=
}

servers_stop() {
    pg_stop
    ma_stop
}

# run_pg TOOL COUNT STEM: one run on a dropped table with the scripts STEM_*
# of pg_dir; prints "wall cpu" in seconds. vorla-t is vorla -t, psql-1
# psql -1 (the whole file in one transaction).
run_pg() {
    local tool=$1 n=$2 stem=$3 dir=$pg_dir started ended rows
    "${pg_sql[@]}" -d bench -c 'SET client_min_messages = warning' -c 'DROP TABLE IF EXISTS bench' ||
        die "cannot drop the table"
    started=$EPOCHREALTIME
    (
        cd "$dir"
        export ODBCSYSINI=$dir/sys ODBCINI=$dir/none.ini VORLA_PREFIX=$work/prefix
        local psql=("$pg_bin/psql" -h 127.0.0.1 -p "$pg_port" -U alice -d bench -qX -v ON_ERROR_STOP=1)
        case $tool in
            vorla) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d PgBench -U alice -P secret \
                -i "${stem}_vorla.sql" -b GO </dev/null >/dev/null 2>err.txt ;;
            vorla-t) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d PgBench -U alice -P secret \
                -i "${stem}_vorla.sql" -b GO -t </dev/null >/dev/null 2>err.txt ;;
            isql) /usr/bin/time -f '%U %S' -o cpu.txt isql -b PgBench alice secret \
                <"${stem}_isql.sql" >out.txt 2>err.txt ;;
            psql) /usr/bin/time -f '%U %S' -o cpu.txt "${psql[@]}" -f "${stem}_psql.sql" >/dev/null 2>err.txt ;;
            psql-1) /usr/bin/time -f '%U %S' -o cpu.txt "${psql[@]}" -1 -f "${stem}_psql.sql" >/dev/null 2>err.txt ;;
        esac || { cat err.txt >&2; die "$tool failed on PostgreSQL"; }
        if [[ $tool == isql ]] && grep -q '\[ISQL\]ERROR\|^\[' out.txt; then
            cat out.txt >&2
            die "isql reported an error"
        fi
    )
    ended=$EPOCHREALTIME
    rows=$("${pg_sql[@]}" -d bench -c 'SELECT count(*) FROM bench')
    [[ $rows == "$n" ]] || die "$tool left $rows rows, not $n"
    awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' "$dir/cpu.txt"
}

# figure_e BATCHES ROUNDS: the same INSERT statements through vorla, isql
# and psql on the cluster of pg_start; interleaved rounds, each on a new table.
figure_e() {
    local n=$1 rounds=$2
    declare -A walls=() cpus=()
    write_scripts "$pg_dir" "$n" e '$$' psql
    note "e. PostgreSQL: $n INSERT batches, 1 warm-up + $rounds timed rounds ..."
    # shellcheck disable=SC2317 # called through time_rounds
    runner() { run_pg "$1" "$n" e; }
    time_rounds runner "$rounds" vorla isql psql
    local wv wi wp cv ci cp
    read -r wv cv <<<"$(medians vorla)"
    read -r wi ci <<<"$(medians isql)"
    read -r wp cp <<<"$(medians psql)"
    section "e. $n INSERT batches on PostgreSQL $(basename "$(dirname "$pg_bin")") over TCP, role with synchronous_commit=off"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   vorla -d DSN -U -P -i script -b GO" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   isql -b DSN USER PASSWORD < script" "$(calc '%.3f' "$wi") ($(calc '%.2f' "$ci"))" "" ""
    row "   psql -h 127.0.0.1 -f script" "$(calc '%.3f' "$wp") ($(calc '%.2f' "$cp"))" "" ""
    local ri rp
    ri=$(calc '%.3f' "$wv / $wi") rp=$(calc '%.3f' "$wv / $wp")
    row "   vorla / isql" "${ri}x (CPU $(ratio "$cv" "$ci"))" "<= 1.00x" "$(within "$ri" 1.00)"
    row "   vorla / psql" "${rp}x (CPU $(ratio "$cv" "$cp"))" "(info)" ""
}

# figure_g_sqlite DIR BATCHES ROUNDS LABEL: vorla -t beside isql -b (every
# statement committed) and the sqlite3 shell in one transaction.
figure_g_sqlite() {
    local dir=$1 n=$2 rounds=$3 label=$4
    declare -A walls=() cpus=()
    write_scripts "$dir" "$n" g '"' sqlite3
    note "g. $label: $n INSERT batches, 1 warm-up + $rounds timed rounds ..."
    # shellcheck disable=SC2317 # called through time_rounds
    runner() { run_tool "$dir" "$1" "$n" g; }
    time_rounds runner "$rounds" vorla-t isql sqlite3-tx
    local wv wi ws cv ci cs
    read -r wv cv <<<"$(medians vorla-t)"
    read -r wi ci <<<"$(medians isql)"
    read -r ws cs <<<"$(medians sqlite3-tx)"
    section "g. $n INSERT batches in one transaction, SQLite $label"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   vorla -d DSN -i script -b GO -t" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   isql -b -k DRIVER=...;Database=..." "$(calc '%.3f' "$wi") ($(calc '%.2f' "$ci"))" "" ""
    row "   sqlite3 FILE < BEGIN; script COMMIT;" "$(calc '%.3f' "$ws") ($(calc '%.2f' "$cs"))" "" ""
    local si rs
    si=$(calc '%.1f' "$wi / $wv") rs=$(calc '%.3f' "$wv / $ws")
    if memory_backed "$dir"; then
        row "   isql / vorla -t (speed-up)" "${si}x (CPU $(ratio "$ci" "$cv"))" "(info)" ""
    else
        row "   isql / vorla -t (speed-up)" "${si}x (CPU $(ratio "$ci" "$cv"))" ">= 5x" \
            "$(awk -v a="$si" 'BEGIN { print (a >= 5) ? "yes" : "NO" }')"
    fi
    row "   vorla -t / sqlite3 in one transaction" "${rs}x (CPU $(ratio "$cv" "$cs"))" "<= 1.10x" \
        "$(within "$rs" 1.10)"
}

# figure_g_pg BATCHES ROUNDS: vorla -t beside isql -b and psql -1 on the
# cluster of pg_start.
figure_g_pg() {
    local n=$1 rounds=$2
    declare -A walls=() cpus=()
    write_scripts "$pg_dir" "$n" g '$$' psql
    note "g. PostgreSQL: $n INSERT batches, 1 warm-up + $rounds timed rounds ..."
    # shellcheck disable=SC2317 # called through time_rounds
    runner() { run_pg "$1" "$n" g; }
    time_rounds runner "$rounds" vorla-t isql psql-1
    local wv wi wp cv ci cp
    read -r wv cv <<<"$(medians vorla-t)"
    read -r wi ci <<<"$(medians isql)"
    read -r wp cp <<<"$(medians psql-1)"
    section "g. $n INSERT batches in one transaction, PostgreSQL $(basename "$(dirname "$pg_bin")") over TCP"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   vorla -d DSN -U -P -i script -b GO -t" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   isql -b DSN USER PASSWORD < script" "$(calc '%.3f' "$wi") ($(calc '%.2f' "$ci"))" "" ""
    row "   psql -h 127.0.0.1 -1 -f script" "$(calc '%.3f' "$wp") ($(calc '%.2f' "$cp"))" "" ""
    local si rp
    si=$(calc '%.1f' "$wi / $wv") rp=$(calc '%.3f' "$wv / $wp")
    row "   isql / vorla -t (speed-up)" "${si}x (CPU $(ratio "$ci" "$cv"))" "(info)" ""
    row "   vorla -t / psql -1" "${rp}x (CPU $(ratio "$cv" "$cp"))" "<= 1.10x" "$(within "$rp" 1.10)"
}

# dump_rows_sql N: a script that makes the table of the dump figures, each
# row's text holding an apostrophe, a ';' and a run of blanks.
dump_rows_sql() {
    awk -v n="$1" 'BEGIN {
        print "CREATE TABLE dumped (id INTEGER PRIMARY KEY, name TEXT, amount REAL);"
        print "BEGIN;"
        for (i = 1; i <= n; i++) printf "INSERT INTO dumped VALUES (%d, \047row \047\047%d\047\047;  x\047, %d.5);\n", i, i, i
        print "COMMIT;"
    }'
}

# figure_h DIR ROWS ROUNDS: sqlite3's own .dump of a table of ROWS rows,
# restored into a fresh copy of the template with vorla -a and into a new
# file with sqlite3, interleaved rounds.
figure_h() {
    local dir=$1/h n=$2 rounds=$3 dsn
    # A data source of its own for each folder it runs in.
    h_runs=$((${h_runs:-0} + 1))
    dsn=RestoreDsn$h_runs
    declare -A walls=() cpus=()
    mkdir -p "$dir"
    dump_rows_sql "$n" | sqlite3 "$dir/source.db" || die "cannot make the source of the dump"
    sqlite3 "$dir/source.db" .dump >"$dir/dump.sql"
    (
        cd "$dir"
        export VORLA_PREFIX=$work/prefix
        printf 'SELECT 1\nGO\n' >trivial.sql
        "$vorla" -d "$dsn" -c -o restored.db -e "$work/template.mdb" -i trivial.sql -b GO \
            >/dev/null || die "cannot create the data source $dsn"
    )
    # shellcheck disable=SC2317 # called through time_rounds
    runner() {
        local started ended
        (
            cd "$dir"
            export VORLA_PREFIX=$work/prefix
            rm -f restored.db restored.db-journal
            [[ $1 == vorla* ]] && cp "$work/template.mdb" restored.db
            started=$EPOCHREALTIME
            local options=(-a)
            case $1 in
                vorla-q) options=(-a -q) ;;
                vorla-t-q) options=(-a -t -q) ;;
            esac
            case $1 in
                vorla*) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d "$dsn" "${options[@]}" \
                    -i dump.sql </dev/null >/dev/null 2>err.txt ;;
                sqlite3) /usr/bin/time -f '%U %S' -o cpu.txt sqlite3 restored.db <dump.sql \
                    >/dev/null 2>err.txt ;;
            esac || { cat err.txt >&2; die "$1 failed on the dump"; }
            ended=$EPOCHREALTIME
            [[ $(sqlite3 restored.db 'SELECT count(*) FROM dumped') == "$n" ]] ||
                die "$1 did not restore $n rows"
            awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' cpu.txt
        )
    }
    note "h. SQLite: a .dump of $n rows in $1, 1 warm-up + $rounds timed rounds ..."
    local load_before load_after
    load_before=$(load)
    time_rounds runner "$rounds" vorla vorla-q vorla-t-q sqlite3
    load_after=$(load)
    dump_rows "a sqlite3 .dump of $n rows (one transaction) restored, in $1 ($(fs_type "$1")), load $load_before / $load_after" \
        "vorla -d DSN -a -i dump.sql" "sqlite3 FILE < dump.sql" sqlite3 1.10
    local variant label goal wq cq ws cs rq
    read -r ws cs <<<"$(medians sqlite3)"
    for variant in vorla-q vorla-t-q; do
        label="vorla -d DSN -a -q -i dump.sql"
        [[ $variant == vorla-t-q ]] && label="vorla -d DSN -a -t -q -i dump.sql"
        goal=1.00
        read -r wq cq <<<"$(medians "$variant")"
        rq=$(calc '%.3f' "$wq / $ws")
        row "   $label" "$(calc '%.3f' "$wq") ($(calc '%.2f' "$cq"))" "" ""
        row "   $variant / sqlite3" "${rq}x (CPU $(ratio "$cq" "$cs"))" "<= ${goal}x" "$(within "$rq" "$goal")"
    done
}

# figure_h_pg ROWS ROUNDS: on the cluster of pg_start, a pg_dump --inserts of
# a table of ROWS rows restored into a new database with vorla -a and with
# psql -f, interleaved rounds.
figure_h_pg() {
    local n=$1 rounds=$2
    declare -A walls=() cpus=()
    dump_rows_sql "$n" | sed 's/INTEGER PRIMARY KEY/integer PRIMARY KEY/; s/REAL/double precision/' |
        "${pg_sql[@]}" -d bench || die "cannot make the source of the dump"
    "$pg_bin/pg_dump" -h "$pg_dir/socket" -p "$pg_port" -U postgres --no-owner --inserts -t dumped \
        bench >"$pg_dir/h_dump.sql" || die "pg_dump failed"
    printf '[PgRestore]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=restored\n' \
        "$pg_port" >>"$pg_dir/sys/odbc.ini"
    # shellcheck disable=SC2317 # called through time_rounds
    runner() {
        local started ended
        "${pg_sql[@]}" -d postgres -c 'SET client_min_messages = warning' \
            -c 'DROP DATABASE IF EXISTS restored' -c 'CREATE DATABASE restored OWNER alice' ||
            die "cannot make the database"
        started=$EPOCHREALTIME
        (
            cd "$pg_dir"
            export ODBCSYSINI=$pg_dir/sys ODBCINI=$pg_dir/none.ini VORLA_PREFIX=$work/prefix
            case $1 in
                vorla) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d PgRestore -U alice -P secret \
                    -a -i h_dump.sql </dev/null >/dev/null 2>err.txt ;;
                psql) PGPASSWORD=secret /usr/bin/time -f '%U %S' -o cpu.txt "$pg_bin/psql" \
                    -h 127.0.0.1 -p "$pg_port" -U alice -d restored -qX -v ON_ERROR_STOP=1 \
                    -f h_dump.sql >/dev/null 2>err.txt ;;
            esac || { cat err.txt >&2; die "$1 failed on the dump"; }
        )
        ended=$EPOCHREALTIME
        [[ $("${pg_sql[@]}" -d restored -c 'SELECT count(*) FROM dumped') == "$n" ]] ||
            die "$1 did not restore $n rows"
        awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' "$pg_dir/cpu.txt"
    }
    note "h. PostgreSQL: a pg_dump --inserts of $n rows, 1 warm-up + $rounds timed rounds ..."
    time_rounds runner "$rounds" vorla psql
    dump_rows "a pg_dump --inserts of $n rows (autocommit) restored over TCP" \
        "vorla -d DSN -U -P -a -i dump.sql" "psql -h 127.0.0.1 -f dump.sql" psql
}

# dump_rows TITLE VORLA_LABEL TOOL_LABEL TOOL [GOAL]: the rows of a figure h,
# from what time_rounds gathered; GOAL is the ratio aimed at (1.05).
dump_rows() {
    local wv cv wt ct rv
    read -r wv cv <<<"$(medians vorla)"
    read -r wt ct <<<"$(medians "$4")"
    rv=$(calc '%.3f' "$wv / $wt")
    section "h. $1"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   $2" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   $3" "$(calc '%.3f' "$wt") ($(calc '%.2f' "$ct"))" "" ""
    row "   vorla / $4" "${rv}x (CPU $(ratio "$cv" "$ct"))" "<= ${5:-1.05}x" "$(within "$rv" "${5:-1.05}")"
}

# load: the machine's load average over the last minute.
load() { cut -d' ' -f1 /proc/loadavg; }

# restore_j ENGINE TOOL DUMP: one restore of DUMP (a file of $pg_dir or
# $ma_dir) into a new database restored; prints "wall cpu" in seconds. TOOL is
# vorla (-a) or vorla-t (-a -t), or the engine's client: psql (-f), psql-1
# (-1 -f), mariadb, mariadb-tx (the dump between SET autocommit=0; and
# COMMIT;).
restore_j() {
    local engine=$1 tool=$2 dump=$3 dir started ended vorla_args=(-a)
    [[ $tool == vorla-t ]] && vorla_args=(-a -t)
    if [[ $engine == pg ]]; then
        dir=$pg_dir
        "${pg_sql[@]}" -d postgres -c 'SET client_min_messages = warning' \
            -c 'DROP DATABASE IF EXISTS restored' -c 'CREATE DATABASE restored OWNER alice' ||
            die "cannot make the database"
    else
        dir=$ma_dir
        "${ma_sql[@]}" -e "DROP DATABASE IF EXISTS restored; CREATE DATABASE restored;
            GRANT ALL ON restored.* TO alice@'%'" || die "cannot make the database"
    fi
    started=$EPOCHREALTIME
    (
        cd "$dir"
        export ODBCSYSINI=$dir/sys ODBCINI=$dir/none.ini VORLA_PREFIX=$work/prefix
        local timed=(/usr/bin/time -f '%U %S' -o cpu.txt)
        case $tool in
            vorla | vorla-t)
                [[ $engine == pg ]] && dsn=PgRestore || dsn=MaRestore
                "${timed[@]}" "$vorla" -d "$dsn" -U alice -P secret "${vorla_args[@]}" -i "$dump" \
                    </dev/null >/dev/null 2>err.txt ;;
            psql | psql-1)
                [[ $tool == psql-1 ]] && one=(-1) || one=()
                PGPASSWORD=secret "${timed[@]}" "$pg_bin/psql" -h 127.0.0.1 -p "$pg_port" -U alice \
                    -d restored -qX -v ON_ERROR_STOP=1 "${one[@]}" -f "$dump" >/dev/null 2>err.txt ;;
            mariadb) "${timed[@]}" mariadb --no-defaults -h 127.0.0.1 -P "$ma_port" -u alice \
                -psecret restored <"$dump" >/dev/null 2>err.txt ;;
            mariadb-tx) { echo 'SET autocommit=0;' && cat "$dump" && echo 'COMMIT;'; } >tx.sql &&
                "${timed[@]}" mariadb --no-defaults -h 127.0.0.1 -P "$ma_port" -u alice \
                    -psecret restored <tx.sql >/dev/null 2>err.txt ;;
        esac || { cat err.txt >&2; die "$tool failed on $dump"; }
    )
    ended=$EPOCHREALTIME
    local rows
    if [[ $engine == pg ]]; then
        rows=$("${pg_sql[@]}" -d restored -c 'SELECT count(*) FROM dumped')
    else
        rows=$("${ma_sql[@]}" restored -e 'SELECT count(*) FROM dumped')
    fi
    [[ $rows == "$driver_rows" ]] || die "$tool left $rows rows of $dump, not $driver_rows"
    awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' "$dir/cpu.txt"
}

# j_row LABEL VORLA PEER GOAL: a row of figure j from what time_rounds
# gathered: the medians of VORLA and PEER and their ratio, judged against
# GOAL (a ratio, or "info").
j_row() {
    local wv cv wp cp r
    read -r wv cv <<<"$(medians "$2")"
    read -r wp cp <<<"$(medians "$3")"
    r=$(calc '%.3f' "$wv / $wp")
    if [[ $4 == info ]]; then
        row "   $1" "$(calc '%.2f' "$wv") / $(calc '%.2f' "$wp") s: ${r}x (CPU $(ratio "$cv" "$cp"))" \
            "(info)" ""
    else
        row "   $1" "$(calc '%.2f' "$wv") / $(calc '%.2f' "$wp") s: ${r}x (CPU $(ratio "$cv" "$cp"))" \
            "<= ${4}x" "$(within "$r" "$4")"
    fi
}

# figure_j ROWS ROUNDS: a table of ROWS rows (dump_rows_sql) dumped by each
# engine's own tool on the servers of pg_start and ma_start, and restored by
# vorla -a, with and without -t, and by the engine's client, over TCP;
# interleaved rounds, each run on a new database.
figure_j() {
    local n=$1 rounds=$2 load_before
    load_before=$(load)
    "${pg_sql[@]}" -d postgres -c 'CREATE DATABASE jsource' || die "cannot make the source"
    dump_rows_sql "$n" | sed 's/INTEGER PRIMARY KEY/integer PRIMARY KEY/; s/REAL/double precision/' |
        "${pg_sql[@]}" -d jsource || die "cannot make the source of the dump"
    "$pg_bin/pg_dump" -h "$pg_dir/socket" -p "$pg_port" -U postgres --no-owner --inserts -t dumped \
        jsource >"$pg_dir/j_pg.sql" || die "pg_dump failed"
    # Figure h may have listed it already.
    grep -q '^\[PgRestore\]' "$pg_dir/sys/odbc.ini" ||
        printf '[PgRestore]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=restored\n' \
            "$pg_port" >>"$pg_dir/sys/odbc.ini"
    "${ma_sql[@]}" -e 'CREATE DATABASE jsource' || die "cannot make the source"
    dump_rows_sql "$n" | "${ma_sql[@]}" jsource || die "cannot make the source of the dump"
    local dump=(mariadb-dump --no-defaults -S "$ma_dir/socket/mysqld.sock" -u root --skip-dump-date)
    "${dump[@]}" jsource dumped >"$ma_dir/j_ma.sql" || die "mariadb-dump failed"
    "${dump[@]}" --skip-extended-insert jsource dumped >"$ma_dir/j_ma_rows.sql" ||
        die "mariadb-dump failed"
    # The same rows, each text's ';' made a ','.
    sed 's/;  x/,  x/g' "$ma_dir/j_ma.sql" >"$ma_dir/j_ma_plain.sql"
    declare -A walls=() cpus=()
    # shellcheck disable=SC2317 # called through time_rounds
    runner() {
        case $1 in
            pg-*) restore_j pg "${1#pg-}" j_pg.sql ;;
            ext-*) restore_j ma "${1#ext-}" j_ma.sql ;;
            rows-*) restore_j ma "${1#rows-}" j_ma_rows.sql ;;
            plain-*) restore_j ma "${1#plain-}" j_ma_plain.sql ;;
        esac
    }
    note "j. dumps of $n rows on PostgreSQL and MariaDB, 1 warm-up + $rounds timed rounds ..."
    time_rounds runner "$rounds" pg-vorla pg-psql pg-vorla-t pg-psql-1 ext-vorla ext-mariadb \
        ext-vorla-t ext-mariadb-tx rows-vorla rows-mariadb rows-vorla-t rows-mariadb-tx \
        plain-vorla plain-mariadb
    section "j. dumps of $n rows by the engines' tools restored over TCP, PostgreSQL" \
        "$(basename "$(dirname "$pg_bin")") and MariaDB $("${ma_sql[@]}" -e 'SELECT VERSION()')"
    row "" "median of $rounds: vorla / client, wall" "" ""
    j_row "pg_dump --inserts: -a / psql -f" pg-vorla pg-psql 1.00
    j_row "pg_dump --inserts: -a -t / psql -1 -f" pg-vorla-t pg-psql-1 1.00
    j_row "mariadb-dump: -a / mariadb" ext-vorla ext-mariadb 1.20
    j_row "mariadb-dump: -a -t / mariadb, one tx" ext-vorla-t ext-mariadb-tx info
    j_row "--skip-extended-insert: -a / mariadb" rows-vorla rows-mariadb 1.00
    j_row "--skip-extended-insert: -a -t / one tx" rows-vorla-t rows-mariadb-tx info
    j_row "no ';' in the texts: -a / mariadb" plain-vorla plain-mariadb info
    row "   load average (1 min) before / after" "$load_before / $(load)" "" ""
}

# figure_f DIR: bench_registry_work on a prefix of its own, bench_raw_sqlite
# on a file beside it, and, where Wine and the MinGW-w64 compiler are
# installed, the same registry work built for Windows and run under Wine in
# a 64-bit-only Wine prefix of the bench (Wine's registry is an in-memory
# server reached by a round trip per call).
figure_f() {
    local dir=$1/f store raw wine_churn=- wine_enum=- exe
    mkdir -p "$dir"
    note "f. registry per call: store, raw SQLite, Wine ..."
    store=$(VORLA_PREFIX=$dir/prefix "$build/bench/bench_registry_work" 1000 1000 7) ||
        die "bench_registry_work failed"
    raw=$("$build/bench/bench_raw_sqlite" "$dir/raw.db" 1000 7) || die "bench_raw_sqlite failed"
    if [[ ${BENCH_WINE:-1} != 0 ]] && command -v wine >/dev/null 2>&1 &&
        command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
        exe=$dir/registry_work.exe
        if x86_64-w64-mingw32-g++-posix -O2 -std=c++17 -static -I"$repo/platform/win32/include" \
            -o "$exe" "$repo/bench/registry_work.cpp" "$repo/bench/RegistryWork.cpp" -ladvapi32 \
            2>"$dir/mingw.log"; then
            note "f. booting a 64-bit Wine prefix ..."
            local out
            out=$(
                export WINEPREFIX=$dir/wine64 WINEARCH=win64 WINEDEBUG=-all
                export WINEDLLOVERRIDES="mscoree,mshtml="
                # With 32-bit Wine installed too, "wine" starts the 32-bit
                # loader first; the 64-bit one is named where it exists.
                WINELOADER=$(command -v wine)
                [[ -x /usr/lib/wine/wine64 ]] && WINELOADER=/usr/lib/wine/wine64
                export WINELOADER
                unset DISPLAY WAYLAND_DISPLAY
                "$WINELOADER" wineboot -i >/dev/null 2>&1 </dev/null
                "$WINELOADER" "$exe" 1000 1000 7 2>/dev/null </dev/null | tr -d '\r'
                wineserver -k >/dev/null 2>&1 || true
            ) || true
            wine_churn=$(awk '$1 == "churn" { print $2 }' <<<"$out")
            wine_enum=$(awk '$1 == "enumerate" { print $2 }' <<<"$out")
            [[ -n $wine_churn ]] || { note "f. the Wine run gave no figures"; wine_churn=- wine_enum=-; }
        else
            note "f. the MinGW-w64 build failed (see $dir/mingw.log): no Wine column"
        fi
    fi
    local s_churn s_enum r_churn ratio
    s_churn=$(awk '$1 == "churn" { print $2 }' <<<"$store")
    s_enum=$(awk '$1 == "enumerate" { print $2 }' <<<"$store")
    r_churn=$(awk '$1 == "churn" { print $2 }' <<<"$raw")
    ratio=$(calc '%.2f' "$s_churn / $r_churn")
    section "f. registry per call, median of 7, in $base ($(fs_type "$work"))"
    row "" "store / raw SQLite / Wine 64-bit, us" "" ""
    row "   create key, set value, close, delete (1,000)" \
        "$s_churn / $r_churn / $wine_churn" "" ""
    row "   store / raw SQLite" "${ratio}x" "<= 1.5x" "$(within "$ratio" 1.5)"
    row "   enumerate a 1,000-value key, per value" "$s_enum / - / $wine_enum" "<= 1 us" \
        "$(within "$s_enum" 1)"
}

# ---------------------------------------------------------------- run ----

setup_dir "$work"
[[ -n $disk ]] && setup_dir "$disk"
driver=$(readlink -f "$work/prefix/system32/odbcjt32.dll")

# wants LETTER: whether the figure is among those asked for.
wants() { [[ $figures == *"$1"* ]]; }

table=$(
    if wants a; then
        figure_a "$work" "$batches" "$rounds" "in $base ($(fs_type "$work"))" judge
        if [[ -n $disk ]]; then
            figure_a "$disk" "$disk_batches" "$rounds" "in $disk_base ($(fs_type "$disk"), disk)" info
        fi
    fi
    if wants b; then figure_b "$work"; fi
    if wants c; then
        figure_c "$work" 100 "prefix in $base ($(fs_type "$work"))" judge
        if [[ -n $disk ]]; then
            figure_c "$disk" 30 "prefix in $disk_base ($(fs_type "$disk"), disk)" info
        fi
    fi
    if wants d; then figure_d "$work"; fi
    if { wants e && [[ $pg_batches -gt 0 ]]; } || { wants g && [[ $tx_pg_batches -gt 0 ]]; } ||
        wants h; then
        pg_start "$work/pg"
    fi
    if wants e && [[ $pg_batches -gt 0 ]]; then
        figure_e "$pg_batches" "$pg_rounds"
    fi
    if wants g; then
        figure_g_sqlite "$work" "$tx_batches" "$tx_rounds" "in $base ($(fs_type "$work"))"
        if [[ -n $disk ]]; then
            figure_g_sqlite "$disk" "$tx_batches" "$tx_disk_rounds" \
                "in $disk_base ($(fs_type "$disk"), disk)"
        fi
        if [[ $tx_pg_batches -gt 0 ]]; then
            figure_g_pg "$tx_pg_batches" "$tx_rounds"
        fi
    fi
    if wants h; then figure_h_pg "$dump_rows" "$pg_rounds"; fi
    if wants j; then
        [[ -n ${pg_server:-} ]] || pg_start "$work/pg"
        ma_start "$work/ma"
        figure_j "$driver_rows" "$driver_rounds"
        ma_stop
    fi
    pg_stop
    if wants f; then figure_f "$work"; fi
    if wants h; then
        figure_h "$work" "$dump_rows" "$rounds"
        [[ -z $disk ]] || figure_h "$disk" "$dump_rows" "$tx_disk_rounds"
    fi
    if wants i; then figure_i "$work" 30; fi
)
total=$(awk -v a="$bench_started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')

echo
echo "VORLA benchmarks: $vorla"
echo "driver $driver; $(nproc) CPUs; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo
row "Figure" "Measured" "Goal" "Met"
row "------" "--------" "----" "---"
printf '%s\n' "$table"
echo
if [[ $built == yes ]]; then
    echo "Build (ninja in $build): ${build_seconds} s"
fi
echo "Total benchmark time: ${total} s"
