#!/usr/bin/env bash
# Sets VORLA up on this machine and runs it: installs the Debian packages it
# needs, builds it, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLA_BUILD_TESTS=OFF -DVORLA_BUILD_BENCH=OFF
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

build/app/vorla -h
