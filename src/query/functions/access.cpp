// A set's tuple and a tuple's member by number, a member's property by name, and a member or a
// set written in a string: what clients that build their queries from parts write.
#include <string>
#include <vector>

#include "platform/unicode_case.h"
#include "query/binder/member_properties.h"
#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using Kind = MdxExpression::Kind;

// set.Item(n): the set's tuple n (0 for the first); tuple.Item(n), written on a tuple (a, b)
// or on an .Item of a set: its member n. Past the end, the empty set.
TupleList Item(Context& cx, const MdxExpression& e) {
  const MdxExpression& of = e.operands[0];
  const long long n = WholeOf(e.operands[1]);
  const bool of_tuple = (of.kind == Kind::kTuple && of.operands.size() > 1) || of.Calls("Item");
  const TupleList set = cx.Bounded(of, ".Item");
  if (!of_tuple) {
    if (n < 0 || static_cast<std::size_t>(n) >= set.count) return {set.shape, {}, 0};
    return Slice(set, static_cast<std::size_t>(n), 1);
  }
  if (set.count != 1 || n < 0 || static_cast<std::size_t>(n) >= set.Arity())
    return {{set.Arity() == 0 ? 0 : set.shape[0]}, {}, 0};
  const std::size_t i = static_cast<std::size_t>(n);
  return One(set.shape[i], set.items[i]);
}

// The property names a member answers in .Properties, as DIMENSION PROPERTIES spells them.
constexpr std::pair<const char*, const char*> kPropertyNames[] = {
    {"Key", "MEMBER_KEY"},
    {"Name", "MEMBER_NAME"},
    {"Caption", "MEMBER_CAPTION"},
    {"UniqueName", "MEMBER_UNIQUE_NAME"},
    {"Level", "LEVEL_UNIQUE_NAME"},
    {"Parent", "PARENT_UNIQUE_NAME"},
    {"Level_Number", "LEVEL_NUMBER"},
    {"Children_Cardinality", "CHILDREN_CARDINALITY"},
};

// The canonical property `written` stands for: a short name (Key, Name, Caption...) or a
// DIMENSION PROPERTIES name (MEMBER_KEY...); "" for none.
std::string PropertyNamed(const std::string& written) {
  for (const auto& [short_name, canonical] : kPropertyNames) {
    if (platform::EqualsFolded(written, short_name) || platform::EqualsFolded(written, canonical))
      return canonical;
  }
  return "";
}

// member.Properties("name"): the member's property as text, a number for LEVEL_NUMBER and
// CHILDREN_CARDINALITY; empty for the null member.
Value Properties(Context& cx, const MdxExpression& e) {
  const MdxExpression& name = e.operands[1];
  if (name.kind != Kind::kString)
    throw QueryFailure(".Properties takes the property's name as a string", name.position);
  const std::string property = PropertyNamed(name.parts.front().text);
  if (property.empty()) {
    std::string known;
    for (const auto& [short_name, canonical] : kPropertyNames)
      known += (known.empty() ? "" : ", ") + std::string(short_name);
    throw QueryFailure(
        "unknown member property " + name.parts.front().text + " (known: " + known + ")",
        name.position);
  }
  const TupleList member = cx.Eval().SetAt(e.operands[0], cx.At(), ".Properties");
  if (member.count == 0) return {};
  if (member.count != 1 || member.Arity() != 1)
    throw QueryFailure(".Properties needs a member", e.position);
  const std::size_t h = member.shape[0], item = member.items[0];
  std::string text;
  if (cx.Eval().Bound().FormulaOfItem(cx.Model(), h, item) == nullptr) {
    text = PropertyValue(cx.Model(), h, item, property);
  } else if (property == "MEMBER_UNIQUE_NAME") {
    text = cx.Eval().UniqueName(h, item);
  } else if (property == "MEMBER_NAME" || property == "MEMBER_CAPTION") {
    text = cx.Eval().Caption(h, item);
  } else if (IsNumericProperty(property)) {
    text = "0";
  }
  if (IsNumericProperty(property)) return Value::Integer(std::stoll(text));
  return Value::String(text);
}

const Function kAccess[] = {
    {.name = "Item",
     .syntax = Syntax::kDotted,
     .required = "N",
     .summary = "a set's tuple n, or a tuple's member n (0 for the first)",
     .set = Item},
    {.name = "Properties",
     .syntax = Syntax::kDotted,
     .required = "V",
     .returns = Returns::kValue,
     .summary = "a member's property by name: Key, Name, Caption, UniqueName, Level...",
     .value = Properties},
    {.name = "StrToMember",
     .required = "V",
     .reads_string = true,
     .returns = Returns::kMember,
     .summary = "the member a string constant names",
     .member = [](Context& cx,
                  const MdxExpression& e) { return cx.Member(e.operands[0], "StrToMember"); }},
    {.name = "StrToSet",
     .required = "V",
     .reads_string = true,
     .summary = "the set a string constant writes",
     .set = [](Context& cx,
               const MdxExpression& e) { return cx.Bounded(e.operands[0], "StrToSet"); }},
};

}  // namespace

std::span<const Function> AccessFunctions() { return kAccess; }

}  // namespace cubemill::query::functions
