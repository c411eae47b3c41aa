// Fuzzes the CREATE CUBE parser with the input as the statement. An accepted statement must give
// a cube structure that keeps the rules the parser promises; a refused one a statement error.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/engine_error.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::provider::CubeSchema;
using cubemill::provider::LevelType;

// True when no two of `names` are the same text.
template <typename Items>
bool NamesDistinct(const Items& items) {
  std::set<std::string> seen;
  for (const auto& item : items) {
    if (!seen.insert(item.name).second) return false;
  }
  return true;
}

void CheckSchema(const CubeSchema& schema) {
  Check(NamesDistinct(schema.dimensions), "two dimensions of one name", schema.name);
  Check(NamesDistinct(schema.measures), "two measures of one name", schema.name);
  for (const auto& dimension : schema.dimensions) {
    Check(!dimension.hierarchies.empty(), "dimension without a hierarchy", dimension.name);
    Check(NamesDistinct(dimension.hierarchies), "two hierarchies of one name", dimension.name);
    for (const auto& hierarchy : dimension.hierarchies) {
      Check(NamesDistinct(hierarchy.levels), "two levels of one name", hierarchy.name);
      bool below_all = false;
      for (std::size_t i = 0; i < hierarchy.levels.size(); ++i) {
        const bool all = hierarchy.levels[i].type == LevelType::kAll;
        Check(!all || i == 0, "an ALL level that is not the first", hierarchy.levels[i].name);
        below_all = below_all || !all;
      }
      Check(below_all, "hierarchy without a level below ALL", dimension.name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view statement(reinterpret_cast<const char*>(data), size);
  auto schema = cubemill::provider::ddl::ParseCreateCube(statement);
  if (schema.ok()) {
    CheckSchema(*schema);
    return 0;
  }
  Check(schema.error().number == cubemill::provider::kStatementErrorNumber,
        "unexpected error number", schema.error().description);
  Check(schema.error().description.rfind("CREATE CUBE: ", 0) == 0, "error not naming the statement",
        schema.error().description);
  return 0;
}
