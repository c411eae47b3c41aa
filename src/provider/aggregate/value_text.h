// Locale-independent text of source values, for member names and keys (reading text as numbers
// and dates is provider/values).
#pragma once

#include <string>

#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// Appends `value` as text: integers without decimals, reals in the shortest form that reads
// back to the same number, dates "YYYY-MM-DD", timestamps "YYYY-MM-DD HH:MM:SS", text as it is.
// NULL appends nothing.
void AppendValueText(const Value& value, std::string& out);

// Returns AppendValueText's text for `value`.
std::string ValueText(const Value& value);

// Appends "YYYY-MM-DD".
void AppendDateText(const Date& date, std::string& out);

// Appends "YYYY-MM-DD HH:MM:SS".
void AppendTimestampText(const Timestamp& timestamp, std::string& out);

}  // namespace cubemill::provider::aggregate
