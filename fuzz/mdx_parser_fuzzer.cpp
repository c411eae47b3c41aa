// Fuzzes the MDX parser with the input as the query. An accepted query, written back as MDX,
// must parse again to the same tree (positions aside), and writing that back must give the same
// text; every position in a tree lies within the query. A refused query must give an MDX error
// whose positions lie within the text or just past its end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "query/functions/function.h"
#include "query/parser/mdx_parser.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::query::MdxAxis;
using cubemill::query::MdxExpression;
using cubemill::query::MdxFormula;
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

// `text` in single quotes, each quote in it doubled.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// `expression` as MDX: every name part in brackets, every call by its name, every operator
// between spaces. A tree the parser built puts (...) wherever an operator binds looser than the
// one above it, so writing the operands as they are keeps the tree.
std::string Text(const MdxExpression& expression) {
  const auto operand = [&](std::size_t i) { return Text(expression.operands.at(i)); };
  const auto list = [&](const std::string& open, const char* close) {
    std::string out = open;
    for (std::size_t i = 0; i < expression.operands.size(); ++i)
      out += (i ? ", " : "") + operand(i);
    return out + close;
  };
  switch (expression.kind) {
    case Kind::kName:
      return cubemill::query::NameText(expression.parts);
    case Kind::kCall: {
      const auto* function = expression.function;
      if (function->syntax == cubemill::query::functions::Syntax::kCall)
        return list(std::string(function->name) + "(", ")");
      std::string out = operand(0) + "." + function->name;
      if (expression.operands.size() == 1) return out;
      out += "(";
      for (std::size_t i = 1; i < expression.operands.size(); ++i)
        out += (i > 1 ? ", " : "") + operand(i);
      return out + ")";
    }
    case Kind::kSet:
      return list("{", "}");
    case Kind::kTuple:
      return list("(", ")");
    case Kind::kRange:
      return operand(0) + " : " + operand(1);
    case Kind::kString:
      return Quoted(expression.parts.at(0).text);
    case Kind::kUnary:
      // "- 1" apart, as "-1" is the number.
      return expression.parts.at(0).text + " " + operand(0);
    case Kind::kBinary:
      return operand(0) + " " + expression.parts.at(0).text + " " + operand(1);
    case Kind::kNumber:
    case Kind::kFlag:
      return expression.parts.at(0).text;
  }
  Check(false, "a kind the writer does not know");
  return "";
}

std::string Names(const std::vector<cubemill::query::NamePart>& names) {
  std::string out;
  for (const auto& name : names) out += (out.empty() ? "" : ", ") + Bracketed(name.text);
  return out;
}

std::string Text(const MdxAxis& axis, const char* name) {
  std::string out = (axis.non_empty ? "NON EMPTY " : "") + Text(axis.set);
  if (!axis.properties.empty()) out += " DIMENSION PROPERTIES " + Names(axis.properties);
  return out + " ON " + name;
}

// SELECT ... FROM ... [WHERE ...], a subselect in its parentheses; SELECT FROM for a query
// without axes, whose columns the parser makes one empty tuple.
std::string SelectText(const MdxQuery& query) {
  const bool no_axes =
      query.columns.set.kind == Kind::kTuple && query.columns.set.operands.empty() && !query.rows;
  std::string out = no_axes ? "SELECT" : "SELECT " + Text(query.columns, "COLUMNS");
  if (query.rows) out += ", " + Text(*query.rows, "ROWS");
  if (query.pages) out += ", " + Text(*query.pages, "PAGES");
  out += " FROM " + (query.subselect.empty() ? Bracketed(query.cube)
                                             : "(" + SelectText(query.subselect.at(0)) + ")");
  if (query.where) out += " WHERE " + Text(*query.where);
  return out;
}

// The query written back: a member's formula in quotes, a set's without (but for a lone
// string, which unquoted would be read as the formula's text).
std::string Text(const MdxQuery& query) {
  std::string out;
  for (const MdxFormula& formula : query.formulas) {
    out += out.empty() ? "WITH " : " ";
    const bool member = formula.kind == MdxFormula::Kind::kMember;
    const std::string value = Text(formula.expression);
    out += (member ? "MEMBER " : "SET ") + cubemill::query::NameText(formula.name) + " AS " +
           (member || formula.expression.kind == Kind::kString ? Quoted(value) : value);
    if (formula.solve_order != 0) out += ", SOLVE_ORDER = " + std::to_string(formula.solve_order);
    if (formula.format_string) out += ", FORMAT_STRING = " + Quoted(*formula.format_string);
  }
  out += (out.empty() ? "" : " ") + SelectText(query);
  if (!query.cell_properties.empty()) out += " CELL PROPERTIES " + Names(query.cell_properties);
  return out;
}

bool SameNames(const std::vector<cubemill::query::NamePart>& a,
               const std::vector<cubemill::query::NamePart>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].text != b[i].text || a[i].is_key != b[i].is_key) return false;
  }
  return true;
}

// The same tree as `b`, positions aside.
bool Same(const MdxExpression& a, const MdxExpression& b) {
  if (a.kind != b.kind || !SameNames(a.parts, b.parts) || a.operands.size() != b.operands.size())
    return false;
  for (std::size_t i = 0; i < a.operands.size(); ++i) {
    if (!Same(a.operands[i], b.operands[i])) return false;
  }
  return true;
}

bool Same(const MdxQuery& a, const MdxQuery& b) {
  const auto same_axis = [](const MdxAxis& x, const MdxAxis& y) {
    return x.non_empty == y.non_empty && Same(x.set, y.set) &&
           SameNames(x.properties, y.properties);
  };
  if (a.formulas.size() != b.formulas.size() || a.subselect.size() != b.subselect.size())
    return false;
  for (std::size_t i = 0; i < a.formulas.size(); ++i) {
    const MdxFormula& x = a.formulas[i];
    const MdxFormula& y = b.formulas[i];
    if (x.kind != y.kind || !SameNames(x.name, y.name) || !Same(x.expression, y.expression) ||
        x.solve_order != y.solve_order || x.format_string != y.format_string)
      return false;
  }
  for (std::size_t i = 0; i < a.subselect.size(); ++i) {
    if (!Same(a.subselect[i], b.subselect[i])) return false;
  }
  return same_axis(a.columns, b.columns) && a.rows.has_value() == b.rows.has_value() &&
         (!a.rows || same_axis(*a.rows, *b.rows)) && a.pages.has_value() == b.pages.has_value() &&
         (!a.pages || same_axis(*a.pages, *b.pages)) && a.cube == b.cube &&
         a.where.has_value() == b.where.has_value() && (!a.where || Same(*a.where, *b.where)) &&
         SameNames(a.cell_properties, b.cell_properties);
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

void CheckPositions(const std::vector<cubemill::query::NamePart>& names, std::size_t characters) {
  for (const auto& name : names)
    Check(name.position >= 1 && name.position <= characters, "name outside the query",
          std::to_string(name.position));
}

// Every position in `query` (its subselect's too) lies within the query.
void CheckPositions(const MdxQuery& query, std::size_t characters) {
  for (const MdxFormula& formula : query.formulas) {
    Check(formula.position >= 1 && formula.position <= characters, "formula outside the query");
    CheckPositions(formula.name, characters);
    CheckPositions(formula.expression, characters);
  }
  CheckPositions(query.columns.set, characters);
  CheckPositions(query.columns.properties, characters);
  for (const auto* axis : {&query.rows, &query.pages}) {
    if (!*axis) continue;
    CheckPositions((*axis)->set, characters);
    CheckPositions((*axis)->properties, characters);
  }
  if (query.where) CheckPositions(*query.where, characters);
  CheckPositions(query.cell_properties, characters);
  Check(query.cube_position >= 1 && query.cube_position <= characters, "cube outside the query");
  for (const MdxQuery& subselect : query.subselect) {
    Check(subselect.cube == query.cube, "a subselect's cube is not the query's");
    CheckPositions(subselect, characters);
  }
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
  CheckPositions(*query, characters);

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
