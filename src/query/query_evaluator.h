// Answers an MDX query from a cube file: the axes' tuples, and each cell aggregated from the
// smallest stored table that holds the detail the query needs.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::query {

class CubeModel;

// The answer of a query. Its cells are laid out page by page: the cell of page p, row r and
// column c is cells[p * rows.size() + r][c]. Without a PAGES axis there is one page and
// cells[r][c] is the cell of row r and column c; with one, `pages` names each page's tuple (and
// a PAGES axis with no tuple gives no cell at all).
struct QueryResult {
  // The member (or measure) names of each column's and each row's tuple. A query without a
  // ROWS axis has one row whose tuple is empty.
  std::vector<std::vector<std::string>> columns;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<provider::cubefile::CellValue>> cells;  // [page * rows + row][column]
  std::string table;  // the table the cells came from: "cells" or a rollup's
  // The measure (index into the catalog's measures) each column's and each row's tuple names,
  // npos where it names none; the WHERE tuple's likewise.
  std::vector<std::size_t> column_measure, row_measure;
  std::size_t slicer_measure = 0;
  // With QueryOptions::unique_names, each tuple of the WHERE clause as unique names (one for a
  // tuple, one per tuple of a set: what a client shows as the slice); empty without a WHERE
  // clause.
  std::vector<std::vector<std::string>> slicer_tuples;
  // With QueryOptions::unique_names, each column's and row's tuple as unique names, which a
  // client sends back to drill down:
  // [Geography].[Country].[Spain].[Madrid], [Measures].[Amount].
  std::vector<std::vector<std::string>> column_unique_names, row_unique_names;
  // DIMENSION PROPERTIES: each axis's property names (canonical) and, per tuple and member,
  // their values: [tuple][member][property]. Empty where the axis asks for none.
  std::vector<std::string> column_property_names, row_property_names;
  std::vector<std::vector<std::vector<std::string>>> column_properties, row_properties;
  // CELL PROPERTIES the query names (VALUE, FORMATTED_VALUE...), canonical; empty for none.
  std::vector<std::string> cell_properties;
  // Cells whose value is a string or a truth value (from a calculated member), as text; empty
  // when no cell is one, else laid out as `cells` with "" for the others. Their `cells` are
  // NULL.
  std::vector<std::vector<std::string>> texts;
  // The FORMAT_STRING of each calculated measure, in the order of the WITH clause: measure
  // number catalog.measures.size() + k in column_measure, row_measure and MeasureAt.
  std::vector<std::string> calculated_formats;

  // The PAGES axis (AXIS(2)), like the rows: whether the query has one, its tuples' names, with
  // QueryOptions::unique_names their unique names, their measures, and its DIMENSION
  // PROPERTIES. All empty for a query without one.
  bool paged = false;
  std::vector<std::vector<std::string>> pages;
  std::vector<std::vector<std::string>> page_unique_names;
  std::vector<std::size_t> page_measure;
  std::vector<std::string> page_property_names;
  std::vector<std::vector<std::vector<std::string>>> page_properties;

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // The measure of the cell at cells[`row`][`column`]: the column's, else the row's, else the
  // page's, else the WHERE tuple's, else the cube's first (0).
  std::size_t MeasureAt(std::size_t row, std::size_t column) const;
  // How many pages the cells hold: 1 without a PAGES axis.
  std::size_t PageCount() const { return paged ? pages.size() : 1; }
  bool operator==(const QueryResult&) const = default;
};

// How a query may be answered.
struct QueryOptions {
  // Read the leaf cells even where a stored rollup holds the detail the query needs.
  bool leaf_cells_only = false;
  // The most tuples an axis may have.
  std::size_t max_axis_tuples = 1'000'000;
  // The most cells the answer may have (rows x columns).
  std::size_t max_cells = 10'000'000;
  // Give each tuple's members' unique names (column_unique_names, row_unique_names): what a
  // client needs to drill down, and memory a large answer need not spend otherwise.
  bool unique_names = false;
  // When given and set (from another thread), the query stops reading and fails with
  // QueryFailure "Cancelled": what a window's Cancel button sets.
  const std::atomic<bool>* cancel = nullptr;
};

// Parses `mdx`, binds its names to the cube `reader` holds, plans how to answer it and answers
// it (query/parser, binder, planner and execution): one scan of the smallest table detailed
// enough, or, for a query that computes, a calculation step that reads what it needs in rounds. A
// hierarchy named nowhere in the query counts at its ALL member (all its members when it has no ALL
// level); the measure of a cell comes from its column, its row or the WHERE clause, else the cube's
// first measure. SUM and COUNT measures add their cells' values, MIN and MAX take the smallest and
// largest; a cell no stored value reaches is NULL. A WHERE set counts every stored row under any of
// its tuples, each row once. An axis with more tuples than `options.max_axis_tuples`, or an answer
// with more cells than `options.max_cells` (see Execute), fails naming the limit. Returns an error
// naming what was wrong and where, or the cube file's failure.
Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader, std::string_view mdx,
                                const QueryOptions& options = {});

// The same with the model of the reader's catalog built already (binder/cube_model.h), as a
// program that answers many queries of one cube file keeps it: building it reads every member.
Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader,
                                const CubeModel& model, std::string_view mdx,
                                const QueryOptions& options = {});

}  // namespace cubemill::query
