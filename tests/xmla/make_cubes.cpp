// Builds the cubes the XMLA client test serves: `make_xmla_cubes DIR` writes DIR/shop.cub,
// DIR/sample.cub and DIR/analyst.cub, each by the whole engine from a SQLite source it creates
// beside them (DIR/<name>.db) through the SQLite ODBC driver. Exits 0 when all three were built,
// 1 with what failed on standard error, 2 on wrong use.
#include <cstdio>
#include <string>

#include "query/analyst_cube.h"
#include "query/query_test_cube.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_xmla_cubes DIR\n", stderr);
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
  return 0;
}
