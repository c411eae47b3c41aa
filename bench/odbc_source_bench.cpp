// Measures how fast OdbcSource reads a sales table through the SQLite ODBC driver and how much
// memory the process needs for it. Prints; asserts nothing.
//   cubemill_odbc_source_bench [rows]   (default 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/sales_table.h"
#include "provider/source/odbc_source.h"

using cubemill::provider::ColumnHint;
using cubemill::provider::Value;
using cubemill::provider::source::OdbcSource;

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const auto path = std::filesystem::temp_directory_path() / "cubemill-odbc-benchmark.db";
  if (!cubemill::bench::MakeSalesTable(path.string(), rows)) return 1;

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
  std::printf("rows %ld, block %zu rows, %.2f s, %.0f rows/s, peak RSS %.1f MiB\n", read,
              (*source)->FetchBlockRows(), seconds, static_cast<double>(read) / seconds,
              cubemill::bench::PeakMiB());
  std::filesystem::remove(path);
  return 0;
}
