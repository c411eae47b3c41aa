#include "bench/cube_totals.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>

namespace cubemill::bench {
namespace {

// Runs `sql` on the file at `path` and calls `read` with the statement on its first row.
template <typename Read>
bool QueryFirstRow(const std::string& path, const char* sql, Read read, std::string& error) {
  sqlite3* db = nullptr;
  sqlite3_stmt* stmt = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW;
  if (ok) {
    read(stmt);
  } else {
    error = path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return ok;
}

std::string Mismatch(const char* what, const std::string& cube, const std::string& expected) {
  return std::string(what) + ": cube " + cube + ", expected " + expected;
}

}  // namespace

std::optional<CubeTotals> ReadCubeTotals(const std::string& path, std::string& error) {
  CubeTotals totals;
  const bool ok = QueryFirstRow(
      path,
      "SELECT COUNT(*), SUM(\"Quantity\"), SUM(\"Amount\"), SUM(\"Sales\"),"
      " (SELECT source_rows FROM cube) FROM cube_flat",
      [&](sqlite3_stmt* stmt) {
        totals.cells = sqlite3_column_int64(stmt, 0);
        totals.quantity = sqlite3_column_int64(stmt, 1);
        totals.amount = sqlite3_column_double(stmt, 2);
        totals.sales = sqlite3_column_int64(stmt, 3);
        totals.source_rows = sqlite3_column_int64(stmt, 4);
      },
      error);
  if (!ok) return std::nullopt;
  return totals;
}

std::optional<std::int64_t> CountCells(const std::string& path, std::string& error) {
  std::int64_t count = 0;
  if (!QueryFirstRow(
          path, "SELECT COUNT(*) FROM cells",
          [&](sqlite3_stmt* stmt) { count = sqlite3_column_int64(stmt, 0); }, error)) {
    return std::nullopt;
  }
  return count;
}

std::vector<std::string> CompareTotals(const CubeTotals& cube, const SalesSource& source,
                                       std::int64_t peer_cells) {
  std::vector<std::string> mismatches;
  if (cube.cells != peer_cells) {
    mismatches.push_back(Mismatch("cells", std::to_string(cube.cells),
                                  std::to_string(peer_cells) + " (the GROUP BY's rows)"));
  }
  if (cube.source_rows != source.rows) {
    mismatches.push_back(
        Mismatch("source rows", std::to_string(cube.source_rows), std::to_string(source.rows)));
  }
  if (cube.sales != source.rows) {
    mismatches.push_back(
        Mismatch("COUNT (Sales)", std::to_string(cube.sales), std::to_string(source.rows)));
  }
  if (cube.quantity != source.quantity_total) {
    mismatches.push_back(Mismatch("SUM(quantity)", std::to_string(cube.quantity),
                                  std::to_string(source.quantity_total)));
  }
  const double expected_cents = static_cast<double>(source.amount_cents_total);
  const double difference = std::fabs(cube.amount * 100.0 - expected_cents);
  if (!(difference <= 0.5 + 1e-12 * expected_cents)) {
    char cube_text[64];
    char expected_text[64];
    std::snprintf(cube_text, sizeof cube_text, "%.2f", cube.amount);
    std::snprintf(expected_text, sizeof expected_text, "%.2f", expected_cents / 100.0);
    mismatches.push_back(Mismatch("SUM(amount)", cube_text, expected_text));
  }
  return mismatches;
}

}  // namespace cubemill::bench
