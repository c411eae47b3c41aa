// The tuples a scan of a stored table answers: the axes' and the WHERE clause's, evaluated.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "query/execution/tuple_list.h"

namespace cubemill::query {

struct GridAxis {
  TupleList tuples;
  bool non_empty = false;
  std::vector<std::string> properties;  // DIMENSION PROPERTIES, canonical
  std::size_t position = 0;             // where the axis's set starts in the query
};

struct Grid {
  GridAxis columns;
  GridAxis rows;  // one empty tuple when the query has no ROWS axis
  // The PAGES axis. With one, `rows` holds each page's tuple joined with each row's, pages
  // outermost, and keeps every tuple (NON EMPTY of the rows and of the pages is applied to
  // the answer, over every page: Evaluation::SplitPages).
  std::optional<GridAxis> pages;
  // The WHERE clause's tuples, all naming the same measure or none; one empty tuple without a
  // WHERE clause.
  TupleList slicer;
  std::size_t slicer_position = 0;
  bool unique_names = false;  // whether the answer carries the members' unique names
};

}  // namespace cubemill::query
