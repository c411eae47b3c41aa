#!/usr/bin/env bash
# Makes a fresh Debian 12 root in DIR: `debootstrap --variant=minbase bookworm` from the Debian
# mirror, with the sources a new Debian 12 machine has (bookworm, its updates and its security
# archive). The pristine root is kept as a tarball in the cache folder and unpacked from there while
# it is less than a week old, so that runs after the first one skip debootstrap.
#   scripts/debian-root.sh DIR
# DIR must not exist or be empty. Run as root. The cache folder is $CUBEMILL_ROOT_CACHE, else
# ${XDG_CACHE_HOME:-~/.cache}/cubemill.
set -euo pipefail

root=${1:?usage: debian-root.sh DIR}
[[ $(id -u) -eq 0 ]] || { echo "debian-root.sh: run it as root" >&2; exit 1; }
command -v debootstrap >/dev/null ||
  { echo "debian-root.sh: debootstrap is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
if [[ -e $root ]] && [[ -n $(ls -A "$root") ]]; then
  echo "debian-root.sh: $root is not empty" >&2
  exit 1
fi
cache=${CUBEMILL_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cubemill}
tarball=$cache/debian12-minbase.tar
mirror=http://deb.debian.org/debian

mkdir -p "$root" "$cache"
# A root's own folder is open to every user, as / is (DIR may come from mktemp -d, which makes
# it the owner's alone; the system users the root's services run as must enter it).
if [[ -f $tarball ]] && [[ -n $(find "$tarball" -mtime -7) ]]; then
  tar -xpf "$tarball" -C "$root"
  chmod 755 "$root"
  exit 0
fi
chmod 755 "$root"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1 || {
  tail -n 20 "$log" >&2
  echo "debian-root.sh: debootstrap failed (its last lines above)" >&2
  exit 1
}
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
rm -f "$root"/var/cache/apt/archives/*.deb
# Kept whole or not at all: a run killed while writing leaves only the temporary file.
tar -cpf "$tarball.tmp" -C "$root" .
mv -f "$tarball.tmp" "$tarball"
