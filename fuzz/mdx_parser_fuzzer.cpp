// Fuzzes the MDX parser with the input as the query. An accepted query, written back as MDX,
// must parse again to the same tree (positions aside), and writing that back must give the same
// text; every position in a tree lies within the query. A refused query must give an MDX error
// whose positions lie within the text or just past its end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "query/mdx_parser.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::query::MdxAxis;
using cubemill::query::MdxExpression;
using cubemill::query::MdxQuery;
using Kind = MdxExpression::Kind;

// Characters (UTF-8 lead bytes and ASCII) in `text`.
std::size_t Characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

std::string Bracketed(const std::string& text) {
  std::string out = "[";
  for (char c : text) out += c == ']' ? std::string("]]") : std::string(1, c);
  return out + "]";
}

// `expression` as MDX: every name part in brackets, a * b as CrossJoin(a, b), functions by
// their names, numbers and flags as they are.
std::string Text(const MdxExpression& expression) {
  std::string out;
  const auto list = [&](const char* open, const char* close) {
    out = open;
    for (std::size_t i = 0; i < expression.operands.size(); ++i)
      out += (i ? ", " : "") + Text(expression.operands[i]);
    out += close;
  };
  switch (expression.kind) {
    case Kind::kName:
      return cubemill::query::NameText(expression.parts);
    case Kind::kMembers:
      return Text(expression.operands.at(0)) + ".Members";
    case Kind::kChildren:
      return Text(expression.operands.at(0)) + ".Children";
    case Kind::kParent:
      return Text(expression.operands.at(0)) + ".Parent";
    case Kind::kSet:
      list("{", "}");
      break;
    case Kind::kTuple:
      list("(", ")");
      break;
    case Kind::kCrossJoin:
      list("CrossJoin(", ")");
      break;
    case Kind::kFirstChild:
      return Text(expression.operands.at(0)) + ".FirstChild";
    case Kind::kLastChild:
      return Text(expression.operands.at(0)) + ".LastChild";
    case Kind::kSiblings:
      return Text(expression.operands.at(0)) + ".Siblings";
    case Kind::kPrevMember:
      return Text(expression.operands.at(0)) + ".PrevMember";
    case Kind::kNextMember:
      return Text(expression.operands.at(0)) + ".NextMember";
    case Kind::kLevel:
      return Text(expression.operands.at(0)) + ".Level";
    case Kind::kLag:
      return Text(expression.operands.at(0)) + ".Lag(" + Text(expression.operands.at(1)) + ")";
    case Kind::kLead:
      return Text(expression.operands.at(0)) + ".Lead(" + Text(expression.operands.at(1)) + ")";
    case Kind::kRange:
      return Text(expression.operands.at(0)) + " : " + Text(expression.operands.at(1));
    case Kind::kAncestor:
      list("Ancestor(", ")");
      break;
    case Kind::kDescendants:
      list("Descendants(", ")");
      break;
    case Kind::kHead:
      list("Head(", ")");
      break;
    case Kind::kTail:
      list("Tail(", ")");
      break;
    case Kind::kSubset:
      list("Subset(", ")");
      break;
    case Kind::kUnion:
      list("Union(", ")");
      break;
    case Kind::kExcept:
      list("Except(", ")");
      break;
    case Kind::kIntersect:
      list("Intersect(", ")");
      break;
    case Kind::kDistinct:
      list("Distinct(", ")");
      break;
    case Kind::kHierarchize:
      list("Hierarchize(", ")");
      break;
    case Kind::kExtract:
      list("Extract(", ")");
      break;
    case Kind::kNumber:
    case Kind::kFlag:
      return expression.parts.at(0).text;
  }
  return out;
}

std::string Text(const MdxAxis& axis, const char* name) {
  return (axis.non_empty ? "NON EMPTY " : "") + Text(axis.set) + " ON " + name;
}

std::string Text(const MdxQuery& query) {
  std::string out = "SELECT " + Text(query.columns, "COLUMNS");
  if (query.rows) out += ", " + Text(*query.rows, "ROWS");
  out += " FROM " + Bracketed(query.cube);
  if (query.where) out += " WHERE " + Text(*query.where);
  return out;
}

// The same tree as `b`, positions aside.
bool Same(const MdxExpression& a, const MdxExpression& b) {
  if (a.kind != b.kind || a.parts.size() != b.parts.size() ||
      a.operands.size() != b.operands.size())
    return false;
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    if (a.parts[i].text != b.parts[i].text || a.parts[i].is_key != b.parts[i].is_key) return false;
  }
  for (std::size_t i = 0; i < a.operands.size(); ++i) {
    if (!Same(a.operands[i], b.operands[i])) return false;
  }
  return true;
}

bool Same(const MdxQuery& a, const MdxQuery& b) {
  const auto same_axis = [](const MdxAxis& x, const MdxAxis& y) {
    return x.non_empty == y.non_empty && Same(x.set, y.set);
  };
  return same_axis(a.columns, b.columns) && a.rows.has_value() == b.rows.has_value() &&
         (!a.rows || same_axis(*a.rows, *b.rows)) && a.cube == b.cube &&
         a.where.has_value() == b.where.has_value() && (!a.where || Same(*a.where, *b.where));
}

// Every position in `expression` lies on a character of the query; the tree is no higher than
// the bound. Returns its height.
std::size_t CheckPositions(const MdxExpression& expression, std::size_t characters) {
  Check(expression.position >= 1 && expression.position <= characters, "position outside the query",
        std::to_string(expression.position));
  for (const auto& part : expression.parts)
    Check(part.position >= 1 && part.position <= characters, "name part outside the query",
          std::to_string(part.position));
  std::size_t height = 0;
  for (const auto& operand : expression.operands)
    height = std::max(height, CheckPositions(operand, characters));
  Check(height + 1 <= cubemill::query::kMaxMdxNesting, "a tree higher than the bound");
  return height + 1;
}

// The number at `at` in `message` (digits up to the end or to `stop`), or 0 when there is none.
std::size_t NumberAt(const std::string& message, std::size_t at, char stop) {
  std::size_t number = 0;
  std::size_t end = at;
  for (; end < message.size() && message[end] != stop; ++end) {
    if (message[end] < '0' || message[end] > '9' || end - at > 18) return 0;
    number = number * 10 + static_cast<std::size_t>(message[end] - '0');
  }
  return end == at ? 0 : number;
}

// The error ends with the place where it was found (" at 12"; an unclosed "[" names its own
// place first: "unclosed [ at 8 (the name runs on past the [ at 19)"), within the text or just
// past its end. Only the length's error has no place.
void CheckErrorPositions(const std::string& message, std::size_t characters) {
  if (message.starts_with("the query is longer than")) return;
  const bool unclosed = message.starts_with("unclosed [ at ") && message.ends_with(")");
  const std::size_t last = message.rfind(" at ");
  Check(last != std::string::npos, "error without a position", message);
  const std::size_t position = NumberAt(message, last + 4, unclosed ? ')' : '\0');
  Check(position >= 1 && position <= characters + 1, "error position outside the query", message);
  if (unclosed) {
    const std::size_t bracket = NumberAt(message, 14, ' ');
    Check(bracket >= 1 && bracket < position, "unclosed [ not before the [ it runs past", message);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t characters = Characters(text);
  const auto query = cubemill::query::ParseMdx(text);
  if (!query.ok()) {
    Check(query.error().source == cubemill::query::kQuerySource, "error not from MDX",
          query.error().description);
    CheckErrorPositions(query.error().description, characters);
    return 0;
  }
  CheckPositions(query->columns.set, characters);
  if (query->rows) CheckPositions(query->rows->set, characters);
  if (query->where) CheckPositions(*query->where, characters);
  Check(query->cube_position >= 1 && query->cube_position <= characters, "cube outside the query");

  // Written back, the query parses to the same tree, and writes back the same way.
  const std::string written = Text(*query);
  if (written.size() > cubemill::query::kMaxMdxLength) return 0;  // brackets doubled past the bound
  const auto again = cubemill::query::ParseMdx(written);
  Check(again.ok(), "the written query does not parse",
        written + "\n" + (again.ok() ? "" : again.error().description));
  Check(Same(*query, *again), "the written query parses to another tree", written);
  Check(Text(*again) == written, "writing back is not stable", written);
  return 0;
}
