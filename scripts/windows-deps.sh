#!/usr/bin/env bash
# Installs what the Windows build needs on Debian 12 (the mingw-w64 cross compiler, wine to run
# its programs and tests) and makes the SQLite amalgamation it compiles, since Debian has no SQLite
# built for mingw.
#
# The amalgamation (sqlite3.c, sqlite3.h) is made from Debian's own source package of sqlite3, the
# version installed on this machine, so that the Windows programs carry the SQLite the Linux ones
# link. The source package is fetched with apt into a private folder with its own source list: the
# machine's apt set-up (its sources, its lists, its cache) stays untouched.
#
# Usage: scripts/windows-deps.sh [DIR]   (default: .windows-deps/ in the source folder)
# Writes DIR/sqlite/sqlite3.c and DIR/sqlite/sqlite3.h; does nothing when they are there and of
# the installed version. Needs root (or sudo) only to install missing packages.
set -euo pipefail
cd "$(dirname "$0")/.."

case ${1:-} in
  -h | --help)
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
esac
deps=$(realpath -m "${1:-.windows-deps}")

# g++-mingw-w64-x86-64-posix: the cross compiler with POSIX threads (std::mutex and
# std::condition_variable exist only in this variant). wine: runs the programs and their tests.
# dpkg-dev: dpkg-source unpacks the source package; tcl: SQLite's build makes the amalgamation
# with tclsh.
packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 dpkg-dev tcl xz-utils)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  echo "windows-deps.sh: installing ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    --no-install-recommends "${missing[@]}"
fi

version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null ||
  dpkg-query -W -f='${Version}' libsqlite3-0)
out=$deps/sqlite
if [ -f "$out/sqlite3.c" ] && [ "$(cat "$out/VERSION" 2>/dev/null)" = "$version" ]; then
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/cubemill-sqlite.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/etc" "$work/lists/partial" "$work/cache/archives/partial" "$work/src"

# The machine's Debian sources, as source-package lines (both the deb822 and the one-line form).
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$work/etc/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] && sed -n 's/^deb[[:space:]]/deb-src /p' "$f" >"$work/etc/$(basename "$f").list"
done
apt_private=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/etc"
  -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
  -o APT::Sandbox::User="$(id -un)" -q)
apt-get "${apt_private[@]}" update >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  echo "windows-deps.sh: apt could not read the source lists" >&2
  exit 1
}
(cd "$work/src" && apt-get "${apt_private[@]}" source --download-only "sqlite3=$version") \
  >>"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  echo "windows-deps.sh: the source package sqlite3 $version could not be fetched" >&2
  exit 1
}
(cd "$work/src" && dpkg-source -x ./*.dsc tree) >>"$work/apt.log" 2>&1
mkdir -p "$work/src/tree/bld"
(cd "$work/src/tree/bld" && ../configure --disable-tcl && make sqlite3.c) >"$work/make.log" 2>&1 || {
  tail -20 "$work/make.log" >&2
  echo "windows-deps.sh: making the SQLite amalgamation failed" >&2
  exit 1
}

# In place in one step: a half-made folder never looks complete.
mkdir -p "$deps"
rm -rf "$deps/sqlite.new"
mkdir "$deps/sqlite.new"
cp "$work/src/tree/bld/sqlite3.c" "$work/src/tree/bld/sqlite3.h" "$deps/sqlite.new/"
echo "$version" >"$deps/sqlite.new/VERSION"
rm -rf "$out"
mv "$deps/sqlite.new" "$out"
echo "windows-deps.sh: SQLite $version amalgamation in $out"
