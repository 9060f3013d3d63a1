#!/bin/sh
# Runs bench_registry from a build directory against a fresh temporary
# VORLA_PREFIX and prints its figures. Builds nothing.
#
#   bench/registry.sh <build-dir> [benchmark options...]
#
# The prefix goes to /dev/shm when there is one: the figures are meant to show
# how the store's work grows with the number of items, and a disk's fsync
# latency would only add noise. Set TMPDIR and REGISTRY_BENCH_ON_DISK=1 to
# time a real disk instead.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 <build-dir> [benchmark options...]" >&2
    exit 2
fi
build=$1
shift
binary=$(find "$build" -type f -name bench_registry -perm -u+x | head -n 1)
if [ -z "$binary" ]; then
    echo "$0: no bench_registry under $build (build the bench_registry target)" >&2
    exit 1
fi
base=${TMPDIR:-/tmp}
if [ "${REGISTRY_BENCH_ON_DISK:-0}" != 1 ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    base=/dev/shm
fi
prefix=$(mktemp -d "$base/vorla-bench.XXXXXX")
trap 'rm -rf "$prefix"' EXIT INT TERM
echo "prefix: $prefix"
VORLA_PREFIX=$prefix "$binary" --benchmark_counters_tabular=true "$@"
