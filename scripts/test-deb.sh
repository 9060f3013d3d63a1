#!/usr/bin/env bash
# The package test, a stage of scripts/test.sh: builds the Debian package
# (scripts/build-deb.sh), checks it with lintian, installs it with apt-get,
# runs the demo from the installed files as a user made for the test, removes
# the package with apt-get, and checks that every file the package installed
# is gone while the user's prefix and database stay.
#   scripts/test-deb.sh            builds the package and tests it
#   scripts/test-deb.sh PACKAGE    tests this package file instead
# It changes the machine: it installs and removes the package vorla and makes
# and deletes a user, so it runs as root (or through sudo), and refuses to
# run where vorla is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "test-deb: $*" >&2
  exit 1
}

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  fail "installing the package needs root: run this as root or with sudo at hand"
fi
for tool in lintian sqlite3 useradd runuser dpkg-deb; do
  command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (scripts/install-deps.sh --test installs it)"
done
installed_status() {
  dpkg-query -W -f='${Status}' vorla 2>/dev/null | grep -q "install ok installed"
}
if installed_status; then
  fail "the package vorla is installed on this machine, and this test would remove it; remove it first (apt-get remove vorla)"
fi

if [[ $# -gt 0 ]]; then
  package=$1
else
  scripts/build-deb.sh
  package=$(ls build-deb/vorla_*.deb)
fi
package=$(realpath "$package")
version=$(dpkg-deb -f "$package" Version)
[[ $(basename "$package") == "vorla_${version}_$(dpkg --print-architecture).deb" ]] ||
  fail "the package file $(basename "$package") does not carry its version $version and architecture"

[[ $(dpkg-deb -f "$package" Recommends) == *unixodbc* ]] ||
  fail "the package does not recommend unixodbc, whose isql the README's commands use"

echo "== lintian $(basename "$package")"
# Lintian warns when it runs as root; it reads the package only.
lintian --fail-on error "$package" 2> >(grep -v "running with root privileges" >&2)

user=""
home=""
installed=0
cleanup() {
  if [[ -n $user ]]; then
    "${as_root[@]}" userdel --remove "$user" 2>/dev/null || true
  fi
  if [[ $installed -eq 1 ]] && installed_status; then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y vorla >/dev/null || true
  fi
}
trap cleanup EXIT

echo "== apt-get install $package"
installed=1
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y "$package"
files=$(dpkg-query -L vorla)

# The release is set once, in CMakeLists.txt: the package and both programs
# name the same one.
for program in vorla-setup vorla-reg; do
  said=$("/usr/bin/$program" --version)
  [[ $said == "$program $version" ]] || fail "'$program --version' says '$said', the package is $version"
done

echo "== the demo, as a new user"
user=vorla-test-$$
"${as_root[@]}" useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() {
  echo "\$ $1"
  "${as_root[@]}" runuser -l "$user" -c "$1"
}
# No set-up step: the user's prefix sets itself up on first use.
as_user "vorla -m2 -o x.mdb -cx -i /usr/share/doc/vorla/examples/demo.sql -b GO"
orders=$("${as_root[@]}" sqlite3 -readonly "$home/x.mdb" "SELECT count(*) FROM orders")
[[ $orders == 3 ]] || fail "x.mdb holds $orders orders after the demo, not 3"
if as_user "vorla-reg query 'HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources' /v VORLA1" 2>/dev/null; then
  fail "the temporary data source VORLA1 is still registered after the demo"
fi

echo "== the README's commands as they stand, on the package alone"
# What apt would install for the package on a machine that has nothing
# installed: every command the README's block runs must come with it.
readme=/usr/share/doc/vorla/README.md
block=$(awk '/^Then any user runs the demo/ { seen = 1 }
  seen && /^```sh/ { inside = 1; next }
  inside && /^```/ { exit }
  inside { print }' "$readme")
[[ -n $block ]] || fail "$readme has no command block after 'Then any user runs the demo'"
empty=$(mktemp)
closure=$(apt-get -s -o Dir::State::status="$empty" -o APT::Install-Recommends=true \
  install "$package" 2>/dev/null | awk '$1 == "Inst" { print $2 }')
rm -f "$empty"
[[ -n $closure ]] || fail "apt cannot work out what the package brings on a machine without packages"
while read -r command _; do
  [[ $(type -t "$command") == builtin ]] && continue
  owner=$(dpkg-query -S "$(type -P "$command")" 2>/dev/null | cut -d: -f1 | head -n 1)
  [[ -n $owner ]] || fail "no package on this machine has the README's command '$command'"
  grep -qx "$owner" <<<"$closure" ||
    fail "the README runs '$command' from $owner, which the package does not bring (it brings: $(tr '\n' ' ' <<<"$closure"))"
done < <(grep -o '^[a-z][a-z0-9-]*\( \|$\)' <<<"$block" | sort -u; sed -n 's/.*| *\([a-z][a-z0-9-]*\).*/\1/p' <<<"$block")
seen=""
while IFS= read -r line; do
  seen=$(as_user "$line")
done <<<"$block"
# The block's last line asks isql for the orders of the data source made
# with -c.
grep -q '^| *3 *|$' <<<"$seen" ||
  fail "the README's last command does not show the 3 orders: $seen"

echo "== apt-get remove vorla"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y vorla
installed=0
installed_status && fail "vorla is still installed after apt-get remove"
# What stays is a folder that another package owns too (/usr/bin, ...).
left=()
while IFS= read -r path; do
  if [[ $path == /. ]] || [[ ! -e $path && ! -L $path ]]; then
    continue
  fi
  if [[ -d $path && ! -L $path ]] && dpkg-query -S "$path" >/dev/null 2>&1; then
    continue
  fi
  left+=("$path")
done <<<"$files"
[[ ${#left[@]} -eq 0 ]] || fail "apt-get remove left files of the package: ${left[*]}"
for kept in "$home/.vorla/registry/user.db" "$home/.vorla/system32/odbcjt32.dll" "$home/x.mdb"; do
  [[ -e $kept || -L $kept ]] || fail "apt-get remove took the user's $kept"
done
echo "The package installs, runs for a new user and is removed cleanly ($(basename "$package"))."
