// Fuzzes the INSERT INTO parser. The input is "<CREATE CUBE>\0<INSERT INTO>"; without a NUL byte
// it is the INSERT INTO statement alone, read against the sample job's cube. Every binding of
// an accepted statement must point at a level or measure that the cube has.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "provider/engine_error.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::provider::ColumnRole;
using cubemill::provider::CubeSchema;

// The cube of the sample job (sample/OQY-Dateien/rel01/Output_Detail.oqy).
constexpr std::string_view kSampleCube =
    "CREATE CUBE [OCWCube] ( DIMENSION [Time] TYPE TIME, HIERARCHY [Calendar], LEVEL [All Time] "
    "TYPE ALL, LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "DIMENSION [Geography], LEVEL [All Geography] TYPE ALL, LEVEL [Country], LEVEL [City], "
    "DIMENSION [Product], LEVEL [All Products] TYPE ALL, LEVEL [Category], LEVEL [Product], "
    "MEASURE [Quantity] FUNCTION SUM, MEASURE [Amount] FUNCTION SUM FORMAT '0.00', MEASURE "
    "[Sales Count] FUNCTION COUNT )";

void CheckBindings(const cubemill::provider::InsertInto& insert, const CubeSchema& schema) {
  Check(!insert.columns.empty(), "accepted INSERT INTO without columns");
  Check(!insert.select.empty() && insert.select.find_last_of(" \t\r\n") != insert.select.size() - 1,
        "SELECT text empty or ending in a blank", insert.select);
  for (const auto& column : insert.columns) {
    switch (column.role) {
      case ColumnRole::kSkip:
        break;
      case ColumnRole::kMeasure:
        Check(column.measure < schema.measures.size(), "measure index out of range", column.target);
        break;
      case ColumnRole::kTime: {
        Check(column.dimension < schema.dimensions.size(), "dimension index out of range",
              column.target);
        const auto& hierarchies = schema.dimensions[column.dimension].hierarchies;
        Check(column.hierarchy == cubemill::provider::kAllHierarchies ||
                  column.hierarchy < hierarchies.size(),
              "hierarchy index out of range", column.target);
        break;
      }
      case ColumnRole::kLevel:
      case ColumnRole::kLevelKey:
      case ColumnRole::kLevelName: {
        Check(column.dimension < schema.dimensions.size(), "dimension index out of range",
              column.target);
        const auto& hierarchies = schema.dimensions[column.dimension].hierarchies;
        Check(column.hierarchy < hierarchies.size(), "hierarchy index out of range", column.target);
        Check(column.level < hierarchies[column.hierarchy].levels.size(),
              "level index out of range", column.target);
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = bytes.find('\0');
  const std::string_view create_cube =
      nul == std::string_view::npos ? kSampleCube : bytes.substr(0, nul);
  const std::string_view insert_into =
      nul == std::string_view::npos ? bytes : bytes.substr(nul + 1);
  auto schema = cubemill::provider::ddl::ParseCreateCube(create_cube);
  if (!schema.ok()) return 0;
  auto insert = cubemill::provider::ddl::ParseInsertInto(insert_into, *schema);
  if (insert.ok()) {
    CheckBindings(*insert, *schema);
    return 0;
  }
  Check(insert.error().number == cubemill::provider::kStatementErrorNumber,
        "unexpected error number", insert.error().description);
  Check(insert.error().description.rfind("INSERT INTO: ", 0) == 0, "error not naming the statement",
        insert.error().description);
  return 0;
}
