#include "serve/rowsets_rows.h"

#include <algorithm>
#include <cassert>
#include <charconv>

namespace cubemill::serve {

namespace {

std::optional<std::int64_t> Integer(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Whether a column's value equals a restriction's: numbers as numbers, flags either way they
// are written, text exactly. A column without a value matches the empty restriction only.
bool SameValue(ColumnType type, const std::optional<std::string>& value,
               const std::string& restriction) {
  if (!value) return restriction.empty();
  switch (type) {
    case ColumnType::kInt:
    case ColumnType::kUnsignedInt:
    case ColumnType::kShort:
    case ColumnType::kUnsignedShort: {
      const auto a = Integer(*value);
      const auto b = Integer(restriction);
      return a && b && *a == *b;
    }
    case ColumnType::kBoolean:
      return (*value == "true") == (restriction == "true" || restriction == "1");
    default:
      return *value == restriction;
  }
}

}  // namespace

const std::vector<std::string>* RestrictionValues(const Restrictions& restrictions,
                                                  std::string_view name) {
  for (const Restriction& restriction : restrictions) {
    if (restriction.name == name) return &restriction.values;
  }
  return nullptr;
}

void RowsetRows::Add() { rows_.emplace_back(definition_.columns.size()); }

void RowsetRows::Set(std::string_view name, std::string value) {
  const int column = ColumnIndex(definition_, name);
  assert(column >= 0 && !rows_.empty());
  rows_.back()[static_cast<std::size_t>(column)] = std::move(value);
}

void RowsetRows::SetNumber(std::string_view name, std::int64_t value) {
  Set(name, std::to_string(value));
}

void RowsetRows::SetFlag(std::string_view name, bool value) { Set(name, value ? "true" : "false"); }

void RowsetRows::Restrict(const Restrictions& restrictions) {
  for (const Restriction& restriction : restrictions) {
    const int index = ColumnIndex(definition_, restriction.name);
    if (index < 0 ||
        std::find(consumed_.begin(), consumed_.end(), restriction.name) != consumed_.end()) {
      continue;
    }
    if (definition_.columns[static_cast<std::size_t>(index)].restriction_only) {
      // CUBE_SOURCE and the *_VISIBILITY restrictions: every row is of a cube (1) and visible
      // (1), so a value without that bit keeps none. TREE_OP is the member rowset's own.
      if (restriction.name == "TREE_OP") continue;
      const bool keeps = std::any_of(restriction.values.begin(), restriction.values.end(),
                                     [](const std::string& value) {
                                       const auto bits = Integer(value);
                                       return bits && (*bits & 1) != 0;
                                     });
      if (!keeps) rows_.clear();
      continue;
    }
    const std::size_t column = static_cast<std::size_t>(index);
    const ColumnType type = definition_.columns[column].type;
    std::erase_if(rows_, [&](const std::vector<std::optional<std::string>>& row) {
      return std::none_of(
          restriction.values.begin(), restriction.values.end(),
          [&](const std::string& value) { return SameValue(type, row[column], value); });
    });
  }
}

}  // namespace cubemill::serve
