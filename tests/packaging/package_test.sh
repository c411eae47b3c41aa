#!/usr/bin/env bash
# Builds the Debian package of a build tree, unpacks it and checks what it holds: the program
# runs from it, the manual page renders, the bash completion offers the jobs, the desktop entry
# and icons are there, the documentation and the sample come without generated data, and the
# control file names the packages of every library the program links.
#   package_test.sh <build dir> <version> <ON|OFF: built with the window>
set -euo pipefail

build=$1 version=$2 with_window=$3
case $with_window in ON | on | TRUE | true | 1 | YES | yes) with_window=1 ;; *) with_window=0 ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# What `cmake --install` puts under /usr, staged in the temporary folder, and the package CPack
# makes of it there. The build tree stays as it was: CPack does not install (and so does not
# build) the project itself.
DESTDIR=$work/stage cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  exit 1
}
cpack --config "$build/CPackConfig.cmake" -B "$work/out" -D CPACK_INSTALL_CMAKE_PROJECTS= \
  -D "CPACK_INSTALLED_DIRECTORIES=$work/stage;." >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: no single .deb in ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"
root=$work/root
dpkg-deb -x "$deb" "$root"

# The control file.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == cubemill ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', not $version"
[[ $(field Section) == utils ]] || fail "Section is '$(field Section)'"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
[[ -n $(field Description) ]] || fail "no Description"
depends=$(field Depends)
recommends=$(field Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
# Package names of a relation field, one a line, without versions.
names() { tr ',|' '\n\n' <<<"$1" | sed -e 's/(.*)//' -e 's/[[:space:]]//g' -e '/^$/d'; }
depends_names=$(names "$depends")
recommends_names=$(names "$recommends")
expected=(libc6 libstdc++6 libodbc2 libsqlite3-0)
((with_window)) && expected+=(libqt6core6 libqt6gui6 libqt6widgets6)
for p in "${expected[@]}"; do
  grep -qxF "$p" <<<"$depends_names" || fail "Depends lacks $p"
done
for p in libsqliteodbc odbc-postgresql; do
  grep -qxF "$p" <<<"$recommends_names" || fail "Recommends lacks $p"
done

# The program runs from the package with the system's libraries, and every library it links
# comes from a package in Depends.
program=$root/usr/bin/cubemill
[[ -x $program ]] || { echo "FAIL: no usr/bin/cubemill in the package" >&2; exit 1; }
out=$(cd "$work" && env -u LD_LIBRARY_PATH "$program" --version) || fail "cubemill --version failed"
[[ $out == "cubemill $version" ]] || fail "cubemill --version printed '$out'"
[[ ! -e $work/cubemill.ini ]] || fail "cubemill --version wrote cubemill.ini"
while read -r library; do
  path=$(env -u LD_LIBRARY_PATH ldd "$program" | awk -v l="$library" '$1 == l { print $3 }')
  [[ -n $path ]] || { fail "ldd does not resolve $library"; continue; }
  owner=""
  for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1 }' || true)
    [[ -n $owner ]] && break
  done
  if [[ -z $owner ]]; then
    fail "no package owns $path ($library)"
  elif ! grep -qxF "$owner" <<<"$depends_names"; then
    fail "the program links $library of $owner, which Depends lacks"
  fi
done < <(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }')

# The manual page renders without warnings and has its NAME line.
page=$root/usr/share/man/man1/cubemill.1.gz
if [[ -f $page ]]; then
  LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -E UTF-8 -l "$page" \
    >"$work/man.txt" 2>"$work/man.err" || fail "man -l failed: $(cat "$work/man.err")"
  [[ ! -s $work/man.err ]] || fail "man -l warns: $(cat "$work/man.err")"
  grep -q '^NAME$' "$work/man.txt" || fail "the manual page has no NAME section"
  grep -qE '^ +cubemill - build OLAP offline cube files' "$work/man.txt" ||
    fail "the manual page has no NAME line"
  for section in SYNOPSIS DESCRIPTION OPTIONS "THE SETTINGS FILE" FILES "EXIT STATUS" \
    ENVIRONMENT EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$work/man.txt" || fail "the manual page has no $section section"
  done
  for option in --help --version --no-wait --console --list --check; do
    grep -qe "$option" "$work/man.txt" || fail "the manual page does not mention $option"
  done
else
  fail "no usr/share/man/man1/cubemill.1.gz in the package"
fi

# The bash completion offers the options, and the jobs of ./cubemill.ini but not the sections
# GLOBAL names or those without an OQY key.
completion=$root/usr/share/bash-completion/completions/cubemill
if [[ -f $completion ]]; then
  mkdir "$work/jobs"
  printf '%s\r\n' '[GLOBAL]' 'LOGDIR=log' '[Nightly]' 'OQY=a.oqy' 'GLOBAL=GLOBAL' \
    '[Night Run]' 'oqy = b.oqy' 'Global = Shared' '[Shared]' 'OQY=c.oqy' 'LOGDIR=log' \
    '[Notes]' 'CUB_TS=YYYY' >"$work/jobs/cubemill.ini"
  complete_words() {
    (cd "$work/jobs" && bash -c '
      source "$0"
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=()
      _cubemill
      printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@")
  }
  got=$(complete_words cubemill "" | paste -sd ' ')
  [[ $got == 'Nightly Night\ Run' ]] || fail "jobs completed as '$got'"
  got=$(complete_words cubemill --check Night | paste -sd ' ')
  [[ $got == 'Nightly Night\ Run' ]] || fail "--check completed as '$got'"
  got=$(complete_words cubemill --no-wait --c | paste -sd ' ')
  [[ $got == '--console --check' ]] || fail "options completed as '$got'"
else
  fail "no bash completion in the package"
fi

# The desktop entry and its icons come with the window.
desktop=$root/usr/share/applications/cubemill.desktop
if ((with_window)); then
  if [[ -f $desktop ]]; then
    for line in Exec=cubemill Icon=cubemill Terminal=false 'Categories=Office;Database;'; do
      grep -qxF "$line" "$desktop" || fail "the desktop entry lacks $line"
    done
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
    fi
  else
    fail "no desktop entry in the package"
  fi
  for size in 16 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/cubemill.png
    if [[ -f $icon ]]; then
      # The PNG signature, then IHDR with the width and height.
      header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
      printf -v dims '%08x%08x' "$size" "$size"
      [[ $header == 89504e470d0a1a0a0000000d49484452$dims ]] || fail "$icon is no ${size}px PNG"
    else
      fail "no ${size}x${size} icon in the package"
    fi
  done
fi

# The documentation and the sample, without anything a run of the sample generates.
doc=$root/usr/share/doc/cubemill
for f in README.md LICENSE copyright docs/cube-file.md docs/scheduling.md \
  sample/make_sample_db.sql sample/OQY-Dateien/rel01/Output_Detail.oqy; do
  [[ -f $doc/$f ]] || fail "no $f in usr/share/doc/cubemill"
done
[[ -d $doc/sample/OQY-Dateien/log ]] || fail "no sample/OQY-Dateien/log folder"
generated=$(cd "$doc/sample" && find . \( -name '*.db' -o -name '*.cub' -o -name '*.cub.*' \
  -o -name '*.vbs' -o -name '.git*' -o -name '*.tmp-*' -o -path './run' -o -path './data' \
  -o -path './OQY-Dateien/log/*' \) -print)
[[ -z $generated ]] || fail "generated files in the sample: $generated"

# Nothing outside /usr, and nothing of the build (tests, benchmarks) in it.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr -print)
[[ -z $outside ]] || fail "the package installs outside /usr: $outside"
programs=$(cd "$root/usr/bin" && ls | paste -sd ' ')
[[ $programs == "cubemill cubemill-query" ]] ||
  fail "usr/bin holds other than cubemill and cubemill-query: $programs"
# The query program runs from the package too.
out=$(cd "$work" && env -u LD_LIBRARY_PATH "$root/usr/bin/cubemill-query" --version) ||
  fail "cubemill-query --version failed"
[[ $out == "cubemill-query $version" ]] || fail "cubemill-query --version printed '$out'"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
