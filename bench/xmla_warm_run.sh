#!/usr/bin/env bash
# The warm XMLA benchmark: the time a pivot client's XMLA driver (olap4j) takes for analyst
# questions on a retail cube the size of the classic sample warehouses, served by cubemill-serve.
# See bench/README.md.
#   bench/xmla_warm_run.sh [--build-dir DIR] [--runs N] [--rows N] [--seed S]
# Without --build-dir it installs what is missing (scripts/install-deps.sh) and builds a Release
# build in build-bench/; with it, it builds the programs it needs in DIR, which must have been
# configured with the benchmarks (and a JDK with the olap4j jars found). Everything else happens in
# a temporary directory that is removed at the end, and the server is stopped however the run
# ends. Exits 1 when a question fails or an answer differs from cubemill-query's (the table is
# then not printed), 0 otherwise, whether or not the target was met.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build=
runs=50
rows=87000
seed=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir | --runs | --rows | --seed)
      [ $# -ge 2 ] || { echo "xmla_warm_run.sh: $1 needs a value" >&2; exit 2; }
      case "$1" in
        --build-dir) build="$2" ;;
        --runs) runs="$2" ;;
        --rows) rows="$2" ;;
        --seed) seed="$2" ;;
      esac
      shift 2 ;;
    -h | --help) sed -n '2,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "xmla_warm_run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

targets=(cubemill-serve cubemill-query cubemill_bench_retail_cube xmla_warm_bench)
if [ -z "$build" ]; then
  build="$root/build-bench"
  "$root/scripts/install-deps.sh"
  # Warnings stay warnings here: GCC 12 warns at -O3 where the project's usual -O2 build does not.
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCUBEMILL_WITH_QT=OFF \
    -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_WERROR=OFF -DCUBEMILL_BUILD_BENCHMARKS=ON >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
classpath_file="$build/bench/xmla_warm_bench.classpath"
if [ ! -f "$classpath_file" ]; then
  echo "xmla_warm_run.sh: $build has no XMLA client (no JDK or olap4j jars were found)" >&2
  exit 1
fi
classpath=$(cat "$classpath_file")
questions="$root/bench/xmla/retail_questions.mdx"

work=$(mktemp -d "${TMPDIR:-/tmp}/xmla_warm.XXXXXX")
server=
client=
stop() {  # `stop server` or `stop client`: ends that process and waits for it
  local pid
  if [ "$1" = client ]; then pid=$client; client=; else pid=$server; server=; fi
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
}
trap 'stop client; stop server; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

mkdir "$work/cubes" "$work/answers"
"$build/bench/cubemill_bench_retail_cube" --rows "$rows" --seed "$seed" "$work/cubes" \
  2>"$work/build.log" || { cat "$work/build.log" >&2; exit 1; }

# The server picks a free port itself (port 0) and says which on its first line.
"$build/src/app/cubemill-serve" --cubes "$work/cubes" --listen 127.0.0.1:0 \
  --access-log "$work/access.log" >"$work/serve.log" 2>&1 &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's|^cubemill-serve: listening on \(http://127\.0\.0\.1:[0-9]*/xmla\)$|\1|p' \
    "$work/serve.log")
  [ -n "$url" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "cubemill-serve did not start listening:" >&2
  cat "$work/serve.log" >&2
  exit 1
fi

version=$("$build/src/app/cubemill-serve" --version | head -n 1)
echo "$version, $(java -version 2>&1 | head -n 1), $(nproc) cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
status=0
# In the background, so that a signal to this script stops it at once (the traps above).
java -cp "$classpath" XmlaWarmBench "jdbc:xmla:Server=$url;Catalog=retail" "$questions" \
  "$work/client.txt" "$runs" >"$work/table.md" &
client=$!
wait "$client" || status=1
client=
stop server

# Every answer the client got must be cubemill-query's on the same cube file.
number=0
while IFS= read -r mdx; do
  mdx=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$mdx")
  [[ -z $mdx || $mdx == \#* ]] && continue
  number=$((number + 1))
  "$build/src/app/cubemill-query" --json "$work/cubes/retail.cub" "$mdx" \
    >"$work/answers/$number.json" || status=1
done <"$questions"
python3 "$root/tests/xmla/compare_answers.py" "$work/client.txt" "$questions" "$work/answers" \
  >"$work/compare.txt" || status=1
if [ "$status" -ne 0 ]; then
  echo "the benchmark failed or an answer differs from cubemill-query's; no times are reported:" >&2
  cat "$work/compare.txt" "$work/serve.log" >&2
  exit 1
fi
cat "$work/table.md"
echo "$(tail -n 1 "$work/compare.txt") as cubemill-query's;" \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
echo
python3 "$root/bench/xmla/server_times.py" "$work/access.log" "$questions" "$runs"
