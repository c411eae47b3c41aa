#!/usr/bin/env bash
# Installs the packages on a clean Debian 12 and checks them there: scripts/debian-root.sh makes a
# minimal bookworm root (debootstrap from the Debian mirror, or its cached copy), apt installs
# cubemill_*.deb into it, which must pull no Qt, Mesa, LLVM, X or Wayland package, and the sample
# job runs from the installed package. With
# --gui, cubemill-gui_*.deb follows (a few hundred MB more) and `cubemill` must hand a job over
# to the window part (offscreen). Last, both are purged, which must leave none of their files.
# Too slow for CI; run it by hand before a release, as root:
#   packaging/clean-install-check.sh [--gui] DEB_FOLDER [ROOT]   (ROOT: default a new folder
#   under /var/tmp, removed at the end; an existing ROOT from an earlier run is used again)
set -euo pipefail

gui=0
[[ ${1-} == --gui ]] && gui=1 && shift
debs=$(realpath "${1:?usage: clean-install-check.sh [--gui] DEB_FOLDER [ROOT]}")
root=${2-}
[[ $(id -u) -eq 0 ]] || { echo "clean-install-check.sh: run it as root" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "clean-install-check.sh: install debootstrap" >&2; exit 1; }
console_deb=$(ls "$debs"/cubemill_*.deb | head -n 1)
gui_deb=$(ls "$debs"/cubemill-gui_*.deb 2>/dev/null | head -n 1 || true)
((gui)) && [[ -z $gui_deb ]] && { echo "clean-install-check.sh: no cubemill-gui_*.deb" >&2; exit 1; }

remove_root=0
if [[ -z $root ]]; then
  root=$(mktemp -d /var/tmp/cubemill-clean-XXXXXX)
  remove_root=1
fi
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
  if ((remove_root)); then rm -rf "$root"; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT # so that the root is unmounted and removed then too
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }

if [[ ! -x $root/usr/bin/apt-get ]]; then
  echo "== a fresh Debian 12 root (minbase) in $root"
  "$(dirname "$0")/../scripts/debian-root.sh" "$root"
fi
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc" # cubemill finds itself there
cp "$console_deb" ${gui_deb:+"$gui_deb"} "$root/tmp/"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

echo "== apt install ./$(basename "$console_deb") sqlite3"
in_root dpkg-query -W -f '${Package}\n' | sort >"$root/tmp/before"
in_root apt-get install -y -q "/tmp/$(basename "$console_deb")" sqlite3 >"$root/tmp/apt.log" 2>&1 || {
  cat "$root/tmp/apt.log" >&2
  exit 1
}
in_root dpkg-query -W -f '${Package}\n' | sort >"$root/tmp/after"
pulled=$(comm -13 "$root/tmp/before" "$root/tmp/after")
echo "installed $(wc -l <<<"$pulled") packages: $(paste -sd ' ' <<<"$pulled")"
grep -E 'qt|mesa|llvm|^libgl|^libx11|^libxcb|wayland|^libdrm' <<<"$pulled" &&
  fail "installing cubemill pulled the packages above"

echo "== the sample job, as the README of the sample says"
in_root bash -c 'set -e
  cp -r /usr/share/doc/cubemill/sample /tmp/sample && cd /tmp/sample
  mkdir -p data run && sqlite3 data/sales.db < make_sample_db.sql
  cd run && DISPLAY=:0 cubemill --no-wait Test >/tmp/sample.out
  grep -q "^Cube Rename OK$" /tmp/sample.out
  ls ../OQY-Dateien/rel01/Output_Detail_*.cub >/dev/null
  echo "clean run: $(wc -l <../OQY-Dateien/log/cubemill.log) lines in the run log"' ||
  fail "the sample job did not build its cube from the installed package"
in_root man -w cubemill-query >/dev/null 2>&1 || in_root test -f /usr/share/man/man1/cubemill-query.1.gz ||
  fail "no manual page cubemill-query"

packages=(cubemill)
if ((gui)); then
  echo "== apt install ./$(basename "$gui_deb")"
  in_root apt-get install -y -q "/tmp/$(basename "$gui_deb")" >"$root/tmp/apt.log" 2>&1 || {
    cat "$root/tmp/apt.log" >&2
    exit 1
  }
  # With a display, the job runs in the window: nothing on standard output, the same status.
  status=0
  in_root bash -c 'cd /tmp/sample/run && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp \
    cubemill --no-wait Test >/tmp/window.out 2>/tmp/window.err' || status=$?
  [[ $status -eq 0 && ! -s $root/tmp/window.out ]] ||
    fail "cubemill with a display: status $status, output $(head -c 200 "$root/tmp/window.out")"
  packages=(cubemill-gui cubemill)
fi

echo "== apt purge ${packages[*]}"
files=$(in_root dpkg -L "${packages[@]}" | sort -u)
in_root apt-get purge -y -q "${packages[@]}" >"$root/tmp/apt.log" 2>&1 || {
  cat "$root/tmp/apt.log" >&2
  exit 1
}
left=""
while read -r file; do
  [[ $file == /usr/share/doc/cubemill* || $file == /usr/libexec/cubemill* || $file == */cubemill* ]] ||
    continue
  [[ -e $root$file ]] && left+=" $file"
done <<<"$files"
[[ -z $left ]] || fail "purging left$left"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "clean install checks passed"
