#!/usr/bin/env bash
# Builds an optimised release in build-release/ and makes the Debian package from
# it; the last line on stdout is the path of the .deb.
#   scripts/package.sh            install what is missing, build, package
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2

build=build-release
# Debian's own hardening and optimisation (-O2) flags, as a package built by the
# archive tools would get them; debugging information is left out, the package
# ships stripped programs.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=${cxxflags//-g /}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG" \
    "-DCMAKE_CXX_FLAGS=$cxxflags" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build "$build" --parallel 2 >&2
rm -f "$build"/quillon_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/quillon_*.deb)
realpath "$deb"
