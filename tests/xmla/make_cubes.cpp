// Builds the cubes the XMLA client test serves: `make_xmla_cubes DIR [ENGINE_CASES]` writes
// DIR/shop.cub, DIR/sample.cub and DIR/analyst.cub, and with ENGINE_CASES (tests/data/engine) a
// cube of each engine case that builds, DIR/engine_<file>_<line>.cub, with the queries the client
// asks of it in DIR/queries/engine_<file>_<line>.mdx: its measures alone, then each hierarchy's
// members against the measures. Each cube is built by the whole engine from a SQLite source it
// creates beside it (DIR/<name>.db) through the SQLite ODBC driver. Exits 0 when all were built,
// 1 with what failed on standard error, 2 on wrong use.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "provider/cubefile/cube_reader.h"
#include "provider/cubefile/engine_case_file.h"
#include "query/analyst_cube.h"
#include "query/binder/cube_model.h"
#include "query/query_test_cube.h"
#include "support/sqlite_fixture.h"

namespace {

// Builds the cube of `engine_case` as `stem`.cub; false when the case's build fails (a case of
// a failing build, which has no cube to serve).
bool BuildEngineCase(const cubemill::test::EngineCase& engine_case, const std::string& stem) {
  const std::string source = stem + ".db";
  for (const auto& table : engine_case.tables) {
    if (!cubemill::test::CreateSqliteTable(source, table.name, table.columns, table.rows).empty())
      return false;
  }
  for (const std::string& sql : engine_case.source_sql) cubemill::test::RunSqlite(source, sql);
  return cubemill::query::test::BuildCube(source, stem + ".cub", engine_case.create_cube,
                                          engine_case.insert_into, engine_case.connection)
      .empty();
}

// The unique name two members of `model` share, or "" when each has its own: a client could
// name neither, so such a cube fails the test before any client asks it.
std::string SharedUniqueName(const cubemill::query::CubeModel& model) {
  std::set<std::string> seen;
  for (std::size_t m = 0; m < model.MemberCount(); ++m) {
    if (!seen.insert(model.UniqueName(m)).second) return model.UniqueName(m);
  }
  return "";
}

// The queries a client asks of the cube `cube`: its measures, then each hierarchy's members.
bool WriteQueries(const std::string& cube, const std::string& path) {
  auto reader = cubemill::provider::cubefile::CubeReader::Open(cube);
  if (!reader) return false;
  const cubemill::query::CubeModel model((*reader)->Catalog());
  if (const std::string shared = SharedUniqueName(model); !shared.empty()) {
    std::fprintf(stderr, "make_xmla_cubes: %s: two members are %s\n", cube.c_str(), shared.c_str());
    return false;
  }
  const std::string from = " FROM " + cubemill::Bracketed((*reader)->Catalog().name);
  std::ofstream out(path);
  out << "SELECT [Measures].Members ON 0" << from << "\n";
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h)
    out << "SELECT [Measures].Members ON 0, " << model.HierarchyName(h) << ".Members ON 1" << from
        << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: make_xmla_cubes DIR [ENGINE_CASES]\n", stderr);
    return 2;
  }
  using Builder = std::string (*)(const std::string&, const std::string&);
  const struct {
    const char* name;
    Builder build;
  } cubes[] = {{"shop", cubemill::query::test::BuildShopCube},
               {"sample", cubemill::query::test::BuildShippedSampleCube},
               {"analyst", cubemill::query::test::BuildAnalystCube}};
  const std::string dir = argv[1];
  for (const auto& cube : cubes) {
    const std::string stem = dir + "/" + cube.name;
    const std::string error = cube.build(stem + ".db", stem + ".cub");
    if (!error.empty()) {
      std::fprintf(stderr, "make_xmla_cubes: %s: %s\n", cube.name, error.c_str());
      return 1;
    }
  }
  if (argc == 3) {
    std::filesystem::create_directories(dir + "/queries");
    for (const auto& engine_case : cubemill::test::ReadEngineCases(argv[2])) {
      if (engine_case.error) continue;
      const std::string name = "engine_" + std::filesystem::path(engine_case.file).stem().string() +
                               "_" + std::to_string(engine_case.line);
      if (!BuildEngineCase(engine_case, dir + "/" + name)) {
        std::fprintf(stderr, "make_xmla_cubes: the engine case %s did not build\n", name.c_str());
        return 1;
      }
      if (!WriteQueries(dir + "/" + name + ".cub", dir + "/queries/" + name + ".mdx")) {
        std::fprintf(stderr, "make_xmla_cubes: no queries for %s\n", name.c_str());
        return 1;
      }
    }
  }
  return 0;
}
