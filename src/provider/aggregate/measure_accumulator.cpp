#include "provider/aggregate/measure_accumulator.h"

#include <string>

#include "platform/ascii_text.h"

namespace cubemill::provider::aggregate {

NumberClass ClassOfType(const std::string& type) {
  const std::string upper = platform::UpperAscii(type);
  static constexpr const char* kIntegers[] = {"DBTYPE_I1",  "DBTYPE_I2",  "DBTYPE_I4",
                                              "DBTYPE_I8",  "DBTYPE_UI1", "DBTYPE_UI2",
                                              "DBTYPE_UI4", "DBTYPE_UI8"};
  static constexpr const char* kReals[] = {"DBTYPE_R4", "DBTYPE_R8", "DBTYPE_CY", "DBTYPE_DECIMAL",
                                           "DBTYPE_NUMERIC"};
  for (const char* name : kIntegers)
    if (upper == name) return NumberClass::kInteger;
  for (const char* name : kReals)
    if (upper == name) return NumberClass::kReal;
  return NumberClass::kAny;
}

}  // namespace cubemill::provider::aggregate
