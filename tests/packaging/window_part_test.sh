#!/usr/bin/env bash
# cubemill and its window part: cubemill links no Qt library; where it would open its window it
# becomes the window part (the same process) when the part is beside it or in
# ../libexec/cubemill, and runs on the console when there is none.
#   window_part_test.sh <folder of cubemill> <ON|OFF: built with the window>
set -euo pipefail

bin=$(cd "$1" && pwd) with_window=$2
case $with_window in ON | on | TRUE | true | 1 | YES | yes) with_window=1 ;; *) with_window=0 ;; esac

work=$(mktemp -d)
cleanup() {
  [[ -n ${window_pid-} ]] && kill -KILL "$window_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# cubemill needs no Qt (nor anything graphical) to load.
graphic=$(readelf -d "$bin/cubemill" | awk '/NEEDED/ && /Qt|libGL|libEGL|xcb|X11|wayland/ { print $NF }')
[[ -z $graphic ]] || fail "cubemill links $(paste -sd ' ' <<<"$graphic")"

# A folder to run the job Test in: cubemill writes its default cubemill.ini there, and the job
# fails at once (its OQY file is missing) after logging to ../OQY-Dateien/log.
mkdir -p "$work/jobs/OQY-Dateien/log" "$work/jobs/run" "$work/runtime"
chmod 700 "$work/runtime"
# Runs `program args...` in the job folder with the display variables given (NAME=value words
# before the program) and none else; sets status, out (standard output) and err.
run() {
  local environment=()
  while [[ $1 == *=* ]]; do environment+=("$1") && shift; done
  status=0
  (cd "$work/jobs/run" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    XDG_RUNTIME_DIR="$work/runtime" "${environment[@]}" "$@" >"$work/out" 2>"$work/err") ||
    status=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
# The job ran on the console: its progress lines on standard output, status 1.
expect_console() { # what
  [[ $status -eq 1 && $out == *"Parameter: Test"* ]] ||
    fail "$1: no console run (status $status, output '${out:0:200}', errors '$err')"
}
# The job ran in the window: the same status, nothing on standard output, the run log written.
expect_window() { # what
  [[ $status -eq 1 && -z $out && $err == *"job Test failed"* ]] ||
    fail "$1: no window run (status $status, output '${out:0:200}', errors '$err')"
}

# Without a window part, a display changes nothing: the job runs on the console, and without a
# job cubemill prints its start-up lines and the hint and exits 0.
mkdir "$work/alone"
cp "$bin/cubemill" "$work/alone/"
run QT_QPA_PLATFORM=offscreen "$work/alone/cubemill" --no-wait Test
expect_console "no window part, QT_QPA_PLATFORM set"
[[ $err != *window* ]] || fail "no window part: standard error mentions a window: $err"
run DISPLAY=:97 "$work/alone/cubemill"
[[ $status -eq 0 && -n $out && $err == *"no job given"* ]] ||
  fail "no window part, no job: status $status, errors '$err'"

if ((with_window)); then
  [[ -x $bin/cubemill-window ]] || { echo "FAIL: no cubemill-window in $bin" >&2; exit 1; }

  # The build folder: the window part beside cubemill. The options may follow the job's words.
  run QT_QPA_PLATFORM=offscreen "$bin/cubemill" Test --no-wait
  expect_window "window part beside cubemill"
  # -C is applied once, by the window part: a relative folder still names the right one.
  (cd "$work/jobs/run" && rm -f cubemill.ini)
  status=0
  (cd "$work/jobs" && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen "$bin/cubemill" -C run --no-wait Test >"$work/out" 2>"$work/err") ||
    status=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
  expect_window "-C run in the window"
  [[ -f $work/jobs/run/cubemill.ini ]] || fail "-C run: no cubemill.ini written in run"

  # Asked for the console, a check or the list, cubemill stays itself.
  run QT_QPA_PLATFORM=offscreen "$bin/cubemill" --console --no-wait Test
  expect_console "--console"
  run QT_QPA_PLATFORM=offscreen "$bin/cubemill" --check Test
  [[ $status -eq 1 && -n $out ]] || fail "--check with a display: status $status, no lines"
  run QT_QPA_PLATFORM=offscreen "$bin/cubemill" --list
  [[ $status -eq 0 && $out == Test$'\t'* ]] || fail "--list with a display printed '$out'"

  # The installed layout: bin/cubemill finds libexec/cubemill/cubemill-window, also when it is
  # started through a link from elsewhere.
  mkdir -p "$work/usr/bin" "$work/usr/libexec/cubemill" "$work/links"
  cp "$bin/cubemill" "$work/usr/bin/"
  cp "$bin/cubemill-window" "$work/usr/libexec/cubemill/"
  ln -s "$work/usr/bin/cubemill" "$work/links/cubemill"
  run QT_QPA_PLATFORM=offscreen "$work/usr/bin/cubemill" --no-wait Test
  expect_window "installed layout"
  run QT_QPA_PLATFORM=offscreen "$work/links/cubemill" --no-wait Test
  expect_window "installed layout through a link"

  # The window part takes over the process: without a job the window stays open, and the
  # process that was started as cubemill is the window part.
  (cd "$work/jobs/run" && exec env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen "$work/usr/bin/cubemill" >/dev/null 2>&1) &
  window_pid=$!
  executable=""
  for ((i = 0; i < 200; i++)); do # up to 20 s for the hand-over
    executable=$(readlink "/proc/$window_pid/exe" 2>/dev/null || true)
    [[ $executable == */cubemill-window ]] && break
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
  done
  [[ $executable == "$work/usr/libexec/cubemill/cubemill-window" ]] ||
    fail "the process started as cubemill runs '$executable', not the window part"
  kill -TERM "$window_pid" 2>/dev/null || true
  wait "$window_pid" 2>/dev/null || true
  window_pid=""

  # A window part that cannot be started: cubemill says so and runs on the console.
  chmod -x "$work/usr/libexec/cubemill/cubemill-window"
  run QT_QPA_PLATFORM=offscreen "$work/usr/bin/cubemill" --no-wait Test
  expect_console "window part not executable"
  [[ $err == *"cannot start the window ("*"cubemill-window: Permission denied); using the console"* ]] ||
    fail "window part not executable: standard error says '$err'"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "window part checks passed"
