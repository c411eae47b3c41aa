// The reader behind LayoutFromMdx, for the layout_from_mdx*.cpp files that define it.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "query/binder/cube_model.h"
#include "query/parser/mdx_query.h"

namespace cubemill::browse::mdx_layout {

// A query the pivot cannot show: the message ends with the position, as the engine's do.
struct Refusal {
  std::string what;
};

// Throws the Refusal `what` at `position`.
[[noreturn]] void Refuse(const std::string& what, std::size_t position);

// What a set of one hierarchy names.
struct Group {
  enum class Of { kMember, kLevel, kChildren };
  Of of = Of::kMember;
  std::size_t index = 0;  // the member, the level, or the member whose children
  std::size_t position = 0;
};

// One hierarchy's part of a block, or the measures' part.
struct Factor {
  static constexpr std::size_t kMeasures = npos - 1;
  std::size_t hierarchy = 0;  // kMeasures for the measures
  bool total = false;         // the hierarchy's ALL member alone
  bool current = false;       // .CurrentMember of the hierarchy, within a Generate
  std::vector<Group> groups;
  std::vector<std::size_t> measures;
  bool SameKind(const Factor& other) const {
    return hierarchy == other.hierarchy && total == other.total && current == other.current;
  }
};

using Block = std::vector<Factor>;

// Blocks of the same shape become one, each factor with the groups of both.
std::vector<Block> Merged(std::vector<Block> blocks);

// Reads a parsed query as a pivot layout; what a pivot cannot lay out throws a Refusal.
class MdxReader {
 public:
  explicit MdxReader(const query::CubeModel& model) : model_(model) {}

  PivotLayout Read(const query::MdxQuery& query);

 private:
  // The axes (layout_from_mdx.cpp).
  void ReadAxis(const query::MdxExpression& set, std::vector<PivotField>& fields,
                std::vector<std::size_t>& measures, bool& total, std::set<std::size_t>& expanded);
  static bool SameHierarchies(const Block& a, const Block& b);
  static bool HasTotal(const Block& block);
  [[noreturn]] static void RefuseSubtotal(const Block& block);
  bool CouldTotal(const std::vector<PivotField>& fields) const;
  PivotField Field(const Factor& f, std::set<std::size_t>& expanded) const;

  // A set as blocks of factors (layout_from_mdx_sets.cpp).
  std::vector<Block> Blocks(const query::MdxExpression& e);
  static std::vector<Block> Crossed(const std::vector<Block>& outer,
                                    const std::vector<Block>& inner);
  std::vector<Block> Generated(const query::MdxExpression& e);
  query::NameRef Resolved(const query::MdxExpression& name) const;
  Factor MemberFactor(std::size_t m, std::size_t position) const;
  Factor LevelFactor(std::size_t level, std::size_t position) const;
  Factor Leaf(const query::MdxExpression& e);
  Factor NameFactor(const query::MdxExpression& e);

  // Order's sort, the rows' filter and the WHERE clause (layout_from_mdx_slicers.cpp).
  std::vector<std::string> ColumnNames(const query::MdxExpression& value, const char* what) const;
  void ReadSort(const query::MdxExpression& e);
  void ReadFilter(const query::MdxExpression& e);
  void ReadWhere(const query::MdxExpression& where, PivotLayout& layout, std::size_t& measure);

  const query::CubeModel& model_;
  std::optional<PivotSort> sort_;
  std::optional<PivotFilter> filter_;
  bool sort_allowed_ = false;    // a sort: on rows only
  bool filter_allowed_ = false;  // a filter: on either axis, not in WHERE
  bool subtotals_read_ = false;  // the rows' subtotals
};

}  // namespace cubemill::browse::mdx_layout
