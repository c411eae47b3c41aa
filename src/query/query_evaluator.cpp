#include "query/query_evaluator.h"

#include "query/binder/binder.h"
#include "query/binder/cube_model.h"
#include "query/execution/evaluation.h"
#include "query/parser/mdx_parser.h"
#include "query/planner/planner.h"
#include "query/query_failure.h"

namespace cubemill::query {

std::size_t QueryResult::MeasureAt(std::size_t row, std::size_t column) const {
  if (column < column_measure.size() && column_measure[column] != npos)
    return column_measure[column];
  // With pages, `row` counts the rows of the pages before.
  const std::size_t page = rows.empty() ? 0 : row / rows.size();
  const std::size_t own_row = rows.empty() ? row : row % rows.size();
  if (own_row < row_measure.size() && row_measure[own_row] != npos) return row_measure[own_row];
  if (page < page_measure.size() && page_measure[page] != npos) return page_measure[page];
  return slicer_measure != npos ? slicer_measure : 0;
}

namespace {

// Binds, plans and answers the parsed `query` against `model`, the catalog `reader` holds.
QueryResult Answer(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                   const MdxQuery& query, const QueryOptions& options) {
  const BoundQuery bound = Bind(model, query);
  if (options.cancel != nullptr && options.cancel->load()) throw QueryFailure("Cancelled");
  const QueryPlan plan = PlanQuery(bound, options.leaf_cells_only);
  Evaluation evaluation(reader, model, bound, options);
  return evaluation.Answer(plan);
}

}  // namespace

// The query is parsed before the model is built, so that a query that does not parse costs
// no walk over the members.
Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader, std::string_view mdx,
                                const QueryOptions& options) {
  auto query = ParseMdx(mdx);
  if (!query.ok()) return query.error();
  return Answered<QueryResult>(kQuerySource, [&] {
    const CubeModel model(reader.Catalog());
    return Answer(reader, model, *query, options);
  });
}

Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader,
                                const CubeModel& model, std::string_view mdx,
                                const QueryOptions& options) {
  auto query = ParseMdx(mdx);
  if (!query.ok()) return query.error();
  return Answered<QueryResult>(kQuerySource,
                               [&] { return Answer(reader, model, *query, options); });
}

}  // namespace cubemill::query
