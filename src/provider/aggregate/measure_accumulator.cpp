#include "provider/aggregate/measure_accumulator.h"

#include <string>

#include "platform/ascii_text.h"

namespace cubemill::provider::aggregate {

NumberClass ClassOfType(const std::string& type) {
  for (const Keyword<NumberClass>& keyword : kMeasureTypeKeywords) {
    if (platform::EqualsIgnoringCase(type, keyword.text)) return keyword.value;
  }
  return NumberClass::kAny;
}

}  // namespace cubemill::provider::aggregate
