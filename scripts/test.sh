#!/usr/bin/env bash
# Installs the packages Cubemill needs, builds everything (window included) and runs every test,
# with the CMake preset `dev` in build/.
#
# Under CI (CI set) the build is the `ci` preset's, in build-ci/ (warnings are errors), and more
# passes follow, each with the preset and the build folder of its name, each built once:
#   format   clang-format --dry-run --Werror over every C++ source in git (before any build)
#   ci       everything, every test (the PostgreSQL and packaging tests run here only)
#   tidy     clang-tidy (.clang-tidy) over the C++ files changed since the merge base
#   asan     AddressSanitizer and UndefinedBehaviorSanitizer, without the window (Qt; its tests
#            run in the ci pass): every test but the PostgreSQL and packaging ones and three
#            load tests that take minutes under the sanitizer and add no path the others miss:
#            the rollup budget over estimated sizes, the kills at every moment, the
#            20,000-member axis (not with -Werror: GCC's -Wmaybe-uninitialized gave false
#            alarms under the sanitizer)
#   tsan     ThreadSanitizer: only the test programs of the code that starts threads, and their
#            tests (label threads)
#   windows  scripts/windows-test.sh: the console programs and their tests cross-compiled for
#            Windows (mingw-w64), the tests and the sample job run under wine; the sample job
#            also with the Linux programs built without Qt (the console preset, warnings are
#            errors, its objects the ci pass's from the compiler cache)
#   fuzz     each fuzz target (clang) over its seeds and 20,000 generated inputs
# Each pass says how long it took; the first that fails ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/install-deps.sh  # once, for every pass

# timed <pass> <command...>: runs the command and says how long it took.
timed() {
  local pass=$1 start=$SECONDS
  shift
  "$@"
  echo "test.sh: pass $pass took $((SECONDS - start)) s"
}

# build_and_test <preset>: configures, builds and runs the tests of the preset.
build_and_test() {
  cmake --preset "$1"
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1" -j"$jobs"
}

# Every C++ source as .clang-format lays it out; nothing skipped.
check_format() {
  git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
}

# The checks of .clang-tidy with build-ci's compile_commands.json, over the C++ files changed
# since the merge base with origin/main, or since the last commit when that is HEAD itself (each
# header by the .cpp file beside it): the whole tree takes over an hour of the 2-core CI machine.
# With CUBEMILL_TIDY_ALL set, and when git knows no base, every file of the build. Any finding
# fails (WarningsAsErrors).
check_tidy() {
  local all=${CUBEMILL_TIDY_ALL:-} base="" files=() path
  base=$(git merge-base HEAD origin/main 2>/dev/null || true)
  if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
    base=$(git rev-parse -q --verify HEAD~1 || true)
  fi
  [ -n "$base" ] || all=1
  if [ -n "$all" ]; then
    files=("^$PWD/(src|tests|bench|tools)/")
  else
    while IFS= read -r path; do
      if [ -f "$path" ]; then files+=("^$PWD/${path//./\\.}\$"); fi
    done < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h' | sed 's/\.h$/.cpp/' |
      sort -u)
    if [ "${#files[@]}" -eq 0 ]; then
      echo "test.sh: no C++ file changed since $(git rev-parse --short "$base"): nothing for clang-tidy"
      return 0
    fi
    echo "test.sh: clang-tidy over the ${#files[@]} C++ files changed since $(git rev-parse --short "$base")"
  fi
  run-clang-tidy -quiet -p build-ci -j "$jobs" "${files[@]}" >build-ci/clang-tidy.log 2>&1 || {
    sed 's/\x1b\[[0-9;]*m//g' build-ci/clang-tidy.log | grep -E '(warning|error):' | sort -u >&2
    echo "test.sh: clang-tidy found the above (all it said is in build-ci/clang-tidy.log)" >&2
    return 1
  }
}

if [ -z "${CI:-}" ]; then
  build_and_test dev
  exit 0
fi

# A compiler cache for this run only (.ccache/, empty on a fresh clone): the windows pass builds
# the console preset, the same sources with the same flags as the ci pass (only the window
# differs), so it takes those objects from the cache instead of compiling them a second time.
# The paths are made relative to the source folder and the working folder is left out of the
# hash, so that build-ci/ and build-windows/host/ give the same keys.
if command -v ccache >/dev/null; then
  export CCACHE_DIR=${CCACHE_DIR:-$PWD/.ccache} CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-10G}
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi

timed format check_format
timed ci build_and_test ci
timed tidy check_tidy
timed asan build_and_test asan
timed tsan build_and_test tsan
timed windows scripts/windows-test.sh
timed fuzz build_and_test fuzz
