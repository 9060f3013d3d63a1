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
#   BENCH_FIGURES       the figures to measure (default abcdef; e.g. c for the
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
figures=${BENCH_FIGURES:-abcdef}

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
if [[ $pg_batches -gt 0 ]]; then
    compgen -G '/usr/lib/postgresql/*/bin/postgres' >/dev/null || missing+=(postgresql)
    command -v psql >/dev/null 2>&1 || missing+=(postgresql-client)
    compgen -G '/usr/lib/*/odbc/psqlodbcw.so' >/dev/null || missing+=(odbc-postgresql)
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
# stay untouched.
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
        export VORLA_PREFIX=$dir/prefix
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

# run_tool DIR TOOL: runs one tool on a fresh copy of the template in DIR and
# prints "wall cpu" in seconds (cpu = user + system).
run_tool() {
    local dir=$1 tool=$2 db driver started ended
    driver=$(readlink -f "$dir/prefix/system32/odbcjt32.dll")
    case $tool in
        vorla) db=bench.mdb ;;
        isql) db=a_isql.db ;;
        sqlite3) db=a_sqlite3.db ;;
    esac
    (
        cd "$dir"
        export VORLA_PREFIX=$dir/prefix
        rm -f "$db" "$db-journal" "$db-wal" "$db-shm"
        cp template.mdb "$db"
        started=$EPOCHREALTIME
        case $tool in
            vorla) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d BenchDsn -i a_vorla.sql -b GO \
                </dev/null >/dev/null 2>err.txt ;;
            isql) /usr/bin/time -f '%U %S' -o cpu.txt isql -b -k "DRIVER=$driver;Database=$db" \
                <a_isql.sql >out.txt 2>err.txt ;;
            sqlite3) /usr/bin/time -f '%U %S' -o cpu.txt sqlite3 "$db" \
                <a_sqlite3.sql >/dev/null 2>err.txt ;;
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
        export VORLA_PREFIX=$dir/prefix
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
        export VORLA_PREFIX=$dir/prefix
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

# figure_e DIR BATCHES ROUNDS: a throwaway PostgreSQL cluster in DIR (run as
# the user postgres when this script runs as root, which the server refuses),
# the role alice with synchronous_commit=off, and the same INSERT statements
# through vorla, isql and psql; interleaved rounds, each on a new table.
figure_e() {
    local dir=$1/pg n=$2 rounds=$3 bin as=() port
    bin=$(dirname "$(compgen -G '/usr/lib/postgresql/*/bin/postgres' | sort -V | tail -n 1)")
    mkdir -p "$dir/data" "$dir/socket"
    if [[ $(id -u) -eq 0 ]]; then
        chown postgres: "$dir/data" "$dir/socket"
        chmod 0711 "$dir" "$1"
        as=(setpriv --reuid=postgres --regid=postgres --clear-groups)
    fi
    note "e. PostgreSQL: initdb in $dir ..."
    "${as[@]}" "$bin/initdb" -D "$dir/data" -U postgres --auth=trust --no-sync -E UTF8 \
        --locale=C >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; die "initdb failed"; }
    port=$((20000 + RANDOM % 30000))
    "${as[@]}" "$bin/postgres" -D "$dir/data" -k "$dir/socket" -p "$port" \
        -c listen_addresses=127.0.0.1 >"$dir/server.log" 2>&1 &
    local server=$!
    # Stopped on every way out of the figure, including a failure.
    trap 'kill -QUIT '"$server"' 2>/dev/null; wait '"$server"' 2>/dev/null; cleanup' EXIT
    local tries=0
    until "$bin/pg_isready" -q -h "$dir/socket" -p "$port"; do
        ((++tries < 300)) || { cat "$dir/server.log" >&2; die "postgres did not start"; }
        sleep 0.1
    done
    local sql=("$bin/psql" -h "$dir/socket" -p "$port" -U postgres -AtqX -v ON_ERROR_STOP=1)
    "${sql[@]}" -d postgres -c "CREATE ROLE alice LOGIN PASSWORD 'secret'" \
        -c "ALTER ROLE alice SET synchronous_commit = off" -c "CREATE DATABASE bench OWNER alice" ||
        die "cannot make the role and the database"
    mkdir -p "$dir/sys"
    cp /etc/odbcinst.ini "$dir/sys/"
    printf '[PgBench]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%s\nDatabase=bench\n' \
        "$port" >"$dir/sys/odbc.ini"
    write_scripts "$dir" "$n" e '$$' psql
    run_pg() {
        local tool=$1 started ended rows
        "${sql[@]}" -d bench -c 'SET client_min_messages = warning' -c 'DROP TABLE IF EXISTS bench' ||
            die "cannot drop the table"
        started=$EPOCHREALTIME
        (
            cd "$dir"
            export ODBCSYSINI=$dir/sys ODBCINI=$dir/none.ini VORLA_PREFIX=$work/prefix
            case $tool in
                vorla) /usr/bin/time -f '%U %S' -o cpu.txt "$vorla" -d PgBench -U alice -P secret \
                    -i e_vorla.sql -b GO </dev/null >/dev/null 2>err.txt ;;
                isql) /usr/bin/time -f '%U %S' -o cpu.txt isql -b PgBench alice secret \
                    <e_isql.sql >out.txt 2>err.txt ;;
                psql) /usr/bin/time -f '%U %S' -o cpu.txt "$bin/psql" -h 127.0.0.1 -p "$port" \
                    -U alice -d bench -qX -v ON_ERROR_STOP=1 -f e_psql.sql >/dev/null 2>err.txt ;;
            esac || { cat err.txt >&2; die "$tool failed on PostgreSQL"; }
            if [[ $tool == isql ]] && grep -q '\[ISQL\]ERROR\|^\[' out.txt; then
                cat out.txt >&2
                die "isql reported an error"
            fi
        )
        ended=$EPOCHREALTIME
        rows=$("${sql[@]}" -d bench -c 'SELECT count(*) FROM bench')
        [[ $rows == "$n" ]] || die "$tool left $rows rows, not $n"
        awk -v a="$started" -v b="$ended" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' "$dir/cpu.txt"
    }
    local tools=(vorla isql psql) r i tool out
    declare -A walls=() cpus=()
    note "e. PostgreSQL: $n INSERT batches, 1 warm-up + $rounds timed rounds ..."
    for tool in "${tools[@]}"; do run_pg "$tool" >/dev/null; done
    for ((r = 0; r < rounds; r++)); do
        for ((i = 0; i < 3; i++)); do
            tool=${tools[$(((r + i) % 3))]}
            out=$(run_pg "$tool")
            note "   round $((r + 1)) $tool: $out"
            walls[$tool]+="${out% *} "
            cpus[$tool]+="${out#* } "
        done
    done
    kill -QUIT "$server" 2>/dev/null
    wait "$server" 2>/dev/null || true
    trap cleanup EXIT
    local wv wi wp cv ci cp
    # shellcheck disable=SC2086
    {
        wv=$(median ${walls[vorla]}) wi=$(median ${walls[isql]}) wp=$(median ${walls[psql]})
        cv=$(median ${cpus[vorla]}) ci=$(median ${cpus[isql]}) cp=$(median ${cpus[psql]})
    }
    section "e. $n INSERT batches on PostgreSQL $(basename "$(dirname "$bin")") over TCP, role with synchronous_commit=off"
    row "" "median of $rounds: wall s (CPU s)" "" ""
    row "   vorla -d DSN -U -P -i script -b GO" "$(calc '%.3f' "$wv") ($(calc '%.2f' "$cv"))" "" ""
    row "   isql -b DSN USER PASSWORD < script" "$(calc '%.3f' "$wi") ($(calc '%.2f' "$ci"))" "" ""
    row "   psql -h 127.0.0.1 -f script" "$(calc '%.3f' "$wp") ($(calc '%.2f' "$cp"))" "" ""
    local ri rp
    ri=$(calc '%.3f' "$wv / $wi") rp=$(calc '%.3f' "$wv / $wp")
    row "   vorla / isql" "${ri}x (CPU $(ratio "$cv" "$ci"))" "<= 1.00x" "$(within "$ri" 1.00)"
    row "   vorla / psql" "${rp}x (CPU $(ratio "$cv" "$cp"))" "(info)" ""
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
    if wants e && [[ $pg_batches -gt 0 ]]; then
        figure_e "$work" "$pg_batches" "$pg_rounds"
    fi
    if wants f; then figure_f "$work"; fi
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
