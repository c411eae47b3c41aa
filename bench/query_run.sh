#!/usr/bin/env bash
# Builds the query benchmark (Release, console only, no tests) with cubemill-query and the build
# program it runs, and runs it once for each number of source rows given (default 10000000).
# See bench/README.md.
#   bench/query_run.sh [--build-dir DIR] [--cache-dir DIR] [--rounds R] [--runs Q] [--seed S]
#                      [--customer-rows N] [--timeout S] [--only-queries] [--analyst-only]
#                      [--sqlite3 PROG] [--programs DIR] [--query-program PROG] [--keep] [ROWS]...
# Options other than --build-dir (default: build-bench in the project) go to
# cubemill_query_bench. Exits 1 when a command fails or an answer differs from sqlite3's.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
args=()
sizes=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --build-dir=*) build="${1#*=}"; shift ;;
    --cache-dir | --rounds | --runs | --seed | --sqlite3 | --programs | --customer-rows | \
      --timeout | --query-program)
      [ $# -ge 2 ] || { echo "query_run.sh: $1 needs a value" >&2; exit 2; }
      args+=("$1" "$2"); shift 2 ;;
    --keep | --only-queries | --analyst-only | --*=*) args+=("$1"); shift ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) echo "query_run.sh: unknown option $1" >&2; exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ "${#sizes[@]}" -gt 0 ] || sizes=(10000000)

"$root/scripts/install-deps.sh"

# Warnings stay warnings here: GCC 12 warns at -O3 where the project's usual -O2 build does not.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCUBEMILL_WITH_QT=OFF \
  -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target cubemill_query_bench >/dev/null

status=0
for rows in "${sizes[@]}"; do
  "$build/bench/cubemill_query_bench" "${args[@]}" --rows "$rows" || status=$?
  echo
done
exit "$status"
