#!/usr/bin/env bash
# Takes the picture of the main window for the README (docs/window.png): builds cubemill with
# the window and the screen grabber, starts cubemill without a job under a virtual X server
# (Xvfb) in a scratch directory, grabs the screen cut to the window, and ends cubemill.
# Usage: scripts/screenshot.sh [BUILD_DIR]   (default: build-screenshot in the source tree)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-screenshot}")"
output="$root/docs/window.png"

# The virtual X server and a window manager for the frame are needed for the picture only, so
# they are installed here rather than with the build's packages.
missing=()
command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
command -v openbox >/dev/null || missing+=(openbox)
if [ "${#missing[@]}" -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "screenshot.sh: install ${missing[*]} (as root)" >&2; exit 1; }
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A new build directory gets no tests (not needed here); an existing one keeps its settings.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCUBEMILL_WITH_QT=ON >/dev/null
else
  cmake -S "$root" -B "$build" -DCUBEMILL_WITH_QT=ON -DCUBEMILL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target cubemill cubemill_screen_grab -j2 >/dev/null

cubemill="$build/src/app/cubemill"
grab="$build/tools/cubemill_screen_grab"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Inside the virtual display: cubemill writes its default cubemill.ini into the scratch
# directory and waits for the user; the grabber takes the screen, cut to the window, once the
# window is painted.
cat >"$work/take.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
cd "$WORK"
# A window manager gives the window its frame with the caption; without one the picture shows
# the client area alone. Openbox draws minimize and maximize buttons even for a window whose
# hints forbid them, so its title bar is set to show the icon, the caption and close only.
if command -v openbox >/dev/null; then
  cat >openbox-rc.xml <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><name>Clearlooks</name><titleLayout>NLC</titleLayout></theme>
</openbox_config>
RC
  openbox --sm-disable --config-file "$PWD/openbox-rc.xml" &
  wm=$!
  sleep 1
fi
"$CUBEMILL" &
app=$!
sleep 3
"$GRAB" "$OUTPUT"
kill "$app"
wait "$app" 2>/dev/null || true
if [ -n "${wm:-}" ]; then
  kill "$wm"
  wait "$wm" 2>/dev/null || true
fi
INNER
chmod +x "$work/take.sh"

WORK="$work" CUBEMILL="$cubemill" GRAB="$grab" OUTPUT="$output" \
  xvfb-run --auto-servernum --server-args="-screen 0 1024x400x24 -dpi 96" "$work/take.sh"
echo "wrote $output"
