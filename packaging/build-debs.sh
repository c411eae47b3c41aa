#!/usr/bin/env bash
# Builds the release packages cubemill and cubemill-gui: a Release build (window included, no
# tests or benchmarks) with Debian's hardening flags from dpkg-buildflags, then cpack, then
# lintian on both packages. Prints lintian's findings and the packages' paths; exits non-zero
# when a step fails or lintian finds an error (the warnings that remain are explained in
# packaging/README.md).
# Usage: packaging/build-debs.sh [BUILD_DIR]   (default: build-deb in the source tree)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build-deb}")
cd "$root" # dpkg-buildflags maps the current folder out of the debug information

# Every hardening feature (the default set adds no immediate binding), as Debian's flags for C++:
# CMake reads no CPPFLAGS, so the preprocessor's flags go with the compiler's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCUBEMILL_WITH_QT=ON \
  -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_BUILD_BENCHMARKS=OFF "${launcher[@]}" \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
cmake --build "$build" -j"$(nproc)"

rm -f "$build"/cubemill_*.deb "$build"/cubemill-gui_*.deb
(cd "$build" && cpack)
debs=("$build"/cubemill_*.deb "$build"/cubemill-gui_*.deb)

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}"
printf '%s\n' "${debs[@]}"
