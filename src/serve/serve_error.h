// The failures of the server's parts, all reported by the same source.
#pragma once

#include <string>
#include <utility>

#include "common/error.h"

namespace cubemill::serve {

inline Error ServeError(std::string description) {
  return Error{std::move(description), 0, "cubemill-serve"};
}

}  // namespace cubemill::serve
