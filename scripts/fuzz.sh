#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang) into build-fuzz and runs each for SECONDS (default
# 60) on its seed corpus. Inputs the fuzzer finds go to build-fuzz/corpus/<target>, crashes to
# build-fuzz/artifacts/; the seeds in fuzz/corpus/<target> are only read.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      TARGET: ini_file, oqy_reader, ... or *_fuzzer
#
# Exits 1 when any target found a crash (each target still gets its run).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi

# clang and its fuzzer runtime come with the project's packages.
if ! command -v clang++ >/dev/null 2>&1 ||
  [ ! -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
  scripts/install-deps.sh
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCUBEMILL_FUZZ=ON -DCUBEMILL_WITH_QT=OFF \
  -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --target cubemill_fuzzers -j"$(nproc)"

targets=()
if [ $# -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
else
  for name in "$@"; do targets+=("${name%_fuzzer}_fuzzer"); done
fi

mkdir -p build-fuzz/artifacts
failed=()
for target in "${targets[@]}"; do
  if [ ! -x "build-fuzz/fuzz/$target" ]; then
    echo "fuzz.sh: no fuzz target $target" >&2
    exit 2
  fi
  echo "== $target: $seconds s"
  mkdir -p "build-fuzz/corpus/$target"
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
    "build-fuzz/corpus/$target" "fuzz/corpus/$target"; then
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz.sh: crashes in ${failed[*]}; inputs in build-fuzz/artifacts/" >&2
  exit 1
fi
echo "fuzz.sh: no crash in ${targets[*]}"
