#!/usr/bin/env bash
# Installs the packages Cubemill needs, builds everything (window included) and runs every test.
# Under CI (CI set) compiler warnings are errors, and three more passes follow: every test again
# built with AddressSanitizer and UndefinedBehaviorSanitizer, the console-only build (no Qt) with
# its tests, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCUBEMILL_WITH_QT=ON -DCUBEMILL_BUILD_TESTS=ON \
  -DCUBEMILL_WERROR="$([ -n "${CI:-}" ] && echo ON || echo OFF)"
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"

if [ -n "${CI:-}" ]; then
  # Sanitizer pass (build-asan): the same build, window and its tests included, with
  # CUBEMILL_SANITIZE; a leak, a bad memory access or undefined behaviour fails the test. No
  # benchmarks (nothing runs them). Not with -Werror: GCC's -Wmaybe-uninitialized gives false
  # alarms in the standard library's <regex> when the sanitizers instrument it.
  cmake -S . -B build-asan -DCUBEMILL_SANITIZE=ON -DCUBEMILL_WITH_QT=ON -DCUBEMILL_BUILD_TESTS=ON \
    -DCUBEMILL_BUILD_BENCHMARKS=OFF
  cmake --build build-asan -j"$(nproc)"
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

  # Console pass (build-console, the `console` preset): everything but the window, as a machine
  # without Qt builds it, warnings as errors; its tests run without the window's.
  cmake --preset console
  cmake --build --preset console -j"$(nproc)"
  ctest --preset console -j"$(nproc)"

  # Fuzz smoke (build-fuzz, clang): each fuzz target over its seeds in fuzz/corpus and then a fixed
  # number of generated inputs (tests labelled fuzz-smoke). scripts/fuzz.sh runs them for longer.
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCUBEMILL_FUZZ=ON -DCUBEMILL_WITH_QT=OFF \
    -DCUBEMILL_BUILD_TESTS=OFF -DCUBEMILL_BUILD_BENCHMARKS=OFF
  cmake --build build-fuzz --target cubemill_fuzzers -j"$(nproc)"
  ctest --test-dir build-fuzz -L fuzz-smoke --output-on-failure -j"$(nproc)"
fi
