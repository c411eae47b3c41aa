#!/usr/bin/env bash
# Runs the README's two quick-start commands as a new user would, on a fresh Debian 12 that has
# nothing but the project's files: a minimal root (scripts/debian-root.sh) with a copy of the
# files git knows (committed or not, not ignored) at the same path as here, in which
#   scripts/run-sample.sh   and then   scripts/test.sh
# run as written, as root, with a clean environment. A package the install list misses fails the
# run there even when this machine has it. Everything happens in a mount namespace of its own, so
# that the root's /proc, /sys, /dev and cache mounts go when the run ends, however it ends.
#
# The compiler cache: when this machine has ccache and CCACHE_DIR is set (scripts/test.sh under
# CI), that folder is mounted into the root and the builds there use it with the same settings,
# so that the objects the ci pass compiled are not compiled again.
#
# CUBEMILL_TEST_SUBSET, when set, is passed on to scripts/test.sh (which then runs only those
# tests after building everything). The root is made in build-fresh/ and removed at the end;
# with --keep it stays for a look (chroot build-fresh/root).
#   scripts/fresh-root.sh [--keep]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
keep=0
[[ ${1-} == --keep ]] && keep=1
[[ $(id -u) -eq 0 ]] || { echo "fresh-root.sh: run it as root" >&2; exit 1; }

work=$src/build-fresh
root=$work/root
log=$work/fresh-root.log
if [[ -d $root ]]; then
  rm -rf --one-file-system "$root"
fi
mkdir -p "$work"
scripts/debian-root.sh "$root"
# Whatever still runs in the root (a server a killed test left) ends with the run.
end_processes() {
  local proc
  for proc in /proc/[0-9]*; do
    [[ $(readlink "$proc/root" 2>/dev/null) == "$root" ]] && kill -9 "${proc#/proc/}" 2>/dev/null
  done
  return 0
}
cleanup() {
  end_processes
  ((keep)) || rm -rf --one-file-system "$root"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# What a new machine has and the root lacks: name resolution, and its own name among the hosts
# (ssl-cert's set-up, which PostgreSQL pulls in, asks for it). dpkg need not sync every file of a
# root that is thrown away.
cp /etc/resolv.conf "$root/etc/resolv.conf"
printf '127.0.1.1\t%s\n' "$(hostname)" >>"$root/etc/hosts"
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/cubemill-unsafe-io"

# The project's files at the same path, so that the compiler cache finds the same paths.
mkdir -p "$root$src"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [[ -e $f ]] && printf '%s\0' "$f"; done |
  tar -cf - --null -T - | tar -xpf - -C "$root$src"

environment=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
             TERM=dumb)
# The caller's language, as a user's login brings it along (the compiler cache's keys include it).
for name in LANG LC_ALL LC_CTYPE LC_MESSAGES; do
  [[ -n ${!name-} ]] && environment+=("$name=${!name}")
done
[[ -n ${CUBEMILL_TEST_SUBSET-} ]] && environment+=("CUBEMILL_TEST_SUBSET=$CUBEMILL_TEST_SUBSET")
cache=""
if [[ -n ${CCACHE_DIR-} ]] && command -v ccache >/dev/null; then
  mkdir -p "$CCACHE_DIR"
  cache=/var/cache/cubemill-ccache
  mkdir -p "$root$cache"
  environment+=("CCACHE_DIR=$cache" "CCACHE_BASEDIR=$src" CCACHE_NOHASHDIR=1
                "CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-10G}" CCACHE_COMPILERCHECK=content
                "CCACHE_IGNOREOPTIONS=${CCACHE_IGNOREOPTIONS-}"
                CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache)
fi

echo "fresh-root.sh: scripts/run-sample.sh and scripts/test.sh in a fresh Debian 12 root" \
  "(all they print: $log)"
start=$SECONDS
status=0
unshare --mount --propagation private -- bash -euo pipefail -c '
  root=$1 cache=$2 ccache_dir=$3 src=$4
  shift 4
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  if [[ -n $cache ]]; then mount --bind "$ccache_dir" "$root$cache"; fi
  exec chroot "$root" env -i "$@" bash -c "cd \"$src\" && scripts/run-sample.sh && scripts/test.sh"
' fresh-root "$root" "$cache" "${CCACHE_DIR-}" "$src" "${environment[@]}" >"$log" 2>&1 ||
  status=$?

grep -E '^install-deps.sh: installing|^== |Tests? (passed|failed)|tests passed|tests failed' \
  "$log" | cut -c1-300 || true
if ((status != 0)); then
  echo "fresh-root.sh: failed with exit status $status after $((SECONDS - start)) s; the last" \
    "lines of $log:" >&2
  tail -n 60 "$log" >&2
  exit "$status"
fi
echo "fresh-root.sh: both commands passed in $((SECONDS - start)) s"
