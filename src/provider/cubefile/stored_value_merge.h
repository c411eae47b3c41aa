// Measure values read from a cube file merged by the one rule the builder and the stored rollups
// use (aggregate/measure_merge.h), for a reader that adds up cells itself.
#pragma once

#include <optional>

#include "provider/cube_schema.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::provider::cubefile {

// Returns the aggregate function of a stored measure ("SUM", "COUNT", "MIN" or "MAX", in any
// letter case), or nothing for other text.
std::optional<AggregateFunction> FunctionOfMeasure(const StoredMeasure& measure);

// Merges `value` into `total` by `function`, as the builder merges rows and the rollups merge
// cells: NULL changes nothing; SUM and COUNT add, integers exactly until the sum passes 64 bits
// and goes on as a real; MIN and MAX compare an integer and a real exactly, and keep the integer
// of two equal values. Returns false when an integer sum went past 64 bits at this step.
bool MergeStoredValue(CellValue& total, const CellValue& value, AggregateFunction function);

}  // namespace cubemill::provider::cubefile
