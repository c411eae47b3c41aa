#!/usr/bin/env bash
# The XMLA client test: builds the test cubes, serves them with cubemill-serve on a free loopback
# port, has a real XMLA client (XmlaClientTest over the olap4j driver) walk each catalog's
# metadata and run its queries, and compares every answer with cubemill-query's on the same cube
# file. The server is stopped and the temporary directory removed however the test ends.
#
# Usage: run_client_test.sh MAKE_CUBES SERVE QUERY CLASSPATH QUERY_DIR [ENGINE_CASES]
#   MAKE_CUBES  the make_xmla_cubes program
#   SERVE       cubemill-serve
#   QUERY       cubemill-query
#   CLASSPATH   the client's class path (its classes, the driver and the XML parser)
#   QUERY_DIR   holds CATALOG.mdx for each catalog to test: one query a line, `#` a comment
#   ENGINE_CASES  the engine's case files (tests/data/engine): each case that builds is served
#               too, with the queries make_xmla_cubes writes for it
set -euo pipefail

if [[ $# -ne 5 && $# -ne 6 ]]; then
  echo "usage: $0 MAKE_CUBES SERVE QUERY CLASSPATH QUERY_DIR [ENGINE_CASES]" >&2
  exit 2
fi
make_cubes=$1 serve=$2 query=$3 classpath=$4 query_dir=$5 engine_cases=${6:-}
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/xmla_client.XXXXXX")
server=
stop_server() {
  if [[ -n $server ]]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=
  fi
}
trap 'stop_server; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

mkdir "$work/cubes" "$work/answers"
"$make_cubes" "$work/cubes" ${engine_cases:+"$engine_cases"}

# The server picks a free port itself (port 0) and says which on its first line.
"$serve" --cubes "$work/cubes" --listen 127.0.0.1:0 >"$work/serve.log" 2>&1 &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's|^cubemill-serve: listening on \(http://127\.0\.0\.1:[0-9]*/xmla\)$|\1|p' \
    "$work/serve.log")
  [[ -n $url ]] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $url ]]; then
  echo "cubemill-serve did not start listening:" >&2
  cat "$work/serve.log" >&2
  exit 1
fi

status=0
shopt -s nullglob
for queries in "$query_dir"/*.mdx "$work/cubes/queries"/*.mdx; do
  catalog=$(basename "$queries" .mdx)
  cube="$work/cubes/$catalog.cub"
  echo "== $catalog"
  if ! java -cp "$classpath" XmlaClientTest "jdbc:xmla:Server=$url;Catalog=$catalog" "$catalog" \
      "$queries" \
      >"$work/$catalog.client.txt"; then
    echo "the XMLA client failed on $catalog" >&2
    status=1
  fi
  mkdir -p "$work/answers/$catalog"
  number=0
  while IFS= read -r mdx; do
    mdx=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$mdx")
    [[ -z $mdx || $mdx == \#* ]] && continue
    number=$((number + 1))
    if ! "$query" --json "$cube" "$mdx" >"$work/answers/$catalog/$number.json"; then
      echo "cubemill-query failed on $catalog's query $number" >&2
      status=1
    fi
  done <"$queries"
  python3 "$here/compare_answers.py" "$work/$catalog.client.txt" "$queries" \
    "$work/answers/$catalog" || status=1
done
if [[ $status -ne 0 ]]; then
  echo "-- cubemill-serve's output:" >&2
  cat "$work/serve.log" >&2
fi
exit "$status"
