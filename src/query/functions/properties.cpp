// The properties written after a member, a level, a dimension or a set and a ".": .Name,
// .UniqueName, .Caption, .Ordinal, .Value and .Count.
#include <string>

#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using Kind = MdxExpression::Kind;
constexpr std::size_t npos = CubeModel::npos;

// .Name, .UniqueName, .Caption and .Ordinal: of a level, of a dimension or hierarchy (not
// .Ordinal), of a member or measure.
Value Named(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const std::string property = e.function->name;
  const MdxExpression& of = e.operands.front();
  std::size_t level = npos;
  if (of.kind == Kind::kCall && of.function->returns == Returns::kLevel) {
    level = cx.Level(of, ".Level");
    if (level == npos) return {};
  } else if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    if (ref.kind == NameRef::Kind::kLevel) level = ref.index;
    if (ref.kind == NameRef::Kind::kHierarchy && property != "Ordinal") {
      return Value::String(property == "UniqueName" ? model.HierarchyName(ref.index)
                                                    : model.HierarchyCaption(ref.index));
    }
  }
  if (level != npos) {
    const auto& stored = model.Catalog().levels[level];
    if (property == "Ordinal") return Value::Integer(stored.ordinal - 1);
    if (property == "UniqueName")
      return Value::String(model.HierarchyName(model.LevelHierarchy(level)) + "." +
                           Bracketed(stored.name));
    return Value::String(stored.name);
  }
  if (property == "Ordinal") throw QueryFailure(".Ordinal needs a level", e.position);
  const TupleList member = cx.Eval().SetAt(of, cx.At(), ".Name");
  if (member.count == 0) return {};
  if (member.count != 1 || member.Arity() != 1)
    throw QueryFailure("." + property + " needs a member", e.position);
  const std::size_t h = member.shape[0], item = member.items[0];
  return Value::String(property == "UniqueName" ? cx.Eval().UniqueName(h, item)
                                                : cx.Eval().Caption(h, item));
}

const Function kProperties[] = {
    {.name = "Name",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "the name of a member, a level or a dimension",
     .value = Named},
    {.name = "UniqueName",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "the unique name of a member, a level or a dimension",
     .value = Named},
    {.name = "Caption",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "the caption of a member, a level or a dimension: its name",
     .value = Named},
    {.name = "Ordinal",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "a level's number, 0 for the top level",
     .value = Named},
    {.name = "Value",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "the value of the cell a member or tuple points at",
     .value = [](Context& cx, const MdxExpression& e) { return cx.ValueOf(e.operands.front()); }},
    {.name = "Count",
     .syntax = Syntax::kDotted,
     .returns = Returns::kValue,
     .summary = "how many tuples a set has, or members a level has",
     .value =
         [](Context& cx, const MdxExpression& e) {
           return Value::Integer(static_cast<std::int64_t>(
               cx.Eval().SetAt(e.operands.front(), cx.At(), ".Count").count));
         }},
};

}  // namespace

std::span<const Function> PropertyFunctions() { return kProperties; }

}  // namespace cubemill::query::functions
