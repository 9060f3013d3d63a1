#!/usr/bin/env bash
# scripts/install-deps.sh's decisions about a package index that cannot be
# downloaded, with stand-ins for apt-get, dpkg, dpkg-query and sudo on PATH
# that keep their state in a directory: the packages installed, the
# architectures, how many updates ran, and the indexes that fail.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd -P)/scripts/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/bin"
cat >"$work/bin/stand-in" <<'STANDIN'
#!/usr/bin/env bash
s=$STATE
case "$(basename "$0")" in
  sudo) exec "$@" ;;
  dpkg-query) grep -qx "${!#}" "$s/installed" 2>/dev/null && echo "install ok installed" ;;
  dpkg) [[ $1 == --add-architecture ]] && echo "$2" >>"$s/archs"; cat "$s/archs" 2>/dev/null; exit 0 ;;
  apt-get)
    if [[ " $* " == *" update "* ]]; then
      echo x >>"$s/updates"
      n=$(wc -l <"$s/updates")
      [[ $n -le ${HEALS_AFTER:-99} ]] && for url in $BROKEN; do echo "E: Failed to fetch $url  File has unexpected size"; done >&2
      [[ -n $BROKEN && $n -le ${HEALS_AFTER:-99} ]] && exit 100
      exit 0
    fi
    shift 4  # -o Lock install -y --no-install-recommends
    [[ " $* " == *":i386 "* && -n ${I386_FAILS:-} ]] && { echo "$I386_FAILS" >&2; exit 100; }
    printf '%s\n' "$@" >>"$s/installed" ;;
esac
STANDIN
chmod +x "$work/bin/stand-in"
for tool in sudo dpkg-query dpkg apt-get; do ln -s stand-in "$work/bin/$tool"; done

i386_index=http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz
amd64_index=http://deb.example/debian-security/dists/bookworm-security/main/binary-amd64/Packages.xz
unmet="E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
dpkg_error="E: Sub-process /usr/bin/dpkg returned an error code (1)"

passed=0
failed=0
# mode (+: the 64-bit packages are installed already) | failing indexes | updates that fail | i386 install error | status | updates run | stderr holds
cases=(
  "--windows||99||0|1|All required"
  "--windows|$i386_index|99|$unmet|3|3|NOT RUN ==="
  "--windows+|$i386_index|99|$unmet|3|3|NOT RUN ==="
  "--windows|$i386_index|1||0|2|trying again"
  "--windows|$amd64_index|99|$unmet|100|3|$amd64_index"
  "--windows|$i386_index|99|$dpkg_error|100|3|returned an error"
  "--test|$amd64_index|99||0|3|Going on with"
)
for row in "${cases[@]}"; do
  IFS='|' read -r mode broken heals i386_fails want_status want_updates want_text <<<"$row"
  state=$(mktemp -d "$work/state.XXXX")
  if [[ $mode == *+ ]]; then
    mode=${mode%+}
    printf '%s\n' wine wine64 g++-mingw-w64-x86-64-posix >"$state/installed"
  fi
  status=0
  STATE=$state BROKEN=$broken HEALS_AFTER=$heals I386_FAILS=$i386_fails PATH="$work/bin:$PATH" \
    VORLA_WINE32_LOADER=true VORLA_APT_UPDATE_PAUSE=0 VORLA_DEPS_NOTE="$state/note" \
    bash "$script" "$mode" >"$state/out" 2>"$state/err" || status=$?
  updates=$(wc -l <"$state/updates" 2>/dev/null || echo 0)
  problems=()
  [[ $status == "$want_status" ]] || problems+=("exit status $status, not $want_status")
  [[ $updates == "$want_updates" ]] || problems+=("$updates updates, not $want_updates")
  grep -qF -- "$want_text" "$state/err" "$state/out" || problems+=("no '$want_text'")
  if [[ $want_status == 3 ]]; then
    grep -qx wine64 "$state/installed" || problems+=("the 64-bit packages were not installed")
    grep -qF "$i386_index" "$state/note" || problems+=("the note does not name the index")
  elif [[ $want_status == 0 && $mode == --windows ]]; then
    grep -qx wine32:i386 "$state/installed" || problems+=("wine32:i386 was not installed")
  fi
  if [[ ${#problems[@]} -eq 0 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $row: ${problems[*]}"
    sed 's/^/  /' "$state/err"
  fi
done
echo "install-deps: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
