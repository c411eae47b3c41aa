#!/usr/bin/env bash
# Builds the Debian packages of a build tree with CPack and checks them: the control fields and
# the dependencies dpkg-shlibdeps found (the console package without any Qt library, also
# across everything a clean system would install), the programs run from the packages (the
# XMLA server answers a request on loopback), the manual pages render and name every option, the bash completion completes as a user types, cubemill-browse with its
# desktop entry and the cube file's MIME type are in the window's package, the documentation, the
# examples and the sample are there without generated data, the packages install side by side
# and purge without a trace (under CI also on a clean Debian 12 made by debootstrap), and lintian
# finds no error and no warning that packaging/README.md does not explain.
#   package_test.sh <build dir> <version> <ON|OFF: built with the window>
set -euo pipefail

build=$1 version=$2 with_window=$3
case $with_window in ON | on | TRUE | true | 1 | YES | yes) with_window=1 ;; *) with_window=0 ;; esac
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The packages, made as `cpack` in the build folder makes them, into the temporary folder.
# CPack first brings the build up to date (its "preinstall" step): a no-op after a full build.
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
shopt -s nullglob
console_debs=("$work"/out/cubemill_*.deb)
gui_debs=("$work"/out/cubemill-gui_*.deb)
shopt -u nullglob
[[ ${#console_debs[@]} -eq 1 ]] || { echo "FAIL: no single cubemill_*.deb" >&2; exit 1; }
console_deb=${console_debs[0]}
if ((with_window)); then
  [[ ${#gui_debs[@]} -eq 1 ]] || { echo "FAIL: no single cubemill-gui_*.deb" >&2; exit 1; }
  gui_deb=${gui_debs[0]}
  debs=("$console_deb" "$gui_deb")
else
  [[ ${#gui_debs[@]} -eq 0 ]] || fail "a build without the window made ${gui_debs[*]}"
  gui_deb=""
  debs=("$console_deb")
fi
for deb in "${debs[@]}"; do
  echo "package: $(basename "$deb")"
  dpkg-deb -x "$deb" "$work/root-$(dpkg-deb -f "$deb" Package)"
done
console=$work/root-cubemill
gui=$work/root-cubemill-gui

# --- The control files -------------------------------------------------------------------------
field() { dpkg-deb -f "$1" "$2"; }
# Package names of a relation field, one a line, without versions.
names() { tr ',|' '\n\n' <<<"$1" | sed -e 's/(.*)//' -e 's/[[:space:]]//g' -e '/^$/d'; }
deb_version=$(field "$console_deb" Version)
[[ $deb_version =~ ^${version//./\\.}-[0-9A-Za-z.+~]+$ ]] ||
  fail "Version is '$deb_version', not $version with a Debian revision"
check_control() { # deb package section
  [[ $(field "$1" Package) == "$2" ]] || fail "Package is '$(field "$1" Package)', not $2"
  [[ $(field "$1" Version) == "$deb_version" ]] || fail "$2: Version is '$(field "$1" Version)'"
  [[ $(field "$1" Section) == "$3" ]] || fail "$2: Section is '$(field "$1" Section)'"
  [[ -n $(field "$1" Maintainer) ]] || fail "$2: no Maintainer"
  [[ -n $(field "$1" Description) ]] || fail "$2: no Description"
  echo "$2 Depends: $(field "$1" Depends)"
}
check_control "$console_deb" cubemill utils
console_depends=$(field "$console_deb" Depends)
grep -qi qt <<<"$console_depends" && fail "cubemill depends on Qt: $console_depends"
for p in libsqliteodbc odbc-postgresql; do
  names "$(field "$console_deb" Recommends)" | grep -qxF "$p" || fail "Recommends lacks $p"
done
if ((with_window)); then
  check_control "$gui_deb" cubemill-gui x11
  gui_depends=$(field "$gui_deb" Depends)
  tr ',' '\n' <<<"$gui_depends" | sed 's/^ *//' | grep -qxF "cubemill (= $deb_version)" ||
    fail "cubemill-gui does not depend on cubemill (= $deb_version): $gui_depends"
  names "$gui_depends" | grep -qxF libqt6widgets6 || fail "cubemill-gui: Depends lacks Qt"
fi

# Every library a program links comes from a package in its package's Depends, with a version
# dpkg-shlibdeps chose; the console programs link no Qt library.
check_libraries() { # program depends
  local program=$1 depends_names library path owner candidate
  depends_names=$(names "$2")
  while read -r library; do
    path=$(env -u LD_LIBRARY_PATH ldd "$program" | awk -v l="$library" '$1 == l { print $3 }')
    [[ -n $path ]] || { fail "ldd does not resolve $library of $program"; continue; }
    owner=""
    for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path#/usr}"; do
      owner=$(dpkg -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1 }' || true)
      [[ -n $owner ]] && break
    done
    if [[ -z $owner ]]; then
      fail "no package owns $path ($library)"
    elif ! grep -qxF "$owner" <<<"$depends_names"; then
      fail "$(basename "$program") links $library of $owner, which Depends lacks"
    fi
  done < <(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }')
}
for program in cubemill cubemill-query cubemill-serve; do
  [[ -x $console/usr/bin/$program ]] || { fail "no usr/bin/$program in cubemill"; continue; }
  check_libraries "$console/usr/bin/$program" "$console_depends"
  qt=$(objdump -p "$console/usr/bin/$program" | awk '$1 == "NEEDED" && $2 ~ /Qt|libGL|libEGL|xcb|X11|wayland/')
  [[ -z $qt ]] || fail "$program links $qt"
  out=$(cd "$work" && env -u LD_LIBRARY_PATH "$console/usr/bin/$program" --version) ||
    fail "$program --version failed"
  [[ $out == "$program $version" ]] || fail "$program --version printed '$out'"
done
[[ ! -e $work/cubemill.ini ]] || fail "cubemill --version wrote cubemill.ini"

# cubemill-serve from the package: its HTTP and XML libraries and OpenSSL's crypto library (the
# users' hashes; TLS comes through the HTTP library) come from Depends (above); started on a free
# loopback port over an empty folder, it answers a Discover of the data sources, logs it, and
# ends with status 0 on SIGTERM.
serve=$console/usr/bin/cubemill-serve
if [[ -x $serve ]]; then
  for library in libcpp-httplib libcrypto libpugixml; do
    objdump -p "$serve" | awk '$1 == "NEEDED" { print $2 }' | grep -q "^$library\.so\." ||
      fail "cubemill-serve does not link $library"
  done
  status=0
  (cd "$work" && env -u LD_LIBRARY_PATH "$serve" --no-such-option) >/dev/null 2>&1 || status=$?
  ((status == 2)) || fail "cubemill-serve --no-such-option exited $status, not 2"
  status=0
  (cd "$work" && env -u LD_LIBRARY_PATH "$serve" --listen=0.0.0.0:8080) >/dev/null 2>&1 || status=$?
  ((status == 1)) || fail "cubemill-serve off loopback without users and TLS exited $status, not 1"
  mkdir "$work/cubes"
  env -u LD_LIBRARY_PATH "$serve" --cubes="$work/cubes" --listen=127.0.0.1:0 \
    --access-log="$work/access.log" >"$work/serve.out" 2>"$work/serve.err" &
  serve_pid=$!
  port=""
  for _ in $(seq 100); do
    port=$(sed -n 's|^cubemill-serve: listening on http://127\.0\.0\.1:\([0-9]*\)/xmla$|\1|p' "$work/serve.out")
    [[ -n $port ]] && break
    kill -0 "$serve_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -n $port ]]; then
    body='<Envelope xmlns="http://schemas.xmlsoap.org/soap/envelope/"><Body><Discover xmlns="urn:schemas-microsoft-com:xml-analysis"><RequestType>DISCOVER_DATASOURCES</RequestType></Discover></Body></Envelope>'
    answer=$(exec 3<>"/dev/tcp/127.0.0.1/$port"
      printf 'POST /xmla HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
        "${#body}" "$body" >&3
      timeout 10 cat <&3) || true
    [[ $answer == "HTTP/1.1 200 "* && $answer == *"<DataSourceName>Cubemill</DataSourceName>"* ]] ||
      fail "cubemill-serve answered the Discover with: ${answer:0:300}"
    # The line is written once the answer has gone out, which may be just after the client read it.
    for _ in $(seq 50); do
      grep -q ';127\.0\.0\.1;-;;DISCOVER_DATASOURCES;200;1;' "$work/access.log" && break
      sleep 0.1
    done
    grep -q ';127\.0\.0\.1;-;;DISCOVER_DATASOURCES;200;1;' "$work/access.log" ||
      fail "cubemill-serve's access log has no line of the Discover: $(cat "$work/access.log")"
  else
    fail "cubemill-serve did not say where it listens: $(cat "$work/serve.out" "$work/serve.err")"
  fi
  kill -TERM "$serve_pid" 2>/dev/null || true
  status=0
  wait "$serve_pid" || status=$?
  ((status == 0)) || fail "cubemill-serve exited $status after SIGTERM, not 0"
else
  fail "no usr/bin/cubemill-serve in cubemill"
fi
if ((with_window)); then
  window=$gui/usr/libexec/cubemill/cubemill-window
  if [[ -x $window ]]; then
    check_libraries "$window" "$gui_depends"
  else
    fail "no usr/libexec/cubemill/cubemill-window in cubemill-gui"
  fi
  # cubemill-browse: in the window's package, its options read before Qt starts (no display).
  browse=$gui/usr/bin/cubemill-browse
  if [[ -x $browse ]]; then
    check_libraries "$browse" "$gui_depends"
    out=$(cd "$work" && env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY "$browse" --version) ||
      fail "cubemill-browse --version failed"
    [[ $out == "cubemill-browse $version" ]] || fail "cubemill-browse --version printed '$out'"
    status=0
    (cd "$work" && env -u LD_LIBRARY_PATH -u DISPLAY "$browse" --no-such-option) >/dev/null 2>&1 ||
      status=$?
    ((status == 2)) || fail "cubemill-browse --no-such-option exited $status, not 2"
    for library in libQt6Charts libxlsxwriter; do
      objdump -p "$browse" | awk '$1 == "NEEDED" { print $2 }' | grep -q "^$library\.so\." ||
        fail "cubemill-browse does not link $library"
    done
  else
    fail "no usr/bin/cubemill-browse in cubemill-gui"
  fi
fi

# --- What each package holds -------------------------------------------------------------------
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort; }
if ((with_window)); then
  both=$(comm -12 <(files "$console_deb") <(files "$gui_deb"))
  [[ -z $both ]] || fail "files in both packages: $both"
fi
for root in "$console" ${gui_deb:+"$gui"}; do
  outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr -print)
  [[ -z $outside ]] || fail "$(basename "$root") installs outside /usr: $outside"
done
programs=$(cd "$console/usr/bin" && ls | paste -sd ' ')
if ((with_window)); then
  gui_programs=$(cd "$gui/usr/bin" 2>/dev/null && ls | paste -sd ' ')
  [[ $gui_programs == "cubemill-browse" ]] ||
    fail "cubemill-gui's usr/bin holds '$gui_programs', not cubemill-browse alone"
fi
[[ $programs == "cubemill cubemill-query cubemill-serve" ]] ||
  fail "usr/bin holds other than cubemill, cubemill-query and cubemill-serve: $programs"
[[ ! -e $console/usr/share/applications ]] || fail "cubemill holds a desktop entry"

# The manual pages render without warnings, with their sections, and point to each other.
render() { # page output
  LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -E UTF-8 -l "$1" >"$2" 2>"$2.err" ||
    fail "man -l $(basename "$1") failed: $(cat "$2.err")"
  [[ ! -s $2.err ]] || fail "man -l $(basename "$1") warns: $(cat "$2.err")"
}
man1=$console/usr/share/man/man1
if [[ -f $man1/cubemill.1.gz && -f $man1/cubemill-query.1.gz && -f $man1/cubemill-serve.1.gz ]]; then
  render "$man1/cubemill.1.gz" "$work/man.txt"
  render "$man1/cubemill-query.1.gz" "$work/man-query.txt"
  render "$man1/cubemill-serve.1.gz" "$work/man-serve.txt"
  grep -qE '^ +cubemill - build OLAP offline cube files' "$work/man.txt" ||
    fail "cubemill.1 has no NAME line"
  grep -qE '^ +cubemill-query - answer an MDX query' "$work/man-query.txt" ||
    fail "cubemill-query.1 has no NAME line"
  grep -qE '^ +cubemill-serve - serve offline cube files' "$work/man-serve.txt" ||
    fail "cubemill-serve.1 has no NAME line"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "THE SETTINGS FILE" FILES "EXIT STATUS" \
    ENVIRONMENT EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$work/man.txt" || fail "cubemill.1 has no $section section"
  done
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$work/man-query.txt" || fail "cubemill-query.1 has no $section section"
  done
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES SECURITY EXAMPLES \
    "SEE ALSO"; do
    grep -qx "$section" "$work/man-serve.txt" || fail "cubemill-serve.1 has no $section section"
  done
  if ((with_window)); then
    page=$gui/usr/share/man/man1/cubemill-browse.1.gz
    if [[ -f $page ]]; then
      render "$page" "$work/man-browse.txt"
      grep -qE '^ +cubemill-browse - browse an offline cube file' "$work/man-browse.txt" ||
        fail "cubemill-browse.1 has no NAME line"
      for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
        grep -qx "$section" "$work/man-browse.txt" || fail "cubemill-browse.1 has no $section section"
      done
    else
      fail "no usr/share/man/man1/cubemill-browse.1.gz in cubemill-gui"
    fi
  fi
  for option in --help --version --no-wait --console --list --check; do
    grep -qe "$option" "$work/man.txt" || fail "cubemill.1 does not mention $option"
  done
  for option in --help --version --csv --json; do
    grep -qe "$option" "$work/man-query.txt" || fail "cubemill-query.1 does not mention $option"
  done
  # Every option the packaged server's --help lists is in its manual page.
  if [[ -x $serve ]]; then
    while read -r option; do
      grep -qe "$option" "$work/man-serve.txt" || fail "cubemill-serve.1 does not mention $option"
    done < <(env -u LD_LIBRARY_PATH "$serve" --help | grep -oE '^ +(-[A-Za-z], )?--[a-z-]+|^ +-[A-Za-z]' |
      sed -E 's/^ +(-[A-Za-z], )?//')
  fi
  # SEE ALSO: each page names the other two.
  see_also() { # rendered-page page...
    local text=$1 page
    shift
    for page in "$@"; do
      sed -n '/^SEE ALSO/,$p' "$text" | grep -qF "$page(1)" ||
        fail "$(basename "$text") does not name $page(1) in SEE ALSO"
    done
  }
  see_also "$work/man.txt" cubemill-query cubemill-serve
  see_also "$work/man-query.txt" cubemill cubemill-serve
  see_also "$work/man-serve.txt" cubemill cubemill-query
  # A crontab line that lets cron mail the progress lines of every night is no example to give.
  while read -r line; do
    [[ $line == *'>/dev/null'* || $line == *--quiet* || $line == *' -q '* ]] ||
      fail "cubemill.1's crontab line sends the progress lines to cron's mail: $line"
  done < <(grep -E '^ +[0-9]+ [0-9]+ \* \* \* ' "$work/man.txt")
else
  fail "the manual pages cubemill.1.gz, cubemill-query.1.gz and cubemill-serve.1.gz are not all in cubemill"
fi

# --- The bash completion -----------------------------------------------------------------------
completion=$console/usr/share/bash-completion/completions/cubemill
if [[ -f $completion ]]; then
  mkdir "$work/jobs" "$work/dash"
  printf '%s\r\n' '[GLOBAL]' 'LOGDIR=log' '[Nightly]' 'OQY=a.oqy' 'GLOBAL=GLOBAL' \
    '[Night Run]' 'oqy = b.oqy' 'Global = Shared' '[Shared]' 'OQY=c.oqy' 'LOGDIR=log' \
    '[Notes]' 'CUB_TS=YYYY' '[-dash]' 'OQY=d.oqy' >"$work/jobs/cubemill.ini"
  printf '%s\r\n' '[-dash]' 'OQY=d.oqy' >"$work/dash/cubemill.ini"

  # What the completion offers for a command line (the cursor at its end), sorted, joined by |.
  offers() {
    (cd "$work/jobs" && bash -c '
      source "$0"
      COMP_LINE=$1 COMP_POINT=${#1} COMPREPLY=()
      _cubemill
      printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$1") | sort | paste -sd '|'
  }
  expect_offers() { # line expected
    local got
    got=$(offers "$1")
    [[ $got == "$2" ]] || fail "completion of '$1' offers '$got', not '$2'"
  }
  # The jobs (not the section GLOBAL names, nor one without OQY); a job whose name starts with
  # "-" after "--", which the program needs to take it for a job.
  expect_offers 'cubemill ' '-- -dash|Night\ Run|Nightly'
  expect_offers 'cubemill -- ' '-dash|Night\ Run|Nightly'
  expect_offers 'cubemill --check ' '-- -dash|Night\ Run|Nightly'
  expect_offers 'cubemill --check=' '-dash|Night\ Run|Nightly'
  expect_offers 'cubemill --no-wait --c' '--check|--console'
  expect_offers 'cubemill --li' '--list'
  expect_offers 'cubemill -q Night' 'Night\ Run|Nightly'
  expect_offers 'cubemill Nightly ' ''
  expect_offers 'cubemill --version ' ''

  # Real keystrokes in an interactive bash: what the program receives after a Tab. The program
  # is a function that prints its arguments, each in <>.
  typed() {
    printf '%s\n' "source '$completion'" \
      "cubemill() { printf 'ARGS:'; printf '<%s>' \"\$@\"; echo; }" "$@" exit >"$work/keys"
    (cd "$work/jobs" && env -i HOME="$work" PATH="$PATH" TERM=dumb INPUTRC=/dev/null \
      script -qec 'bash --norc --noprofile -i' /dev/null <"$work/keys") |
      tr -d '\r' | sed -n 's/.*\(ARGS:<.*\)$/\1/p'
  }
  mapfile -t got < <(typed $'cubemill Nightl\t' $'cubemill "Night R\t' $'cubemill \'Night R\t' \
    $'cubemill Night\\ R\t' $'cubemill Night R\t' $'cubemill Nightly N\t' $'cubemill -d\t' \
    $'cubemill --check=Night\\ R\t' $'cubemill -C ../dash \t' $'cubemill --directory=../dash -- -\t' \
    $'cubemill --no-w\t')
  expected=('ARGS:<Nightly>' 'ARGS:<Night Run>' 'ARGS:<Night Run>' 'ARGS:<Night Run>'
    'ARGS:<Night><Run>' 'ARGS:<Nightly><N>' 'ARGS:<-d>' 'ARGS:<--check=Night Run>'
    'ARGS:<-C><../dash><--><-dash>' 'ARGS:<--directory=../dash><--><-dash>' 'ARGS:<--no-wait>')
  for i in "${!expected[@]}"; do
    [[ ${got[i]-} == "${expected[i]}" ]] ||
      fail "completion case $((i + 1)): the program got '${got[i]-}', not '${expected[i]}'"
  done
else
  fail "no bash completion in cubemill"
fi

# --- The window's files ------------------------------------------------------------------------
if ((with_window)); then
  desktop=$gui/usr/share/applications/cubemill.desktop
  if [[ -f $desktop ]]; then
    for line in Exec=cubemill Icon=cubemill Terminal=false 'Categories=Office;Database;'; do
      grep -qxF "$line" "$desktop" || fail "the desktop entry lacks $line"
    done
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
    fi
  else
    fail "no desktop entry in cubemill-gui"
  fi
  # cubemill-browse's entry opens cube files, whose type the MIME package describes.
  desktop=$gui/usr/share/applications/cubemill-browse.desktop
  if [[ -f $desktop ]]; then
    for line in 'Exec=cubemill-browse %f' Icon=cubemill Terminal=false \
      'MimeType=application/x-cubemill-cube;'; do
      grep -qxF "$line" "$desktop" || fail "cubemill-browse.desktop lacks $line"
    done
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$desktop" || fail "desktop-file-validate rejects cubemill-browse.desktop"
    fi
  else
    fail "no cubemill-browse.desktop in cubemill-gui"
  fi
  mime=$gui/usr/share/mime/packages/cubemill-cube.xml
  if [[ -f $mime ]]; then
    if command -v xmllint >/dev/null; then
      xmllint --noout "$mime" || fail "cubemill-cube.xml is not well-formed XML"
    fi
    grep -qF '<glob pattern="*.cub"/>' "$mime" || fail "cubemill-cube.xml has no *.cub glob"
    # A database built here with the cube's application id is found by its content alone, a
    # plain SQLite database is not: the magic says what docs/cube-file.md says.
    if command -v update-mime-database >/dev/null && command -v gio >/dev/null &&
      command -v sqlite3 >/dev/null; then
      mkdir -p "$work/mime/share/mime/packages" "$work/mime/files"
      cp "$mime" "$work/mime/share/mime/packages/"
      update-mime-database "$work/mime/share/mime" >"$work/mime.log" 2>&1 ||
        fail "update-mime-database rejects cubemill-cube.xml: $(cat "$work/mime.log")"
      sqlite3 "$work/mime/files/cube.db" 'PRAGMA application_id = 1129663820; CREATE TABLE cube(x);'
      sqlite3 "$work/mime/files/plain.db" 'CREATE TABLE t(x);'
      type_of() { XDG_DATA_HOME=$work/mime/share gio info -a standard::content-type "$1" 2>/dev/null |
        awk '/content-type/ { print $2 }'; }
      [[ $(type_of "$work/mime/files/cube.db") == application/x-cubemill-cube ]] ||
        fail "a cube named .db is $(type_of "$work/mime/files/cube.db"), not application/x-cubemill-cube"
      [[ $(type_of "$work/mime/files/plain.db") != application/x-cubemill-cube ]] ||
        fail "a plain SQLite database is taken for a cube"
    fi
  else
    fail "no usr/share/mime/packages/cubemill-cube.xml in cubemill-gui"
  fi
  for size in 16 32 48 64 128 256; do
    icon=$gui/usr/share/icons/hicolor/${size}x${size}/apps/cubemill.png
    if [[ -f $icon ]]; then
      # The PNG signature, then IHDR with the width and height.
      header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
      printf -v dims '%08x%08x' "$size" "$size"
      [[ $header == 89504e470d0a1a0a0000000d49484452$dims ]] || fail "$icon is no ${size}px PNG"
    else
      fail "no ${size}x${size} icon in cubemill-gui"
    fi
  done
fi

# --- The documentation -------------------------------------------------------------------------
# Each package's own copyright file and changelog, the changelog's newest entry the package's.
for root in "$console" ${gui_deb:+"$gui"}; do
  package=${root##*/root-}
  doc=$root/usr/share/doc/$package
  head -n 1 "$doc/copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$package: no machine-readable usr/share/doc/$package/copyright"
  newest=$(zcat "$doc/changelog.Debian.gz" 2>/dev/null | head -n 1)
  [[ $newest == "cubemill ($deb_version) "* ]] ||
    fail "$package: the newest entry of changelog.Debian.gz is '$newest', not $deb_version"
done
doc=$console/usr/share/doc/cubemill
for f in README.md docs/cube-file.md docs/scheduling.md docs/xmla.md examples/crontab \
  examples/cubemill-nightly.service examples/cubemill-nightly.timer examples/cubemill@.service \
  examples/cubemill-serve.service examples/logrotate sample/README.md sample/make_sample_db.sql \
  sample/OQY-Dateien/rel01/Output_Detail.oqy; do
  [[ -f $doc/$f ]] || fail "no $f in usr/share/doc/cubemill"
done
[[ ! -e $doc/LICENSE ]] || fail "usr/share/doc/cubemill holds LICENSE beside copyright"
# The installed README is the package's, not the repository's (whose scripts are not there).
if [[ -f $doc/README.md ]] && grep -q 'scripts/' "$doc/README.md"; then
  fail "the installed README.md names the repository's scripts"
fi
[[ -d $doc/sample/OQY-Dateien/log ]] || fail "no sample/OQY-Dateien/log folder"
generated=$(cd "$doc/sample" && find . \( -name '*.db' -o -name '*.cub' -o -name '*.cub.*' \
  -o -name '*.vbs' -o -name '.git*' -o -name '*.tmp-*' -o -path './run' -o -path './data' \
  -o -path './OQY-Dateien/log/*' \) -print)
[[ -z $generated ]] || fail "generated files in the sample: $generated"
# docs/scheduling.md shows each example as it is installed.
scheduling=$(cat "$doc/docs/scheduling.md")
for example in crontab cubemill-nightly.service cubemill-nightly.timer logrotate; do
  [[ -f $doc/examples/$example ]] || continue
  [[ $scheduling == *"$(cat "$doc/examples/$example")"* ]] ||
    fail "docs/scheduling.md does not show examples/$example as installed"
done
# docs/xmla.md shows the server's unit as installed.
if [[ -f $doc/docs/xmla.md && -f $doc/examples/cubemill-serve.service ]]; then
  [[ $(cat "$doc/docs/xmla.md") == *"$(cat "$doc/examples/cubemill-serve.service")"* ]] ||
    fail "docs/xmla.md does not show examples/cubemill-serve.service as installed"
fi

# --- Installing on a clean system --------------------------------------------------------------
# What apt would install for cubemill on a system with no package at all (an empty dpkg status):
# no Qt, no Mesa, no LLVM, no X or Wayland library. Needs apt's package lists.
if apt-cache show libc6 >/dev/null 2>&1; then
  simulate() { apt-get install -s -o Dir::State::status=/dev/null "$@" 2>&1 | awk '$1 == "Inst" { print $2 }'; }
  pulled=$(simulate "$console_deb")
  echo "a clean system installs $(wc -l <<<"$pulled") packages for cubemill"
  graphic=$(grep -E 'qt|mesa|llvm|^libgl|^libx11|^libxcb|wayland|^libdrm' <<<"$pulled" || true)
  [[ -z $graphic ]] || fail "installing cubemill pulls $(paste -sd ' ' <<<"$graphic")"
  if ((with_window)); then
    # The same look at both packages sees Qt, so the look above can see it.
    simulate "$console_deb" "$gui_deb" | grep -qx libqt6widgets6 ||
      fail "installing cubemill-gui does not pull libqt6widgets6"
  fi
else
  echo "skipped: apt has no package lists (apt-get update) to simulate a clean install"
fi

# Both packages installed into an empty root with dpkg, then purged: they install side by side,
# run no maintainer script, and leave nothing behind but dpkg's own records.
if [[ $(id -u) -eq 0 ]]; then
  sys=$work/sys
  mkdir -p "$sys/var/lib/dpkg/info" "$sys/var/lib/dpkg/updates"
  touch "$sys/var/lib/dpkg/status" "$sys/var/lib/dpkg/available"
  dpkg --root="$sys" --force-depends -i "${debs[@]}" >"$work/dpkg.log" 2>&1 ||
    fail "dpkg -i into an empty root failed: $(cat "$work/dpkg.log")"
  scripts=$(cd "$sys/var/lib/dpkg/info" && ls | grep -Ev '\.(list|md5sums)$|^format$' || true)
  [[ -z $scripts ]] || fail "the packages bring maintainer scripts or conffiles: $scripts"
  dpkg --root="$sys" --purge ${gui_deb:+cubemill-gui} cubemill >"$work/dpkg.log" 2>&1 ||
    fail "dpkg --purge failed: $(cat "$work/dpkg.log")"
  left=$(cd "$sys" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg' \
    ! -path './var/lib/dpkg/*' -print)
  [[ -z $left ]] || fail "purging leaves $left"
else
  echo "skipped: installing into an empty root needs root"
fi

# A real install of cubemill on a clean Debian 12 (debootstrap from the Debian mirror, then apt),
# under CI only, as it takes about two minutes, and once: in the build with the window, whose
# cubemill package is the console build's too.
if [[ -n ${CI-} || -n ${CUBEMILL_CLEAN_INSTALL-} ]] && ((with_window)); then
  "$source_dir/packaging/clean-install-check.sh" "$work/out" >"$work/clean.log" 2>&1 ||
    fail "installing on a clean Debian 12: $(tail -n 20 "$work/clean.log")"
  cat "$work/clean.log"
else
  echo "skipped: installing on a clean Debian 12 (runs with CI or CUBEMILL_CLEAN_INSTALL set, in a build with the window)"
fi

# --- lintian -----------------------------------------------------------------------------------
# No error; each warning must be one that packaging/README.md explains.
if command -v lintian >/dev/null; then
  status=0
  lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian.txt" 2>"$work/lintian.err" || status=$?
  cat "$work/lintian.txt"
  ((status <= 1)) || fail "lintian could not check the packages: $(cat "$work/lintian.err")"
  while read -r line; do
    fail "lintian: $line"
  done < <(grep '^E: ' "$work/lintian.txt")
  explained=$(sed -n 's/^- `\([a-z0-9-]*\)`.*/\1/p' "$source_dir/packaging/README.md")
  while read -r tag; do
    grep -qxF "$tag" <<<"$explained" || fail "lintian warns $tag, which packaging/README.md does not explain"
  done < <(awk '$1 == "W:" { print $3 }' "$work/lintian.txt" | sort -u)
else
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
