// The generated sales table the benchmarks read: table s(day, country, city, product,
// quantity, amount) with `rows` rows over three years of days.
#pragma once

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

namespace cubemill::bench {

// Creates the SQLite database at `path` with the table s. Returns false after printing why.
inline bool MakeSalesTable(const std::string& path, long rows) {
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::string sql =
      "CREATE TABLE s(day DATE, country VARCHAR(40), city VARCHAR(40), product VARCHAR(40),"
      " quantity INTEGER, amount REAL);"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
      std::to_string(rows) +
      ") INSERT INTO s SELECT date('2023-01-01', '+' || (x % 1096) || ' days'),"
      " 'country' || (x % 20), 'city' || (x % 500), 'product' || (x % 300), x % 7, x * 0.25"
      " FROM n;";
  const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  if (!ok) std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), sqlite3_errmsg(db));
  sqlite3_close(db);
  return ok;
}

// Peak resident memory of this process so far, in MiB.
inline double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace cubemill::bench
