// The answers of an Execute written as rowsets: a query's grid flattened (Format Tabular), and
// the rows of a DRILLTHROUGH.
#pragma once

#include <string>
#include <vector>

#include "query/drillthrough.h"
#include "query/query_evaluator.h"
#include "serve/xml_writer.h"

namespace cubemill::serve {

// The flat rowset of `result`: a column per hierarchy of the rows (`row_hierarchies`, each the
// member's caption), then a column per column tuple (its unique names joined by "."), a row per
// row tuple.
void WriteTabular(const query::QueryResult& result, const std::vector<std::string>& row_hierarchies,
                  XmlWriter& out);

// The rows behind a cell: a column per level (the member's name) and per measure (its value).
void WriteDrillthrough(const query::DrillthroughResult& rows, XmlWriter& out);

}  // namespace cubemill::serve
