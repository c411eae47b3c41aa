// The error a query's evaluation stops with; the evaluator's public function returns it as an
// Error.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace cubemill::query {

struct QueryFailure : std::runtime_error {
  QueryFailure(const std::string& what, std::size_t position)
      : std::runtime_error(what + " at " + std::to_string(position)) {}
};

}  // namespace cubemill::query
