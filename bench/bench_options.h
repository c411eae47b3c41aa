// What the benchmark programs share in reading their options.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace cubemill::bench {

// Reads `text` as a positive decimal number with nothing after it into `value`; false (and
// `value` unchanged) for anything else.
inline bool ParseNumber(const char* text, std::int64_t& value) {
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || parsed <= 0) return false;
  value = parsed;
  return true;
}

}  // namespace cubemill::bench
