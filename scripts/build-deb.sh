#!/usr/bin/env bash
# Builds the Debian package build-deb/vorla_<version>_<arch>.deb from this
# checkout: the programs, templates, manual pages and documentation, built
# with Debian's hardening flags and packed by CPack, whose Depends come from
# dpkg-shlibdeps. Prints the package's path as its last line.
#   scripts/build-deb.sh
# Needs what scripts/install-deps.sh installs, and dpkg-dev and file
# (scripts/install-deps.sh --test installs those too).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for tool in dpkg-buildflags:dpkg-dev dpkg-shlibdeps:dpkg-dev file:file cmake:cmake ninja:ninja-build; do
  command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool#*:}")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "build-deb: missing Debian packages: $(printf '%s\n' "${missing[@]}" | sort -u | xargs)" >&2
  echo "Install them with: apt-get install $(printf '%s\n' "${missing[@]}" | sort -u | xargs)" >&2
  exit 1
fi

# Debian's build flags, all hardening on. CMake does not read CPPFLAGS, so
# the preprocessor's (_FORTIFY_SOURCE) join the compiler's. They are passed
# on every run, so that a build tree left from an earlier run is built with
# the same flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORLA_BUILD_TESTS=OFF -DVORLA_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${launcher[@]}"
cmake --build build-deb -j "$(nproc 2>/dev/null || echo 2)"

rm -f build-deb/vorla_*.deb
(cd build-deb && cpack -G DEB)
package=$(ls build-deb/vorla_*.deb)
echo "$package"
