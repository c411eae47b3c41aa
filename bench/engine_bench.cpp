// Measures a whole cube build as a job runs it: a generated SQLite sales table read through the
// SQLite ODBC driver, aggregated into a cube with a TIME dimension, written as a cube file.
// Prints rows per second and peak memory; asserts nothing.
//   cubemill_engine_bench [rows]   (default 1000000)
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "provider/connection.h"

namespace {

const char kCreateCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [All Time] TYPE ALL, "
    "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "LEVEL [Day] TYPE DAY, DIMENSION [Geography], LEVEL [Country], LEVEL [City], "
    "DIMENSION [Product], LEVEL [Product], MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8, MEASURE [Sales] FUNCTION COUNT );";
const char kInsertInto[] =
    "INSERT INTO Sales([Time], [Geography].[Country], [Geography].[City], [Product].[Product], "
    "Measures.[Quantity], Measures.[Amount], Measures.[Sales]) "
    "SELECT day, country, city, product, quantity, amount, quantity FROM s";

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const auto dir = std::filesystem::temp_directory_path() / "cubemill-engine-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string db_path = (dir / "sales.db").string();

  sqlite3* db = nullptr;
  sqlite3_open(db_path.c_str(), &db);
  const std::string sql =
      "CREATE TABLE s(day DATE, country VARCHAR(40), city VARCHAR(40), product VARCHAR(40),"
      " quantity INTEGER, amount REAL);"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
      std::to_string(rows) +
      ") INSERT INTO s SELECT date('2023-01-01', '+' || (x % 1096) || ' days'),"
      " 'Country ' || (x % 12), 'City ' || (x % 240), 'Product ' || ((x * 7) % 150),"
      " x % 9 + 1, (x % 1000) / 10.0 FROM n;";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot create the table: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  sqlite3_close(db);

  const std::string cube = (dir / "sales.cub").string();
  const std::string connection = "LOCATION=" + cube + "; SOURCE_DSN=\"DRIVER=SQLite3;Database=" +
                                 db_path + "\"; CreateCube=" + kCreateCube +
                                 " InsertInto=" + kInsertInto;
  const long before = PeakKiB();
  const auto start = std::chrono::steady_clock::now();
  auto engine = cubemill::provider::NewEngineConnection();
  engine->SetConnectionString(connection);
  engine->SetProvider("MSOLAP");
  if (auto error = engine->Open("", "", "", -1)) {
    std::fprintf(stderr, "build failed: %s\n", error->description.c_str());
    return 1;
  }
  engine->Close();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("rows %ld, build %.2f s, %.0f rows/s, cube file %.1f MiB, peak RSS %.1f MiB "
              "(%.1f MiB before the build)\n",
              rows, seconds, static_cast<double>(rows) / seconds,
              static_cast<double>(std::filesystem::file_size(cube)) / 1048576.0,
              static_cast<double>(PeakKiB()) / 1024.0, static_cast<double>(before) / 1024.0);
  std::filesystem::remove_all(dir);
  return 0;
}
