#include "bench/cube_compare.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace cubemill::bench {
namespace {

constexpr std::size_t kMismatchesShown = 5;

// A read-only database and one statement on it, closed together.
class Query {
 public:
  Query() = default;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query() {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);
  }
  // Opens `path` and prepares `sql`; returns false after setting `error`.
  bool Prepare(const std::string& path, const std::string& sql, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      error = path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
      return false;
    }
    return true;
  }
  // Steps to the next row: 1 for a row, 0 at the end, -1 after setting `error`.
  int Step(const std::string& path, std::string& error) {
    const int status = sqlite3_step(stmt_);
    if (status == SQLITE_ROW) return 1;
    if (status == SQLITE_DONE) return 0;
    error = path + ": " + sqlite3_errmsg(db_);
    return -1;
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// Units in the last place of `larger` that `a` and `b` lie apart.
double UlpsApart(double a, double b) {
  const double larger = std::max(std::fabs(a), std::fabs(b));
  const double ulp = std::nextafter(larger, std::numeric_limits<double>::infinity()) - larger;
  return ulp > 0 ? std::fabs(a - b) / ulp : 0;
}

std::string Text(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text ? reinterpret_cast<const char*>(text) : "NULL";
}

// Steps `sql` over both files in step and compares row by row; `rows` counts the rows compared.
// Returns false after setting `error` when a file cannot be read.
bool CompareRows(const std::string& expected, const std::string& actual, const std::string& sql,
                 const std::string& what, const std::string& count_column, std::int64_t& rows,
                 CubeComparison& result, std::string& error) {
  Query want;
  Query got;
  if (!want.Prepare(expected, sql, error) || !got.Prepare(actual, sql, error)) return false;
  const int columns = sqlite3_column_count(want.get());
  int count_index = -1;
  for (int c = 0; c < columns; ++c) {
    if (count_column == sqlite3_column_name(want.get(), c)) count_index = c;
  }
  auto mismatch = [&](const std::string& description) {
    ++result.mismatch_count;
    if (result.mismatches.size() < kMismatchesShown) result.mismatches.push_back(description);
  };
  for (;;) {
    const int more_want = want.Step(expected, error);
    const int more_got = got.Step(actual, error);
    if (more_want < 0 || more_got < 0) return false;
    if (more_want != more_got) {
      mismatch(what + ": " + (more_want ? actual : expected) + " has fewer rows (" +
               std::to_string(rows) + ")");
      return true;
    }
    if (!more_want) return true;
    ++rows;
    const double allowed =
        count_index < 0
            ? 8.0
            : 2.0 *
                  std::max(8.0, static_cast<double>(sqlite3_column_int64(want.get(), count_index)));
    for (int c = 0; c < columns; ++c) {
      const int type = sqlite3_column_type(want.get(), c);
      const std::string place = what + " row " + std::to_string(rows) + ", column " +
                                sqlite3_column_name(want.get(), c) + ": ";
      if (type != sqlite3_column_type(got.get(), c)) {
        mismatch(place + Text(want.get(), c) + " and " + Text(got.get(), c) + " of other types");
      } else if (type == SQLITE_FLOAT) {
        const double a = sqlite3_column_double(want.get(), c);
        const double b = sqlite3_column_double(got.get(), c);
        if (a == b) continue;
        const double ulps = UlpsApart(a, b);
        char text[128];
        std::snprintf(text, sizeof text, "%.17g and %.17g, %.0f units in the last place apart", a,
                      b, ulps);
        if (ulps > allowed) {
          mismatch(place + text);
        } else {
          ++result.reals_differing;
          result.max_ulps = std::max(result.max_ulps, ulps);
        }
      } else if (Text(want.get(), c) != Text(got.get(), c)) {
        mismatch(place + Text(want.get(), c) + " and " + Text(got.get(), c));
      }
    }
  }
}

}  // namespace

std::optional<CubeComparison> CompareCubes(const std::string& expected, const std::string& actual,
                                           const std::string& count_column, std::string& error) {
  CubeComparison result;
  if (!CompareRows(expected, actual,
                   "SELECT id, level, parent, key, name, position FROM members ORDER BY id",
                   "members", "", result.members, result, error)) {
    return std::nullopt;
  }
  // Every column of cube_flat, in order: ties of the level columns cannot reorder the rows.
  Query columns;
  if (!columns.Prepare(expected, "SELECT * FROM cube_flat LIMIT 0", error)) return std::nullopt;
  std::string order;
  for (int c = 1; c <= sqlite3_column_count(columns.get()); ++c)
    order += (c == 1 ? "" : ", ") + std::to_string(c);
  if (!CompareRows(expected, actual, "SELECT * FROM cube_flat ORDER BY " + order, "cube_flat",
                   count_column, result.cells, result, error)) {
    return std::nullopt;
  }
  return result;
}

}  // namespace cubemill::bench
