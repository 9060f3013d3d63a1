#!/usr/bin/env bash
# Runs the command block of the README's "Script features" section as it
# stands, with the built vorla first on PATH, in a folder and prefix of its
# own, and checks that it succeeds and prints the row it makes.
#   readme-examples-test.sh README BIN_DIR
set -euo pipefail
readme=$1
bin_dir=$2
block=$(awk '/^## Script features/ { seen = 1; next }
  seen && /^## / { exit }
  seen && /^```sh/ { inside = 1; next }
  inside && /^```/ { inside = 0; next }
  inside { print }' "$readme")
[[ -n $block ]] || { echo "no command block in the README's Script features" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
out=$(cd "$dir" && PATH="$bin_dir:$PATH" HOME="$dir/home" VORLA_PREFIX="$dir/prefix" \
  ODBCINI="$dir/odbc.ini" bash -euo pipefail -c "$block" 2>&1) || {
  echo "the README's block failed:" >&2
  echo "$out" >&2
  exit 1
}
grep -qx 'name' <<<"$out" && grep -qx 'Ann' <<<"$out" || {
  echo "the README's block does not print the CSV it promises:" >&2
  echo "$out" >&2
  exit 1
}
echo "The README's Script features block runs as it stands."
