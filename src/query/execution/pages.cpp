// The answer of a query with a PAGES axis, made from the answer of its rows joined with its
// pages: the rows and the pages named apart, NON EMPTY applied over every page.
#include <string>
#include <vector>

#include "query/execution/evaluation.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;

// Whether the cell at `row`, `column` of `answer` holds a value or a text.
bool HasValue(const QueryResult& answer, std::size_t row, std::size_t column) {
  if (answer.cells[row][column].kind != CellValue::Kind::kNull) return true;
  return !answer.texts.empty() && !answer.texts[row][column].empty();
}

}  // namespace

QueryResult Evaluation::SplitPages(const QueryResult& joined) const {
  const TupleList& pages = pages_->tuples;
  const TupleList& rows = page_rows_.tuples;
  const std::size_t columns = joined.columns.size();
  // NON EMPTY keeps a page with a value anywhere, and a row with a value on any page.
  std::vector<bool> page_kept(pages.count, !pages_->non_empty);
  std::vector<bool> row_kept(rows.count, !page_rows_.non_empty);
  for (std::size_t p = 0; p < pages.count; ++p) {
    for (std::size_t r = 0; r < rows.count; ++r) {
      for (std::size_t c = 0; c < columns; ++c) {
        if (!HasValue(joined, p * rows.count + r, c)) continue;
        page_kept[p] = true;
        row_kept[r] = true;
      }
    }
  }
  const auto names = [&](const TupleList& tuples, std::size_t t, bool unique) {
    return TupleNames(tuples, t, unique);
  };
  QueryResult result = joined;
  result.paged = true;
  result.rows.clear();
  result.row_unique_names.clear();
  result.row_measure.clear();
  result.row_properties.clear();
  result.cells.clear();
  result.texts.clear();
  result.page_property_names = pages_->properties;
  for (std::size_t r = 0; r < rows.count; ++r) {
    if (!row_kept[r]) continue;
    result.rows.push_back(names(rows, r, false));
    result.row_measure.push_back(rows.MeasureOf(r));
    if (options_.unique_names) result.row_unique_names.push_back(names(rows, r, true));
    if (!page_rows_.properties.empty())
      result.row_properties.push_back(Properties(rows, r, page_rows_.properties));
  }
  for (std::size_t p = 0; p < pages.count; ++p) {
    if (!page_kept[p]) continue;
    result.pages.push_back(names(pages, p, false));
    result.page_measure.push_back(pages.MeasureOf(p));
    if (options_.unique_names) result.page_unique_names.push_back(names(pages, p, true));
    if (!pages_->properties.empty())
      result.page_properties.push_back(Properties(pages, p, pages_->properties));
    for (std::size_t r = 0; r < rows.count; ++r) {
      if (!row_kept[r]) continue;
      result.cells.push_back(joined.cells[p * rows.count + r]);
      if (!joined.texts.empty()) result.texts.push_back(joined.texts[p * rows.count + r]);
    }
  }
  return result;
}

}  // namespace cubemill::query
