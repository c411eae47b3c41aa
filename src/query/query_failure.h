// The error a query's evaluation stops with; the evaluator's public function returns it as an
// Error.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace cubemill::query {

struct QueryFailure : std::runtime_error {
  // A failure at a 1-based character offset of the query: "... at 57".
  QueryFailure(const std::string& what, std::size_t position)
      : std::runtime_error(what + " at " + std::to_string(position)) {}
  // A failure of the query as a whole (a limit), with no place to point at.
  explicit QueryFailure(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace cubemill::query
