// Measures how fast OdbcSource reads a sales table through the SQLite ODBC driver and how much
// memory the process needs for it. Prints; asserts nothing.
//   cubemill_odbc_source_bench [rows]   (default 1000000)
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "provider/source/odbc_source.h"

using cubemill::provider::ColumnHint;
using cubemill::provider::Value;
using cubemill::provider::source::OdbcSource;

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const auto path = std::filesystem::temp_directory_path() / "cubemill-odbc-benchmark.db";
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::string sql =
      "CREATE TABLE s(day DATE, country VARCHAR(40), city VARCHAR(40), product VARCHAR(40),"
      " quantity INTEGER, amount REAL);"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
      std::to_string(rows) +
      ") INSERT INTO s SELECT date('2023-01-01', '+' || (x % 1096) || ' days'),"
      " 'country' || (x % 20), 'city' || (x % 500), 'product' || (x % 300), x % 7, x * 0.25 FROM "
      "n;";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), sqlite3_errmsg(db));
    return 1;
  }
  sqlite3_close(db);

  const auto start = std::chrono::steady_clock::now();
  auto source = OdbcSource::Open("DRIVER=SQLite3;Database=" + path.string(), "SELECT * FROM s",
                                 {ColumnHint::kDateTime, ColumnHint::kText, ColumnHint::kText,
                                  ColumnHint::kText, ColumnHint::kInteger, ColumnHint::kReal});
  if (!source) {
    std::fprintf(stderr, "%s\n", source.error().description.c_str());
    return 1;
  }
  std::vector<Value> row;
  long read = 0;
  for (;;) {
    auto more = (*source)->NextRow(row);
    if (!more) {
      std::fprintf(stderr, "%s\n", more.error().description.c_str());
      return 1;
    }
    if (!*more) break;
    ++read;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("rows %ld, block %zu rows, %.2f s, %.0f rows/s, peak RSS %.1f MiB\n", read,
              (*source)->FetchBlockRows(), seconds, static_cast<double>(read) / seconds,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  std::filesystem::remove(path);
  return 0;
}
