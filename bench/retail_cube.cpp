// Makes the warm XMLA benchmark's cube: generates the retail source (retail_source.h) as
// DIR/retail.db and builds the cube Sales from it with the whole engine, as a job does, with the
// engine's default stored rollups, into DIR/retail.cub (the catalog "retail" of a server serving
// DIR). Then checks the cube's totals against the source's and prints one line about the cube.
//   cubemill_bench_retail_cube [--rows N] [--seed S] DIR
// Exits 0 when the cube was built and its totals match, 1 otherwise, 2 on wrong use.
#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "bench/bench_options.h"
#include "bench/retail_source.h"
#include "bench/sales_cubes.h"
#include "bench/source_kit.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"

namespace {

using cubemill::bench::RetailSource;

// Builds `cube` from `source` as a job would; "" or the engine's failure.
std::string Build(const std::string& source, const std::string& cube) {
  namespace connection = cubemill::provider::connection;
  connection::EngineProperties properties;
  properties.location = cube;
  properties.source_dsn = cubemill::bench::SalesSourceDsn(source);
  properties.create_cube = cubemill::bench::kRetailCreateCube;
  properties.insert_into = cubemill::bench::kRetailInsertInto;
  auto engine = connection::NewEngineConnection();
  engine->SetInfoMessage(
      [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  std::optional<cubemill::Error> error =
      engine->SetConnectionString(connection::WriteEngineProperties(properties));
  if (!error) error = engine->SetProvider("MSOLAP");
  if (!error) error = engine->Open("", "", "", -1);
  if (!error) error = engine->Close();
  return error ? error->description : "";
}

// Compares the cube's cube_flat with the source's totals; "" when they agree, otherwise what
// differs. Reals are compared in cents, allowing for sums taken in another order.
std::string CheckTotals(const RetailSource& source, const std::string& cube, std::int64_t& cells) {
  cubemill::bench::Database db;
  if (!db.Open(cube, SQLITE_OPEN_READONLY)) return "cannot open " + cube + ": " + db.Message();
  cubemill::bench::Statement query(
      db.get(),
      "SELECT COUNT(*), SUM(\"Unit Sales\"), SUM(\"Store Sales\"), SUM(\"Store Cost\"),"
      " SUM(\"Sales Count\") FROM cube_flat");
  if (query.get() == nullptr || sqlite3_step(query.get()) != SQLITE_ROW)
    return "cannot read the cube's totals: " + db.Message();
  cells = sqlite3_column_int64(query.get(), 0);
  std::string differences;
  const auto exact = [&](const char* what, int column, std::int64_t expected) {
    const std::int64_t got = sqlite3_column_int64(query.get(), column);
    if (got != expected)
      differences += std::string(what) + " " + std::to_string(got) + ", the source's " +
                     std::to_string(expected) + "; ";
  };
  const auto cents = [&](const char* what, int column, std::int64_t expected) {
    const double got = sqlite3_column_double(query.get(), column) * 100.0;
    if (std::fabs(got - static_cast<double>(expected)) > 1e-9 * static_cast<double>(expected))
      differences += std::string(what) + " " + std::to_string(got / 100.0) + ", the source's " +
                     std::to_string(static_cast<double>(expected) / 100.0) + "; ";
  };
  exact("Unit Sales", 1, source.unit_sales_total);
  cents("Store Sales", 2, source.sales_cents_total);
  cents("Store Cost", 3, source.cost_cents_total);
  exact("Sales Count", 4, source.rows);
  return differences;
}

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s [--rows N] [--seed S] DIR\n", program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t rows = 87000;
  std::int64_t seed = 1;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    std::int64_t* value = std::strcmp(argv[i], "--rows") == 0   ? &rows
                          : std::strcmp(argv[i], "--seed") == 0 ? &seed
                                                                : nullptr;
    if (value != nullptr) {
      if (i + 1 == argc || !cubemill::bench::ParseNumber(argv[++i], *value)) return Usage(argv[0]);
    } else if (dir.empty() && argv[i][0] != '-') {
      dir = argv[i];
    } else {
      return Usage(argv[0]);
    }
  }
  if (dir.empty()) return Usage(argv[0]);
  const std::string db_path = (std::filesystem::path(dir) / "retail.db").string();
  const std::string cube = (std::filesystem::path(dir) / "retail.cub").string();

  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const std::optional<RetailSource> source =
      cubemill::bench::GenerateRetailSource(db_path, rows, static_cast<std::uint64_t>(seed), error);
  if (!source) {
    std::fprintf(stderr, "cubemill_bench_retail_cube: %s\n", error.c_str());
    return 1;
  }
  const auto generated = std::chrono::steady_clock::now();
  error = Build(db_path, cube);
  if (!error.empty()) {
    std::fprintf(stderr, "cubemill_bench_retail_cube: the build failed: %s\n", error.c_str());
    return 1;
  }
  const auto built = std::chrono::steady_clock::now();
  std::int64_t cells = 0;
  error = CheckTotals(*source, cube, cells);
  if (!error.empty()) {
    std::fprintf(stderr, "cubemill_bench_retail_cube: the cube's totals differ: %s\n",
                 error.c_str());
    return 1;
  }
  const auto seconds = [](auto from, auto to) {
    return std::chrono::duration<double>(to - from).count();
  };
  std::printf(
      "retail cube: %lld fact rows (seed %lld) in %.1f s, %lld leaf cells and %.1f MiB built in "
      "%.1f s; its totals match the source's\n",
      static_cast<long long>(rows), static_cast<long long>(seed), seconds(start, generated),
      static_cast<long long>(cells),
      static_cast<double>(std::filesystem::file_size(cube)) / (1024.0 * 1024.0),
      seconds(generated, built));
  return 0;
}
