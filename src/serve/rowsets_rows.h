// A Discover rowset's rows as its producer fills them, and a request's restrictions applied to
// them: one value (or none) per column of the rowset's definition.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serve/rowsets_schema.h"
#include "serve/soap_request.h"

namespace cubemill::serve {

using Restrictions = std::vector<Restriction>;

// The values of restriction `name` in `restrictions`; nullptr when the request has none.
const std::vector<std::string>* RestrictionValues(const Restrictions& restrictions,
                                                  std::string_view name);

class RowsetRows {
 public:
  explicit RowsetRows(const RowsetDefinition& definition) : definition_(definition) {}

  const RowsetDefinition& Definition() const { return definition_; }
  std::vector<std::vector<std::optional<std::string>>>& Rows() { return rows_; }

  // Starts a row, every column without a value.
  void Add();
  // Gives column `name` of the last row its value. `name` must be one of the rowset's columns.
  void Set(std::string_view name, std::string value);
  void SetNumber(std::string_view name, std::int64_t value);
  void SetFlag(std::string_view name, bool value);

  // Marks restriction `name` as applied by the producer: Restrict leaves it alone.
  void Consume(std::string_view name) { consumed_.emplace_back(name); }

  // Drops the rows whose value of a restricted column is none of the restriction's values.
  // Restrictions the rows do not carry (restriction_only) are the producers' to apply.
  void Restrict(const Restrictions& restrictions);

 private:
  const RowsetDefinition& definition_;
  std::vector<std::vector<std::optional<std::string>>> rows_;
  std::vector<std::string> consumed_;
};

}  // namespace cubemill::serve
