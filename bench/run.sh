#!/usr/bin/env bash
# Builds the engine's speed benchmark (Release, console only, no tests) and runs it once for each
# number of source rows given (default 1000000). See bench/README.md.
#   bench/run.sh [--build-dir DIR] [--cache-dir DIR] [--rounds R] [--seed S] [--programs DIR]
#                [--sqlite3 PROG] [--rollups BUDGET] [--keep] [ROWS]...
# Options other than --build-dir (default: build-bench in the project) go to
# cubemill_speed_bench. Exits 1 when a cube's totals do not match its source or a command fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
args=()
sizes=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --build-dir=*) build="${1#*=}"; shift ;;
    --cache-dir | --rounds | --seed | --sqlite3 | --programs | --rollups)
      [ $# -ge 2 ] || { echo "run.sh: $1 needs a value" >&2; exit 2; }
      args+=("$1" "$2"); shift 2 ;;
    --keep | --*=*) args+=("$1"); shift ;;
    -h | --help) sed -n '2,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ "${#sizes[@]}" -gt 0 ] || sizes=(1000000)

"$root/scripts/install-deps.sh"

# Warnings stay warnings here: GCC 12 warns at -O3 where the project's usual -O2 build does not.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCUBEMILL_WITH_QT=OFF \
  -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target cubemill_speed_bench cubemill_bench_read_source \
  cubemill_bench_build_cube >/dev/null

status=0
for rows in "${sizes[@]}"; do
  "$build/bench/cubemill_speed_bench" "${args[@]}" --rows "$rows" || status=$?
  echo
done
exit "$status"
