#include "query/binder/binder.h"

#include <algorithm>
#include <string>

#include "platform/unicode_case.h"
#include "query/binder/member_properties.h"
#include "query/execution/tuple_list.h"
#include "query/functions/function.h"
#include "query/query_failure.h"

namespace cubemill::query {

std::string Grouped(std::size_t count) {
  const std::string digits = std::to_string(count);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

const BoundFormula* BoundQuery::FormulaOfItem(const CubeModel& model, std::size_t hierarchy,
                                              std::size_t item) const {
  if (hierarchy == kMeasuresHierarchy) {
    const std::size_t measures = model.Catalog().measures.size();
    if (item < measures || item - measures >= measure_formulas.size()) return nullptr;
    return &formulas[measure_formulas[item - measures]];
  }
  if (item < model.MemberCount() || item - model.MemberCount() >= formulas.size()) return nullptr;
  return &formulas[item - model.MemberCount()];
}

namespace {

using Kind = MdxExpression::Kind;

bool PartsEqual(const std::vector<NamePart>& a, const std::vector<NamePart>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].is_key != b[i].is_key || !platform::EqualsFolded(a[i].text, b[i].text)) return false;
  return true;
}

class Binder {
 public:
  Binder(const CubeModel& model, BoundQuery& bound) : model_(model), bound_(bound) {}

  // A calculated member or a named set of the WITH clause.
  void Define(const MdxFormula& formula) {
    if (formula.kind == MdxFormula::Kind::kSet) {
      if (formula.name.size() != 1)
        throw QueryFailure("a named set's name has one part", formula.position);
      if (FindSet(formula.name) != npos)
        throw QueryFailure("the set " + NameText(formula.name) + " is defined twice",
                           formula.position);
      bound_.sets.push_back(&formula);
      return;
    }
    if (formula.name.size() < 2) {
      throw QueryFailure("a calculated member's name starts with its dimension, as in " +
                             MeasureUniqueName(formula.name.front().text),
                         formula.position);
    }
    if (FindFormula(formula.name) != npos)
      throw QueryFailure("the member " + NameText(formula.name) + " is defined twice",
                         formula.position);
    const std::vector<NamePart> parent(formula.name.begin(), formula.name.end() - 1);
    const NameRef ref = model_.Resolve(parent, formula.name.front().position);
    BoundFormula f;
    f.source = &formula;
    f.name = formula.name.back().text;
    switch (ref.kind) {
      case NameRef::Kind::kMeasures:
        f.hierarchy = kMeasuresHierarchy;
        f.item = model_.Catalog().measures.size() + bound_.measure_formulas.size();
        break;
      case NameRef::Kind::kHierarchy:
        f.hierarchy = ref.index;
        break;
      case NameRef::Kind::kMember:
        f.hierarchy = model_.HierarchyOf(ref.index);
        f.parent = ref.index;
        break;
      default:
        throw QueryFailure(
            "a calculated member belongs to a dimension, a hierarchy or a member, not " +
                NameText(parent),
            formula.position);
    }
    if (f.hierarchy == kMeasuresHierarchy)
      bound_.measure_formulas.push_back(bound_.formulas.size());
    else
      f.item = model_.MemberCount() + bound_.formulas.size();
    bound_.formulas.push_back(std::move(f));
  }

  // Resolves every name under `e`; returns whether `e` computes per cell.
  bool Names(const MdxExpression& e) {
    bool computes = false;
    switch (e.kind) {
      case Kind::kName:
        bound_.names.emplace(&e, Resolve(e));
        return false;
      case Kind::kString:
      case Kind::kUnary:
        computes = true;
        break;
      case Kind::kBinary: {
        const std::string& op = e.parts.front().text;
        computes = op != "+" && op != "-" && op != "*";
        break;
      }
      case Kind::kCall:
        computes = e.function->per_cell || e.function->returns == functions::Returns::kValue;
        break;
      default:
        break;
    }
    for (const MdxExpression& operand : e.operands) computes = Names(operand) || computes;
    return computes;
  }

 private:
  static constexpr std::size_t npos = CubeModel::npos;

  NameBinding Resolve(const MdxExpression& e) const {
    NameBinding name;
    const std::size_t formula = FindFormula(e.parts);
    if (formula != npos) return {NameBinding::Kind::kFormula, {}, formula};
    const std::size_t set = FindSet(e.parts);
    if (set != npos) return {NameBinding::Kind::kNamedSet, {}, set};
    name.ref = model_.Resolve(e.parts, e.position);
    return name;
  }

  // The calculated member `parts` names, npos for none. A measure may be named without
  // [Measures].
  std::size_t FindFormula(const std::vector<NamePart>& parts) const {
    for (std::size_t k = 0; k < bound_.formulas.size(); ++k) {
      const BoundFormula& f = bound_.formulas[k];
      if (PartsEqual(f.source->name, parts)) return k;
      if (parts.back().is_key || !platform::EqualsFolded(parts.back().text, f.name)) continue;
      if (f.hierarchy == kMeasuresHierarchy && parts.size() == 1) return k;
      // [Time].[H1] finds [Time].[Calendar].[H1]: the same hierarchy, named another way.
      if (f.hierarchy != kMeasuresHierarchy && parts.size() > 1) {
        try {
          const NameRef ref = model_.Resolve({parts.begin(), parts.end() - 1}, 0);
          const std::size_t h = ref.kind == NameRef::Kind::kHierarchy ? ref.index
                                : ref.kind == NameRef::Kind::kMember ? model_.HierarchyOf(ref.index)
                                                                     : npos;
          if (h == f.hierarchy) return k;
        } catch (const QueryFailure&) {
        }
      }
    }
    return npos;
  }

  std::size_t FindSet(const std::vector<NamePart>& parts) const {
    for (std::size_t k = 0; k < bound_.sets.size(); ++k)
      if (PartsEqual(bound_.sets[k]->name, parts)) return k;
    return npos;
  }

  const CubeModel& model_;
  BoundQuery& bound_;
};

// The names of a subselect and of the subselects in it; whether any of them computes.
bool SubselectNames(Binder& binder, const MdxQuery& query) {
  bool computes = false;
  for (const MdxQuery& inner : query.subselect) {
    computes = SubselectNames(binder, inner) || computes;
    computes = binder.Names(inner.columns.set) || computes;
    if (inner.rows) computes = binder.Names(inner.rows->set) || computes;
    if (inner.pages) computes = binder.Names(inner.pages->set) || computes;
    if (inner.where) computes = binder.Names(*inner.where) || computes;
  }
  return computes;
}

}  // namespace

BoundQuery Bind(const CubeModel& model, const MdxQuery& query) {
  BoundQuery bound;
  bound.cell_properties = CellPropertyNames(query.cell_properties);
  const auto& catalog = model.Catalog();
  if (!platform::EqualsFolded(query.cube, catalog.name)) {
    throw QueryFailure(UnknownCube(query.cube, catalog.name), query.cube_position);
  }
  if (catalog.measures.empty()) throw QueryFailure("the cube has no measure", 1);
  bound.query = &query;
  Binder binder(model, bound);
  for (const MdxFormula& formula : query.formulas) binder.Define(formula);
  bool computes = !query.formulas.empty() || !query.subselect.empty();
  // The axes first, then the WHERE clause, the formulas and the subselect: an unknown name is
  // reported where a reader meets it first.
  computes = binder.Names(query.columns.set) || computes;
  bound.columns = {&query.columns, DimensionPropertyNames(query.columns.properties)};
  if (query.rows) {
    computes = binder.Names(query.rows->set) || computes;
    bound.rows = {&*query.rows, DimensionPropertyNames(query.rows->properties)};
  }
  if (query.pages) {
    computes = binder.Names(query.pages->set) || computes;
    bound.pages = {&*query.pages, DimensionPropertyNames(query.pages->properties)};
  }
  if (query.where) computes = binder.Names(*query.where) || computes;
  for (const MdxFormula& formula : query.formulas) binder.Names(formula.expression);
  SubselectNames(binder, query);
  bound.calculates = computes;
  return bound;
}

}  // namespace cubemill::query
