#!/usr/bin/env bash
# Runs every test: installs what the tests need, builds, runs CTest and the
# format check, builds the Debian package and tests it by installing it,
# running the demo as a new user and removing it again (scripts/test-deb.sh,
# which needs root), then builds with the address and undefined-behaviour
# sanitizers and runs CTest again, and last cross-builds for Windows and runs
# the Windows test programs under Wine (scripts/test-windows.sh). Closes with
# a summary; when the Windows stage could not run the 32-bit tests (see
# scripts/test-windows.sh) the summary repeats its NOT RUN line.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each stage says how long it took, so that a slow one is seen in CI's log.
stage_started=$SECONDS
stage_done() {
  echo "== $1 took $((SECONDS - stage_started)) s (the test command so far: ${SECONDS} s)"
  stage_started=$SECONDS
}

scripts/install-deps.sh --test
stage_done "installing the packages"

jobs=$(nproc 2>/dev/null || echo 2)

# The test and benchmark switches are given explicitly: build/ may have been
# configured without them by scripts/setup-and-run.sh.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLA_BUILD_TESTS=ON -DVORLA_BUILD_BENCH=ON
cmake --build build -j "$jobs"
cmake --build build --target check_format
(cd build && ctest --output-on-failure --no-tests=error -j "$jobs")
stage_done "the build and its tests"

scripts/test-deb.sh
stage_done "the package test"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORLA_SANITIZE="address;undefined" -DVORLA_BUILD_TESTS=ON
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && ctest --output-on-failure --no-tests=error -j "$jobs")
stage_done "the sanitizer build and its tests"

scripts/test-windows.sh
stage_done "the Windows stage"

echo
echo "Summary: CTest, the format check, the package, the sanitizer build and the Windows stage passed."
if [[ -f build-windows32/NOT-RUN ]]; then
  cat build-windows32/NOT-RUN
fi
