#!/usr/bin/env bash
# The Windows stage of the tests: cross-compiles VORLA and its Windows test
# programs with MinGW-w64 in build-windows/, then runs every test program
# under Wine, in a Wine prefix of the build tree, with no display. Fails when
# a program fails to build or any test fails. The output of each program is
# kept in build-windows/wine-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

scripts/install-deps.sh --windows

build=build-windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-x86_64.cmake" \
  -DVORLA_BUILD_BENCH=OFF
cmake --build "$build" -j 2

# A Wine prefix of our own, set up without a display. One persistent
# wineserver serves every test program, so each start is quick; it is
# stopped again on the way out.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
# Wine would offer to download Mono and Gecko; the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
logs="$PWD/$build/wine-logs"
rm -rf "$logs"
mkdir -p "$logs"
wineboot -i >"$logs/wineboot.log" 2>&1 </dev/null
mapfile -t programs < <(find "$build/tests" -name '*.exe' | sort)
if [[ ${#programs[@]} -eq 0 ]]; then
  echo "No Windows test programs were built." >&2
  exit 1
fi

passed=0
failed=0
skipped=0
failed_programs=()
for program in "${programs[@]}"; do
  name=$(basename "$program" .exe)
  log="$logs/$name.log"
  # Output goes to a file, not a terminal; Wine passes the exit code on.
  exe="$PWD/$program"
  status=0
  (cd "$build" && timeout 300 wine "$exe" >"$log" 2>&1 </dev/null) || status=$?
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
  if [[ $status -ne 0 ]]; then
    failed_programs+=("$name")
    [[ $bad -eq 0 ]] && failed=$((failed + 1))  # crashed or hung: count it once
    echo "FAIL $name (exit status $status): $ok passed, $bad failed"
    cat "$log"
  else
    echo "ok   $name: $ok passed, $skip skipped"
    grep '^\[  SKIPPED \] [A-Za-z]' "$log" | sed 's/^/       /' || true
  fi
  grep '^Wine differs: ' "$log" | sed 's/^/       /' || true
done

echo "Windows test programs run under Wine: ${#programs[@]}, in $(($(date +%s) - started)) s with the build"
if [[ ${#failed_programs[@]} -gt 0 ]]; then
  echo "Failed under Wine: ${failed_programs[*]}"
fi
echo "wine: $passed passed, $failed failed, $skipped skipped"
if [[ $passed -eq 0 ]]; then
  echo "No Windows test ran." >&2
  exit 1
fi
[[ ${#failed_programs[@]} -eq 0 ]]
