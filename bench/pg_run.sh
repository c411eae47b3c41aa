#!/usr/bin/env bash
# The push-down benchmark: cubemill builds the coarse and the fine cube from PostgreSQL with the
# rows aggregated by the engine (AGGREGATE=CLIENT), by the server (SOURCE) and as AUTO chooses,
# from one server and from a coordinator with two shards. See bench/README.md.
#   bench/pg_run.sh [--rows N]... [--rounds R] [--set NAME=VALUE]... [--build-dir DIR] [--keep]
# --rows N      rows of the generated sales table (default 10000000); given more than once, each
#               size is measured in turn and a last table compares cubemill's peak RSS by size
# --rounds R    interleaved rounds (default 3; the fastest counts)
# --set N=V     a setting of every server (ALTER SYSTEM, then reloaded), e.g. --set work_mem=256MB
# --build-dir   the Release build to use (default: build-pgbench in the project)
# --keep        keep the jobs, cubes and logs (the servers are stopped all the same)
# Needs the packages of scripts/install-deps.sh. Exits 1 when a build fails or a check finds a
# difference, 0 otherwise, whether or not the targets were met.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cluster="$root/scripts/pg-cluster.sh"
sharded="$root/scripts/pg-sharded.sh"
build="$root/build-pgbench"
sizes=()
rounds=3
settings=()
keep=no
while [ $# -gt 0 ]; do
  case "$1" in
    --rows | --rounds | --set | --build-dir)
      [ $# -ge 2 ] || { echo "pg_run.sh: $1 needs a value (see --help)" >&2; exit 2; } ;;
  esac
  case "$1" in
    --rows) sizes+=("$2"); shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --set) settings+=("$2"); shift 2 ;;
    --build-dir) build="$2"; shift 2 ;;
    --keep) keep=yes; shift ;;
    -h | --help) sed -n '2,14s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "pg_run.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
[ "${#sizes[@]}" -gt 0 ] || sizes=(10000000)
for rows in "${sizes[@]}"; do
  [[ "$rows" =~ ^[1-9][0-9]{0,9}$ ]] || { echo "pg_run.sh: --rows needs a positive number, not \"$rows\"" >&2; exit 2; }
done
[[ "$rounds" =~ ^[1-9][0-9]{0,2}$ ]] || { echo "pg_run.sh: --rounds needs a positive number, not \"$rounds\"" >&2; exit 2; }
for setting in "${settings[@]}"; do
  [[ "$setting" =~ ^[a-z_]+=[A-Za-z0-9_.]+$ ]] || { echo "pg_run.sh: --set needs NAME=VALUE, not \"$setting\"" >&2; exit 2; }
done
# shellcheck source=SCRIPTDIR/../scripts/pg-sales.sh
. "$root/scripts/pg-sales.sh"

"$root/scripts/install-deps.sh"
# Warnings stay warnings here, as in bench/run.sh: GCC 12 warns at -O3 where -O2 does not.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCUBEMILL_WITH_QT=OFF \
  -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target cubemill cubemill_pg_bench >/dev/null

# Everything lives in one temporary directory; the servers in it stop when this script ends,
# however it ends (and, through --watch, even when it is killed).
tmp=$(mktemp -d "${TMPDIR:-/tmp}/cubemill-pg-bench-XXXXXX")
chmod 755 "$tmp"  # the servers' user (postgres, under root) enters it
servers=()
# shellcheck disable=SC2317  # run by the traps
cleanup() {
  local status=$? dir
  trap - EXIT INT TERM
  for dir in "${servers[@]}"; do
    if [ -e "$dir/pg-sharded.marker" ]; then
      "$sharded" stop "$dir" || status=1
    else
      "$cluster" stop "$dir" || status=1
    fi
  done
  if [ "$keep" = yes ]; then
    echo "kept $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The drivers' file of the driver manager with psqlODBC's communication log off (Debian's
# turns it on): the builds would otherwise write a log file each.
mkdir "$tmp/odbc"
drivers=$(odbcinst -j | sed -n 's/^DRIVERS\.*: *//p')
sed 's/^[[:space:]]*[Cc][Oo][Mm][Mm][Ll][Oo][Gg][[:space:]]*=.*/CommLog=0/' "$drivers" >"$tmp/odbc/odbcinst.ini"
export ODBCSYSINI="$tmp/odbc"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# psql as the role "cubemill" on the server in $1, statements on standard input.
psql_as_owner() {
  "$cluster" psql "$1" -U cubemill >/dev/null
}

# Applies the --set settings to the server in $1.
apply_settings() {
  local setting
  for setting in "${settings[@]}"; do
    "$cluster" psql "$1" -c "ALTER SYSTEM SET ${setting%%=*} = '${setting#*=}'" >/dev/null
  done
  [ "${#settings[@]}" -eq 0 ] || "$cluster" psql "$1" -c "SELECT pg_reload_conf()" >/dev/null
}

psqlodbc=$(dpkg-query -W -f '${Version}' odbc-postgresql 2>/dev/null || echo unknown)
described="as pg-cluster.sh makes them (shared_buffers 64MB, fsync off, the rest PostgreSQL's defaults)"
[ "${#settings[@]}" -eq 0 ] || described="$described, and ${settings[*]}"
status=0
for rows in "${sizes[@]}"; do
  work="$tmp/rows-$rows"
  mkdir -p "$work/bench"
  echo "== $rows rows" >&2

  start=$SECONDS
  servers+=("$work/single")
  "$cluster" start "$work/single" --watch $$ >&2
  psql_as_owner "$work/single" <<EOF
CREATE TABLE sales (
$(sales_table_columns)
);
$(sales_insert "$rows")
VACUUM ANALYZE sales;
EOF
  single_load=$((SECONDS - start))

  start=$SECONDS
  servers+=("$work/sharded")
  "$sharded" start "$work/sharded" "$rows" --watch $$ >&2
  for shard in shard1 shard2; do
    psql_as_owner "$work/sharded/$shard" <<<"VACUUM ANALYZE sales;"
  done
  sharded_load=$((SECONDS - start))
  for dir in "$work/single" "$work/sharded/coordinator" "$work/sharded/shard1" "$work/sharded/shard2"; do
    apply_settings "$dir"
  done
  echo "loaded in $single_load s (single), $sharded_load s (two shards)" >&2

  "$build/bench/cubemill_pg_bench" --cubemill "$build/src/app/cubemill" --pg-cluster "$cluster" \
    --work "$work/bench" --rows "$rows" --rounds "$rounds" --results "$tmp/results.tsv" \
    --setup "single=$work/single" \
    --setup "two shards=$work/sharded/coordinator,$work/sharded/shard1,$work/sharded/shard2" \
    --note "psqlODBC $psqlodbc (the engine adds UseDeclareFetch=1;Fetch=10000, and UseDeclareFetch=0 for grouped statements of up to 500,000 planned groups; CommLog off); server settings $described" \
    --note "loading: $single_load s (single), $sharded_load s (two shards: each shard computes every row, keeps its own), VACUUM ANALYZE included" ||
    status=1

  "$sharded" stop "$work/sharded"
  "$cluster" stop "$work/single"
  servers=()
  echo
  [ "$status" -eq 0 ] || break
done

if [ "$status" -eq 0 ] && [ "${#sizes[@]}" -gt 1 ]; then
  "$build/bench/cubemill_pg_bench" --memory-report "$tmp/results.tsv"
fi
exit "$status"
