#include "query/query_evaluator.h"

#include "query/binder.h"
#include "query/calculator.h"
#include "query/cube_model.h"
#include "query/executor.h"
#include "query/mdx_parser.h"
#include "query/member_properties.h"
#include "query/planner.h"
#include "query/query_failure.h"

namespace cubemill::query {

std::size_t QueryResult::MeasureAt(std::size_t row, std::size_t column) const {
  if (column < column_measure.size() && column_measure[column] != npos)
    return column_measure[column];
  if (row < row_measure.size() && row_measure[row] != npos) return row_measure[row];
  return slicer_measure != npos ? slicer_measure : 0;
}

Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader, std::string_view mdx,
                                const QueryOptions& options) {
  auto query = ParseMdx(mdx);
  if (!query.ok()) return query.error();
  try {
    const CubeModel model(reader.Catalog());
    const std::vector<std::string> cell_properties = CellPropertyNames(query->cell_properties);
    QueryResult result;
    if (options.cancel != nullptr && options.cancel->load()) throw QueryFailure("Cancelled");
    if (NeedsCalculation(*query)) {
      result = Calculate(reader, model, *query, options);
    } else {
      BoundQuery bound = Bind(model, *query, options.max_axis_tuples);
      bound.unique_names = options.unique_names;
      const QueryPlan plan = PlanQuery(model, bound, options.leaf_cells_only);
      result = Execute(reader, model, bound, plan, options.max_cells, options.cancel);
    }
    result.cell_properties = cell_properties;
    return result;
  } catch (const QueryFailure& failure) {
    return Error{failure.what(), 1, kQuerySource};
  } catch (const std::bad_alloc&) {
    return Error{"not enough memory to answer the query", 1, kQuerySource};
  } catch (const std::exception& failure) {
    return Error{failure.what(), 2, "cube file"};
  }
}

}  // namespace cubemill::query
