#!/usr/bin/env bash
# Installs the packages Cubemill needs, builds everything (window included) and runs every test.
# Under CI (CI set) compiler warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCUBEMILL_WITH_QT=ON -DCUBEMILL_BUILD_TESTS=ON \
  -DCUBEMILL_WERROR="$([ -n "${CI:-}" ] && echo ON || echo OFF)"
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
