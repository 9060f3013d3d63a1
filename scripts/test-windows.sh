#!/usr/bin/env bash
# The Windows stage of the tests: cross-compiles VORLA and its Windows test
# programs with MinGW-w64 twice, for 64-bit Windows in build-windows/ and for
# 32-bit Windows in build-windows32/ (the build that ships: the desktop-
# database driver is a 32-bit library), runs every test program of each
# under Wine in a prefix of its own bitness, with no display, and runs the
# 32-bit vorla.exe end to end (tests/e2e/wine-run.sh). Fails when a program
# fails to build, any test fails, or no test ran. The output of each program
# is kept in <build>/wine-logs/.
#
# When the 32-bit packages cannot be installed because the package
# registry's i386 index could not be read (install-deps.sh's exit status 3),
# the 32-bit program and its tests are still cross-built, everything of the
# 64-bit build runs, and the end-to-end runs use the 64-bit vorla.exe; the
# 32-bit runs are reported as NOT RUN, with the reason, in a block on
# standard error and as the stage's last line, which is also written to
# build-windows32/NOT-RUN for scripts/test.sh's summary. Any other failure
# to install fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

not_run_file=build-windows32/NOT-RUN
mkdir -p build-windows32
rm -f "$not_run_file"
deps_note=$(mktemp)
deps_status=0
VORLA_DEPS_NOTE="$deps_note" scripts/install-deps.sh --windows || deps_status=$?
not_run32=""
if [[ $deps_status -eq 3 ]]; then
  not_run32=$(cat "$deps_note")
elif [[ $deps_status -ne 0 ]]; then
  rm -f "$deps_note"
  exit "$deps_status"
fi
rm -f "$deps_note"

export WINEDEBUG=-all
# Wine would offer to download Mono and Gecko and would write desktop menu
# entries; the tests need none of them.
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY WINEARCH WINELOADER
# Where the kernel cannot run 32-bit programs, 32-bit Wine runs under qemu's
# user-mode emulation (install-deps.sh sets that up). Wine reserves the
# address space above its 2 GB user space piece by piece at every start;
# with qemu's default 4 GB guest space that takes tens of thousands of slow
# calls, a minute per process. A guest space just large enough for Wine's
# shared page above 2 GB cuts a start to a few seconds. Only qemu reads this.
export QEMU_RESERVED_VA=0x81000000

# The two builds: toolchain, Wine loader, prefix architecture and the host's
# SQLite ODBC driver of the same bitness (for the end-to-end runs). Both are
# built; runs lists those whose programs run under Wine.
builds=(build-windows build-windows32)
runs=("${builds[@]}")
e2e_build=build-windows32
if [[ -n $not_run32 ]]; then
  runs=(build-windows)
  e2e_build=build-windows
fi
declare -A toolchain=([build-windows]=x86_64 [build-windows32]=i686)
# Debian's "wine" starts the 32-bit loader when wine32 is installed; the
# 64-bit one is named directly.
declare -A loader=([build-windows]=/usr/lib/wine/wine64 [build-windows32]=/usr/lib/wine/wine)
declare -A wine_arch=([build-windows]=win64 [build-windows32]=win32)
declare -A odbc_driver=(
  [build-windows]=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so
  [build-windows32]=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so
)

# Environment of one build's Wine prefix: one persistent wineserver per
# prefix serves every program, so each start is quick.
use_prefix() {  # build
  export WINEPREFIX="$PWD/$1/wineprefix"
  export WINEARCH=${wine_arch[$1]}
  export WINELOADER=${loader[$1]}
}

stop_wine() {
  local build
  for build in "${runs[@]}"; do
    if [[ -d "$build/wineprefix" ]]; then
      (use_prefix "$build" && wineserver -k >/dev/null 2>&1) || true
    fi
  done
  for pid in "${boot_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
}
boot_pids=()
trap stop_wine EXIT

# The prefixes boot while the programs build: the 32-bit one may run
# emulated, which takes most of a minute.
for build in "${runs[@]}"; do
  mkdir -p "$build/wine-logs"
  rm -f "$build"/wine-logs/*.log
  (
    use_prefix "$build"
    mkdir -p "$WINEPREFIX"
    wineserver -p
    "$WINELOADER" wineboot -i >"$build/wine-logs/wineboot.log" 2>&1 </dev/null
  ) &
  boot_pids+=($!)
done

# Release, as the program ships; without debug information the two builds
# also take a quarter less time.
for build in "${builds[@]}"; do
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-${toolchain[$build]}.cmake" \
    -DVORLA_BUILD_BENCH=OFF
  cmake --build "$build" -j 2
done

for i in "${!runs[@]}"; do
  if ! wait "${boot_pids[$i]}"; then
    echo "Wine could not set up ${runs[$i]}/wineprefix:" >&2
    cat "${runs[$i]}/wine-logs/wineboot.log" >&2
    exit 1
  fi
done
boot_pids=()
echo "Wine prefixes ready after $(($(date +%s) - started)) s"

passed=0
failed=0
skipped=0
failed_programs=()

run_programs() {  # build
  local build=$1 program name log exe status ok bad skip
  local programs=()
  mapfile -t programs < <(find "$build/tests" -name '*.exe' | sort)
  if [[ ${#programs[@]} -eq 0 ]]; then
    echo "No Windows test programs were built in $build." >&2
    failed_programs+=("$build")
    failed=$((failed + 1))
    return
  fi
  use_prefix "$build"
  for program in "${programs[@]}"; do
    name=$(basename "$program" .exe)
    log="$PWD/$build/wine-logs/$name.log"
    # Output goes to a file, not a terminal; Wine passes the exit code on.
    exe="$PWD/$program"
    status=0
    (cd "$build" && timeout 300 "$WINELOADER" "$exe" >"$log" 2>&1 </dev/null) || status=$?
    sed -i 's/\r$//' "$log"  # Windows line ends
    ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p' "$log" | tail -n 1)
    bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:$/\1/p' "$log" | tail -n 1)
    skip=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:$/\1/p' "$log" | tail -n 1)
    ok=${ok:-0}
    bad=${bad:-0}
    skip=${skip:-0}
    passed=$((passed + ok))
    skipped=$((skipped + skip))
    failed=$((failed + bad))
    if [[ $status -ne 0 || $ok -eq 0 ]]; then
      failed_programs+=("$build/$name")
      [[ $bad -eq 0 ]] && failed=$((failed + 1))  # crashed, hung or ran nothing: count it once
      echo "FAIL $build $name (exit status $status): $ok passed, $bad failed"
      cat "$log"
    else
      echo "ok   $build $name: $ok passed, $skip skipped"
      grep '^\[  SKIPPED \] [A-Za-z]' "$log" | sed 's/^/       /' || true
    fi
    grep '^Wine differs: ' "$log" | sed 's/^/       /' || true
  done
}

for build in "${runs[@]}"; do
  run_programs "$build"
done

# The build that ships, end to end (the 64-bit one when 32-bit Wine is
# missing: the same code, and what can run).
use_prefix "$e2e_build"
e2e_log="$e2e_build/wine-logs/e2e.log"
e2e_status=0
tests/e2e/wine-run.sh "$e2e_build" "${odbc_driver[$e2e_build]}" "$WINELOADER" 2>&1 |
  tee "$e2e_log" || e2e_status=$?
e2e_ok=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$e2e_log")
e2e_bad=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$e2e_log")
passed=$((passed + ${e2e_ok:-0}))
failed=$((failed + ${e2e_bad:-0}))
if [[ $e2e_status -ne 0 || ${e2e_ok:-0} -eq 0 ]]; then
  failed_programs+=("$e2e_build/e2e")
  [[ ${e2e_bad:-0} -eq 0 ]] && failed=$((failed + 1))
fi

echo "Windows stage: the test programs of ${runs[*]} and the end-to-end runs of $e2e_build under Wine, in $(($(date +%s) - started)) s with the builds"
if [[ ${#failed_programs[@]} -gt 0 ]]; then
  echo "Failed under Wine: ${failed_programs[*]}"
fi
echo "wine: $passed passed, $failed failed, $skipped skipped"
if [[ $passed -eq 0 ]]; then
  echo "No Windows test ran." >&2
  exit 1
fi
if [[ -n $not_run32 ]]; then
  not_run_line="32-bit Windows tests NOT RUN: $not_run32"
  {
    echo
    echo "=== 32-bit Windows tests NOT RUN ==="
    echo "build-windows32 was built; its test programs and its end-to-end runs were not run"
    echo "under Wine, because $not_run32."
    echo "=== end of NOT RUN ==="
  } >&2
  echo "$not_run_line" >"$not_run_file"
fi
status=0
[[ ${#failed_programs[@]} -eq 0 ]] || status=1
if [[ -n $not_run32 ]]; then
  echo "$not_run_line" >&2
fi
exit "$status"
