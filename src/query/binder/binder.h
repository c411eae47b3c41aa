// The binder: checks the query against the cube once, before anything is computed: the cube's
// name, the calculated members and named sets of the WITH clause, what every name of the query
// stands for, the properties asked for, and whether the query computes cells (a calculation
// step) or only reads them.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "query/binder/cube_model.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

// A calculated member of the WITH clause.
struct BoundFormula {
  const MdxFormula* source = nullptr;
  std::size_t hierarchy = 0;  // kMeasuresHierarchy for a measure
  std::size_t item = 0;       // its number in tuples: after the cube's members or measures
  std::string name;           // its last part
  // The member it is defined under ([Geography].[Spain].[Iberia] under Spain), npos for one
  // defined under its dimension or hierarchy, or a measure.
  std::size_t parent = CubeModel::npos;
};

// What a name of the query stands for.
struct NameBinding {
  enum class Kind { kCube, kFormula, kNamedSet };
  Kind kind = Kind::kCube;
  NameRef ref;            // kCube: the member, level, hierarchy, measure or [Measures]
  std::size_t index = 0;  // kFormula: into formulas; kNamedSet: into sets
};

struct BoundAxis {
  const MdxAxis* axis = nullptr;        // nullptr: the query has no such axis
  std::vector<std::string> properties;  // DIMENSION PROPERTIES, canonical
};

struct BoundQuery {
  const MdxQuery* query = nullptr;
  std::vector<BoundFormula> formulas;
  std::vector<std::size_t> measure_formulas;  // formulas index of each calculated measure
  std::vector<const MdxFormula*> sets;        // the named sets
  std::unordered_map<const MdxExpression*, NameBinding> names;
  BoundAxis columns, rows, pages;
  std::vector<std::string> cell_properties;  // CELL PROPERTIES, canonical
  // Whether cells are computed rather than read: a WITH clause, a subselect, or a value or a
  // function computed per cell anywhere in the axes or the WHERE clause.
  bool calculates = false;

  // What the name `e` (a kName of the query) stands for.
  const NameBinding& NameOf(const MdxExpression& e) const { return names.at(&e); }
  // The calculated member numbered `item` in `hierarchy`, nullptr for a member of the cube.
  const BoundFormula* FormulaOfItem(const CubeModel& model, std::size_t hierarchy,
                                    std::size_t item) const;
};

// Binds `query` (which must outlive the result) to the cube of `model`. Throws QueryFailure
// for another cube's name, a cube without a measure, a name that is unknown, a formula defined
// twice or named wrongly, and an unknown property.
BoundQuery Bind(const CubeModel& model, const MdxQuery& query);

// "12,345,678".
std::string Grouped(std::size_t count);

}  // namespace cubemill::query
