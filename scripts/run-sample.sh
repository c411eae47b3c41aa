#!/usr/bin/env bash
# Runs the quick-start sample job: installs what the build needs, builds cubemill, creates the
# sample sales database, runs the job "Test" in sample/run and shows the log and the cube.
# Exits with cubemill's exit status.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh"

# The preset of scripts/test.sh, in the same folder: the tests build on what this built.
cmake --preset dev
cmake --build --preset dev -j"$(nproc)" --target cubemill

# A fresh database every time, so that the cube's totals are always the same.
mkdir -p sample/data
rm -f sample/data/sales.db
sqlite3 sample/data/sales.db < sample/make_sample_db.sql

# The program writes its settings file (cubemill.ini) into its current directory on first start.
mkdir -p sample/run
status=0
(cd sample/run && ../../build/src/app/cubemill Test) || status=$?

echo
echo "== run log (last lines): sample/OQY-Dateien/log/cubemill.log"
tail -n 25 sample/OQY-Dateien/log/cubemill.log 2>/dev/null || echo "(no run log)"

cube="$(ls -t sample/OQY-Dateien/rel01/Output_Detail_*.cub 2>/dev/null | head -n 1 || true)"
if [ -n "$cube" ]; then
  echo
  echo "== $cube: amount and quantity per country"
  sqlite3 -header -column "$cube" \
    'SELECT "Geography.Country", SUM("Quantity") AS Quantity, ROUND(SUM("Amount"), 2) AS Amount
       FROM cube_flat GROUP BY 1 ORDER BY 1'
  echo
  echo "== the same totals from the source database"
  sqlite3 -header -column sample/data/sales.db \
    'SELECT cities.country AS Country, SUM(sales.quantity) AS Quantity,
            ROUND(SUM(sales.amount), 2) AS Amount
       FROM sales JOIN cities ON cities.city_id = sales.city_id GROUP BY 1 ORDER BY 1'
else
  echo
  echo "(no stamped cube file Output_Detail_*.cub in sample/OQY-Dateien/rel01)"
fi

exit "$status"
