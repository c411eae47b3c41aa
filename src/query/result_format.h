// Writes a query's answer as an aligned text table, as CSV or as JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/number_locale.h"
#include "provider/cubefile/cube_reader.h"
#include "query/drillthrough.h"
#include "query/query_evaluator.h"
#include "query/value_format.h"

namespace cubemill::query {

// How the cells of one measure show where a person reads them.
struct MeasureFormat {
  std::string format;           // its FORMAT; "" for none
  std::optional<int> decimals;  // without a FORMAT: the decimals shown (nothing: DisplayValue's
                                // 15 significant digits)
  bool operator==(const MeasureFormat&) const = default;
};

// Each measure's, in the catalog's order (the order QueryResult::MeasureAt counts in).
using MeasureFormats = std::vector<MeasureFormat>;

// The FORMAT and the decimals of each of the catalog's measures.
MeasureFormats FormatsOf(const provider::cubefile::CubeCatalog& catalog);

// The FORMAT (or FORMAT_STRING) that shows the cell at `row`, `column`: its measure's in
// `formats`, or a calculated measure's in the answer; "" for none.
std::string_view CellFormat(const QueryResult& result, const MeasureFormats& formats,
                            std::size_t row, std::size_t column);

// The cell at `row`, `column` as the table shows it; a cell holding a string shows it.
std::string FormattedCell(const QueryResult& result, const MeasureFormats& formats, std::size_t row,
                          std::size_t column, const platform::NumberSeparators& separators = {});

// An answer with a PAGES axis is written page after page, in every format but JSON: a line with
// the page's names, then the page's grid; a blank line between pages.
//
// The table with the row headers on the left (one column per member of a row's tuple) and one
// header line per member of a column's tuple; names left-aligned, numbers right-aligned, two
// blanks between columns, NULL as blank. Each cell shows as a person reads it (ReadableValue):
// as its measure's FORMAT in `formats` asks, else with the measure's decimals and `separators`;
// a calculated measure (numbered after `formats`) as its FORMAT_STRING in the answer asks, else
// with up to 15 significant digits, as a measure past both. A cell holding a string shows it.
std::string FormatText(const QueryResult& result, const MeasureFormats& formats = {},
                       const platform::NumberSeparators& separators = {});

// The same grid as CSV (RFC 4180: CRLF line ends, fields with a comma, a quote or a line
// break in quotes), NULL as an empty field, each value in full (ValueText).
std::string FormatCsv(const QueryResult& result);
// The same with each cell shown as the table shows it.
std::string FormatCsv(const QueryResult& result, const MeasureFormats& formats,
                      const platform::NumberSeparators& separators = {});

// {"columns": [[names...]...], "rows": [[names...]...], "column_unique_names": [[...]...],
// "row_unique_names": [[...]...], "cells": [[values...]...]}: the unique names find each member
// again in a later query; each value in full as a JSON number, a string or truth value a
// calculated member gives as a JSON string, the strings "Infinity", "-Infinity" and "NaN" for a
// real that is not finite, and null only for NULL (no value). With a PAGES axis "pages" (and
// "page_unique_names", "page_properties") follow the rows, and "cells" holds the rows of each
// page, page after page, as QueryResult lays them out.
std::string FormatJson(const QueryResult& result);
// The same with "formatted": [[texts...]...] after "cells": each cell as a string shown as the
// table shows it, null for NULL.
std::string FormatJson(const QueryResult& result, const MeasureFormats& formats,
                       const platform::NumberSeparators& separators = {});

// A drillthrough's rows: as a text table under a line of the columns' unique names, as CSV the
// same way, each value in full; or as JSON, {"columns": [names...], "rows": [[member names...,
// values...]...], "truncated": false}, a value as FormatJson writes a cell's.
std::string FormatDrillthroughText(const DrillthroughResult& drilled);
std::string FormatDrillthroughCsv(const DrillthroughResult& drilled);
std::string FormatDrillthroughJson(const DrillthroughResult& drilled);

}  // namespace cubemill::query
