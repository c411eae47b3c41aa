#!/usr/bin/env bash
# A sharded PostgreSQL source on one machine: a coordinator and two shards (three throwaway
# servers made by pg-cluster.sh, all on 127.0.0.1). The coordinator's table `sales` is
# partitioned by sale date into postgres_fdw foreign tables on the shards, so that a GROUP BY
# over it runs on both shards at once. Run with --help for the details.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd -P)
readonly cluster="$here/pg-cluster.sh"
readonly kMarker=pg-sharded.marker
readonly kDefaultRows=100000
# The table's columns and its generated rows (sales_table_columns, sales_insert).
# shellcheck source=SCRIPTDIR/pg-sales.sh
. "$here/pg-sales.sh"

usage() {
  cat <<EOF
Usage: pg-sharded.sh start DIR [ROWS] [--watch PID]
       pg-sharded.sh stop DIR
       pg-sharded.sh explain DIR

start    starts three PostgreSQL servers with pg-cluster.sh in DIR/coordinator, DIR/shard1 and
         DIR/shard2 (DIR must not exist, or be empty) and fills them. Of ROWS generated sales
         (default $kDefaultRows), those up to June 2022 go to the table "sales" of shard 1, those
         from July 2022 to the table "sales" of shard 2 (half of the days each). The
         coordinator's table "sales" is partitioned BY RANGE (sale_date); its two partitions
         are postgres_fdw foreign tables on the shards
         (servers with async_capable 'true'), and its database turns on
         enable_partitionwise_aggregate (enable_async_append is on by default), so a GROUP BY that
         holds sale_date is computed on both shards at once. Each server's role "cubemill",
         database "cubemill", port and password are as pg-cluster.sh --help says; the
         coordinator reaches the shards with their own roles.
         --watch PID is handed to pg-cluster.sh: the servers stop when process PID ends.
stop     stops the three servers and removes DIR.
explain  prints EXPLAIN (VERBOSE, COSTS OFF) of a month x country x category GROUP BY through
         the coordinator, whose Async Foreign Scans show the aggregate each shard runs.

The table "sales" has the shape of the benchmark's SQLite source (bench/sales_source.h):
  sale_date DATE, city_id INTEGER, country, city, category, product VARCHAR(20),
  quantity INTEGER, amount NUMERIC(12,2)
with every value computed from the row number and a fixed seed (the same rows every time).
EOF
}

die() {
  echo "pg-sharded.sh: $*" >&2
  exit 1
}

# Fills the shard in $1 with the rows $2 of the generated sales whose dates lie in [$3, $4).
fill_shard() {
  local dir=$1 rows=$2 first=$3 last=$4
  # Every shard computes all rows and keeps those of its dates.
  "$cluster" psql "$dir" >/dev/null <<EOF
SET ROLE cubemill;
CREATE TABLE sales (
$(sales_table_columns),
  CHECK (sale_date >= DATE '$first' AND sale_date < DATE '$last')
);
$(sales_insert "$rows" "$first" "$last")
ANALYZE sales;
EOF
}

# Makes the coordinator in $1 reach the shards in $2 and $3.
link_coordinator() {
  local dir=$1 shard1=$2 shard2=$3
  # The shards' passwords go to psql on standard input, never on a command line.
  "$cluster" psql "$dir" >/dev/null <<EOF
CREATE EXTENSION postgres_fdw;
CREATE SERVER shard1 FOREIGN DATA WRAPPER postgres_fdw OPTIONS (host '127.0.0.1',
  port '$(cat "$shard1/port")', dbname 'cubemill', async_capable 'true', fetch_size '10000');
CREATE SERVER shard2 FOREIGN DATA WRAPPER postgres_fdw OPTIONS (host '127.0.0.1',
  port '$(cat "$shard2/port")', dbname 'cubemill', async_capable 'true', fetch_size '10000');
CREATE USER MAPPING FOR cubemill SERVER shard1
  OPTIONS (user 'cubemill', password '$(cat "$shard1/password")');
CREATE USER MAPPING FOR cubemill SERVER shard2
  OPTIONS (user 'cubemill', password '$(cat "$shard2/password")');
GRANT USAGE ON FOREIGN SERVER shard1, shard2 TO cubemill;
-- Every session on the coordinator (an ODBC client's too) aggregates partition by partition,
-- which lets postgres_fdw send each partition's GROUP BY to its shard; the Append over the
-- foreign partitions runs them at once (enable_async_append, on by default).
ALTER DATABASE cubemill SET enable_partitionwise_aggregate = on;
ALTER DATABASE cubemill SET enable_async_append = on;
SET ROLE cubemill;
CREATE TABLE sales (
$(sales_table_columns)
) PARTITION BY RANGE (sale_date);
CREATE FOREIGN TABLE sales_to_2022_06 PARTITION OF sales
  FOR VALUES FROM ('2021-01-01') TO ('2022-07-01') SERVER shard1 OPTIONS (table_name 'sales');
CREATE FOREIGN TABLE sales_from_2022_07 PARTITION OF sales
  FOR VALUES FROM ('2022-07-01') TO ('2024-01-01') SERVER shard2 OPTIONS (table_name 'sales');
-- Statistics of each partition and of the whole table: a plan over the whole table (the
-- distinct values of a column, say, which a build asks before it has the source group) reads
-- those of the partitioned table.
ANALYZE sales_to_2022_06;
ANALYZE sales_from_2022_07;
ANALYZE sales;
EOF
}

# A start that fails stops the servers it started and removes DIR (the failing step has said why).
starting=
on_exit() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -n "$starting" ]; then
    stop "$starting" || true
  fi
}
trap on_exit EXIT

start() {
  local dir=$1 rows=$2 watch=("${@:3}")
  if [ -e "$dir" ]; then
    [ -d "$dir" ] || die "start: $dir exists and is not a directory"
    [ -z "$(ls -A "$dir")" ] || die "start: $dir is not empty"
  else
    mkdir -p "$dir"
  fi
  dir=$(cd "$dir" && pwd -P)
  : >"$dir/$kMarker"
  starting=$dir
  chmod 755 "$dir"  # the servers' user (postgres, under root) enters it
  local name
  for name in shard1 shard2 coordinator; do
    "$cluster" start "$dir/$name" "${watch[@]}"
  done
  # Half of the days on each shard, so that both have as many rows to group.
  fill_shard "$dir/shard1" "$rows" 2021-01-01 2022-07-01
  fill_shard "$dir/shard2" "$rows" 2022-07-01 2024-01-01
  link_coordinator "$dir/coordinator" "$dir/shard1" "$dir/shard2"
  starting=
  echo "pg-sharded.sh: $rows sales in $dir: coordinator on 127.0.0.1:$(cat "$dir/coordinator/port")," \
    "shard 1 (2021-01 to 2022-06) on 127.0.0.1:$(cat "$dir/shard1/port")," \
    "shard 2 (2022-07 to 2023-12) on 127.0.0.1:$(cat "$dir/shard2/port")"
}

stop() {
  local dir=$1 name status=0
  [ -e "$dir" ] || return 0
  [ -e "$dir/$kMarker" ] || die "stop: $dir was not made by pg-sharded.sh start; left alone"
  for name in coordinator shard1 shard2; do
    "$cluster" stop "$dir/$name" || status=1
  done
  [ "$status" -eq 0 ] || die "stop: a server in $dir did not stop; $dir left"
  rm -rf "$dir"
}

explain() {
  local dir=$1
  [ -f "$dir/coordinator/port" ] || die "explain: no running coordinator in $dir"
  # The month is rolled up from the days on the coordinator: the shards group by the partition
  # key, sale_date (a GROUP BY that does not hold the partition key would be aggregated
  # partially on the coordinator, which postgres_fdw cannot send to a shard).
  "$cluster" psql "$dir/coordinator" <<'EOF'
EXPLAIN (VERBOSE, COSTS OFF)
SELECT date_trunc('month', sale_date)::date AS month, country, category,
       SUM(quantity) AS quantity, SUM(amount) AS amount, SUM(sales) AS sales
FROM (SELECT sale_date, country, category, SUM(quantity) AS quantity, SUM(amount) AS amount,
             COUNT(*) AS sales
      FROM sales GROUP BY sale_date, country, category) AS days
GROUP BY 1, 2, 3;
EOF
}

command=${1:-}
case "$command" in
  -h | --help)
    usage
    ;;
  start)
    [ $# -ge 2 ] || {
      usage >&2
      exit 2
    }
    dir=$2
    shift 2
    rows=$kDefaultRows
    if [ $# -gt 0 ] && [ "$1" != --watch ]; then
      rows=$1
      shift
    fi
    [[ "$rows" =~ ^[1-9][0-9]{0,9}$ ]] || die "start: ROWS must be a positive number, not \"$rows\""
    if [ $# -gt 0 ]; then
      { [ $# -eq 2 ] && [ "$1" = --watch ]; } || {
        usage >&2
        exit 2
      }
    fi
    start "$dir" "$rows" "$@"
    ;;
  stop)
    [ $# -eq 2 ] || {
      usage >&2
      exit 2
    }
    stop "$2"
    ;;
  explain)
    [ $# -eq 2 ] || {
      usage >&2
      exit 2
    }
    explain "$2"
    ;;
  *)
    usage >&2
    exit 2
    ;;
esac
