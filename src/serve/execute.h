// Answers an XML for Analysis Execute: an MDX statement through the query engine, written as a
// multidimensional dataset (axes of tuples of members, then the cells) or as a flat rowset.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "common/error.h"
#include "query/drillthrough.h"
#include "query/query_evaluator.h"
#include "serve/cube_catalogs.h"
#include "serve/xml_writer.h"

namespace cubemill::serve {

// An answered statement, ready to be written.
struct ExecuteAnswer {
  query::QueryResult result;
  bool tabular = false;  // Format Tabular: a flat rowset instead of a multidimensional dataset
  // A DRILLTHROUGH's rows, written as a rowset whatever the format.
  std::optional<query::DrillthroughResult> drillthrough;
};

// Answers `mdx` (a query, or a DRILLTHROUGH) from the cube `lease` lends, with the engine's
// limits in `options`. The engine's message (its position included) is the failure.
Result<ExecuteAnswer> AnswerStatement(const OpenCube::Lease& lease, const std::string& mdx,
                                      const query::QueryOptions& options, bool tabular);

// Writes the `<root>` of the answer (mddataset or rowset namespace) into `out`.
void WriteAnswer(const OpenCube& cube, const ExecuteAnswer& answer, XmlWriter& out);

// The cells of an answer: what the access log counts.
std::size_t CellCount(const ExecuteAnswer& answer);

}  // namespace cubemill::serve
