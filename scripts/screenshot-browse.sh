#!/usr/bin/env bash
# Takes the pictures of cubemill-browse for the README: builds cubemill, cubemill-query,
# cubemill-browse and the screen grabber, builds the sample cube in a scratch directory, opens
# it under a virtual X server (Xvfb) with Country and Category nested on rows (each country's
# subtotal) and the six best quarters on columns (a Top-N filter; each quarter named with its
# year), scrolls the grid sideways (the row headers stay) and grabs it (docs/browse.png); then
# opens it again with two countries drilled into their cities and a product sliced, and grabs the
# chart (docs/browse-chart.png). Prints cubemill-query's answer to the same query, to compare the
# numbers with the picture.
# Usage: scripts/screenshot-browse.sh [BUILD_DIR]   (default: build-screenshot in the source tree)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-screenshot}")"
grid_png="$root/docs/browse.png"
chart_png="$root/docs/browse-chart.png"

# The virtual X server, a window manager for the frame and xdotool (which switches to the chart
# tab) are needed for the pictures only, so they are installed here rather than with the build's
# packages.
missing=()
command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
command -v openbox >/dev/null || missing+=(openbox)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v sqlite3 >/dev/null || missing+=(sqlite3)
if [ "${#missing[@]}" -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "screenshot-browse.sh: install ${missing[*]} (as root)" >&2; exit 1; }
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A new build directory gets no tests (not needed here); an existing one keeps its settings.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCUBEMILL_WITH_QT=ON >/dev/null
else
  cmake -S "$root" -B "$build" -DCUBEMILL_WITH_QT=ON -DCUBEMILL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target cubemill cubemill-query cubemill-browse cubemill_screen_grab \
  -j2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The sample cube, as the quick start builds it (see sample/README.md).
mkdir -p "$work/OQY-Dateien/rel01" "$work/OQY-Dateien/log" "$work/data" "$work/run"
cp "$root/sample/OQY-Dateien/rel01/Output_Detail.oqy" "$work/OQY-Dateien/rel01/"
sqlite3 "$work/data/sales.db" <"$root/sample/make_sample_db.sql"
(cd "$work/run" && "$build/src/app/cubemill" --console --no-wait --quiet Test)
cube="$(ls "$work"/OQY-Dateien/rel01/Output_Detail_*.cub | head -n 1)"
# Countries on rows with the product categories nested in them and each country's subtotal,
# the six quarters of the largest amounts on columns, Amount the measure.
mdx='SELECT NON EMPTY TopCount([Time].[Quarter].Members, 6,
  ([Geography].[All Geography], [Product].[All Products], [Measures].[Amount])) ON COLUMNS,
  NON EMPTY {Generate([Geography].[Country].Members, {CrossJoin({[Geography].CurrentMember},
  [Product].[Category].Members), ([Geography].CurrentMember, [Product].[All Products])}),
  ([Geography].[All Geography], [Product].[All Products])} ON ROWS
FROM [OCWCube] WHERE [Measures].[Amount]'

# The chart: Spain and Venezuela drilled into their cities, 2024 into its quarters, bikes only;
# the chart shows the cities by the quarters of 2024 and names the slice in its title.
chart_mdx='SELECT NON EMPTY {[Time].[Year].Members, [Time].[2024].Children} ON COLUMNS,
  NON EMPTY {[Geography].[Country].Members, [Geography].[Spain].Children,
  [Geography].[Venezuela].Children} ON ROWS
  FROM [OCWCube] WHERE ([Measures].[Amount], [Product].[Bikes])'

cat >"$work/take.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
cd "$WORK"
# A window manager gives the window its frame with the caption (see scripts/screenshot.sh).
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
# shoot MDX PNG [KEY]: opens the cube on MDX, presses KEY (if given; else scrolls the grid
# sideways with the wheel's horizontal buttons: its row headers stay) and grabs the screen.
shoot() {
  "$BROWSE" "$CUBE" "$1" &
  app=$!
  sleep 4
  xdotool search --sync --onlyvisible --class cubemill-browse windowactivate --sync >/dev/null 2>&1 || true
  if [ -n "${3:-}" ]; then
    xdotool key "$3"
  else
    xdotool mousemove 700 520 click --repeat 12 --delay 50 7
    xdotool mousemove 1100 780
  fi
  sleep 2
  "$GRAB" "$2"
  kill "$app"
  wait "$app" 2>/dev/null || true
}
shoot "$MDX" "$GRID_PNG"
# The chart tab: its mnemonic is Alt+H.
shoot "$CHART_MDX" "$CHART_PNG" alt+h
if [ -n "${wm:-}" ]; then
  kill "$wm"
  wait "$wm" 2>/dev/null || true
fi
INNER
chmod +x "$work/take.sh"

WORK="$work" BROWSE="$build/src/app/cubemill-browse" GRAB="$build/tools/cubemill_screen_grab" \
  CUBE="$cube" MDX="$mdx" CHART_MDX="$chart_mdx" GRID_PNG="$grid_png" CHART_PNG="$chart_png" \
  xvfb-run --auto-servernum --server-args="-screen 0 1200x800x24 -dpi 96" "$work/take.sh"
echo "wrote $grid_png and $chart_png"
echo
echo "cubemill-query's answer to the same query, for the numbers in the picture:"
"$build/src/app/cubemill-query" "$cube" "$mdx"
