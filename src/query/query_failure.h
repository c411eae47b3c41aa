// The error a query's evaluation stops with; the evaluator's public function returns it as an
// Error.
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>

#include "common/error.h"

namespace cubemill::query {

struct QueryFailure : std::runtime_error {
  // A failure at a 1-based character offset of the query: "... at 57".
  QueryFailure(const std::string& what, std::size_t position)
      : std::runtime_error(what + " at " + std::to_string(position)) {}
  // A failure of the query as a whole (a limit), with no place to point at.
  explicit QueryFailure(const std::string& what) : std::runtime_error(what) {}
};

// What `answer` gives, or the Error (source `source`) of what it throws: a QueryFailure or a lack
// of memory as a query's failure (number 1), anything else as the cube file's (number 2).
template <typename T, typename Answer>
Result<T> Answered(const char* source, Answer&& answer) {
  try {
    return answer();
  } catch (const QueryFailure& failure) {
    return Error{failure.what(), 1, source};
  } catch (const std::bad_alloc&) {
    return Error{"not enough memory to answer the query", 1, source};
  } catch (const std::exception& failure) {
    return Error{failure.what(), 2, "cube file"};
  }
}

}  // namespace cubemill::query
