#!/usr/bin/env bash
# Installs the Debian 12 packages Cubemill needs to build, test, package and run its sample job.
# Installs only what is missing: as root directly, otherwise through sudo. With every package
# installed it needs neither.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  googletest libgtest-dev libgmock-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libxlsxwriter-dev zlib1g-dev unzip
  unixodbc unixodbc-dev odbcinst libsqliteodbc
  libsqlite3-dev sqlite3
  man-db groff-base
  dpkg-dev file lintian debootstrap
  clang libclang-rt-14-dev clang-tidy clang-format
  ccache
  postgresql-15 postgresql-client-15 odbc-postgresql
  python3
  libcpp-httplib-dev libpugixml-dev openssl
  libolap4j-java libxerces2-java default-jdk-headless
)
# qt6-charts-dev: the chart of cubemill-browse (Qt Charts); libqt6opengl6-dev: Qt Charts' CMake
# package needs Qt's OpenGL one, which qt6-charts-dev does not pull in.
# libxlsxwriter-dev: cubemill-browse exports the pivot as a spreadsheet workbook (.xlsx);
# zlib1g-dev: libxlsxwriter's pkg-config file links -lz, and libxlsxwriter-dev does not depend on
# it (a fresh Debian 12 lacks it; the fresh-root pass of scripts/test.sh found it).
# unzip: the export tests read the workbook's sheet and styles back (unzip -p).
# man-db and groff-base: the packaging test renders the manual pages with `man -l`.
# dpkg-dev and file: CPack's Debian packages get their dependencies from dpkg-shlibdeps (which
# CPack runs on the files `file` finds to be programs); packaging/build-debs.sh takes the
# hardening flags from dpkg-buildflags. lintian: the packaging test and build-debs.sh check both
# packages with it. debootstrap: under CI the packaging test installs the console package on a
# clean Debian 12 root (packaging/clean-install-check.sh).
# clang and libclang-rt-14-dev: the libFuzzer targets (fuzz/, scripts/fuzz.sh and the fuzz-smoke
# tests that CI runs) need clang and its fuzzer and sanitizer runtimes.
# ccache: CI's console pass takes the objects the ci pass compiled with the same flags from it
# (scripts/test.sh), instead of compiling everything twice.
# clang-tidy and clang-format: the static checks of CI (scripts/test.sh): clang-tidy and
# run-clang-tidy with the checks of .clang-tidy, clang-format with the layout of .clang-format.
# libcpp-httplib-dev and libpugixml-dev: cubemill-serve's HTTP (and TLS, through OpenSSL) and
# its reading of SOAP requests, from well-kept libraries rather than hand-written parsers.
# openssl: the server's TLS test makes a self-signed certificate with it.
# python3: its math.fsum is the tests' oracle of correctly rounded sums, and the XMLA client
# test compares its answers with it.
# libolap4j-java, libxerces2-java and default-jdk-headless: the XMLA client test (label xmla,
# tests/xmla) is a real XMLA client: a Java program over the olap4j XMLA driver, which parses
# the server's answers with Xerces; javac compiles it and the driver classes the Debian jar lacks.
# postgresql-15, postgresql-client-15 and odbc-postgresql: the tests labelled `postgres` start
# throwaway PostgreSQL servers (scripts/pg-cluster.sh, scripts/pg-sharded.sh; postgres_fdw, which
# the sharded set-up needs, ships in postgresql-15), fill them with psql and read them through
# psqlODBC, which registers the drivers "PostgreSQL Unicode" and "PostgreSQL ANSI".

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps.sh: these packages are missing and sudo is not available:" >&2
    echo "  ${missing[*]}" >&2
    echo "install them as root:" >&2
    echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "install-deps.sh: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
