#!/usr/bin/env bash
# Packs the Windows console programs for a user: cubemill-windows-x64.zip with cubemill.exe,
# cubemill-query.exe, README.md, LICENSE and the sample (its OQY file, the SQL that makes its
# database, its README and an empty log folder), all under one folder cubemill-windows-x64/.
# Builds the programs first (the windows preset, build-windows/; scripts/windows-deps.sh installs
# what it needs). The zip is written complete or not at all: packed beside the target under a
# temporary name and renamed into place.
#
# Usage: scripts/windows-zip.sh [OUTPUT.zip]   (default: build-windows/cubemill-windows-x64.zip)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

say() { echo "windows-zip.sh: $*"; }

output=$(realpath -m "${1:-build-windows/cubemill-windows-x64.zip}")
command -v zip >/dev/null || {
  say "zip is missing (apt-get install zip)"
  exit 1
}

scripts/windows-deps.sh
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset windows "${launcher[@]}" >/dev/null
cmake --build --preset windows -j2 --target cubemill cubemill-query

work=$(mktemp -d "${TMPDIR:-/tmp}/cubemill-windows-zip.XXXXXX")
partial=""
cleanup() {
  rm -rf "$work"
  [ -z "$partial" ] || rm -f "$partial"
}
trap cleanup EXIT

top=$work/cubemill-windows-x64
mkdir -p "$top/sample/OQY-Dateien/rel01" "$top/sample/OQY-Dateien/log" "$top/sample/data" \
  "$top/sample/run"
cp build-windows/src/app/cubemill.exe build-windows/src/app/cubemill-query.exe README.md LICENSE \
  "$top/"
cp sample/README.md sample/make_sample_db.sql "$top/sample/"
cp sample/OQY-Dateien/rel01/Output_Detail.oqy "$top/sample/OQY-Dateien/rel01/"
# Zip keeps no empty folders: a placeholder keeps the ones the job writes into.
touch "$top/sample/OQY-Dateien/log/.keep" "$top/sample/data/.keep" "$top/sample/run/.keep"

mkdir -p "$(dirname "$output")"
partial=$output.partial.$$.zip
rm -f "$partial"
(cd "$work" && zip -q -r -X "$partial" cubemill-windows-x64)
zip -T -q "$partial" >/dev/null || {
  say "the packed zip does not test sound"
  exit 1
}
mv -f "$partial" "$output"
partial=""
say "wrote $output"
