// The parsed form of an MDX query: its axes, its cube and its slicer, every part with the
// 1-based character offset in the query text where it starts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cubemill::query {

// One part of a unique name: `[Spain]`, `Measures` or the key part `&[7]`.
struct NamePart {
  std::string text;
  bool is_key = false;
  std::size_t position = 0;
  bool operator==(const NamePart&) const = default;
};

namespace functions {
struct Function;
}  // namespace functions

// A number as the query writes it, read once by the tokenizer: a whole number (within
// kMaxMdxNumber) or one with decimals, both also as a double.
struct MdxNumber {
  bool whole = true;
  long long integer = 0;  // a whole number's value
  double real = 0;        // the value as a double, for either
  bool operator==(const MdxNumber&) const = default;
};

struct MdxExpression {
  enum class Kind {
    kName,    // parts: [Geography].[Spain]
    kSet,     // {operands...}
    kTuple,   // (operands...); without operands the empty tuple, the columns of SELECT FROM
    kRange,   // operands[0] : operands[1]
    kCall,    // a function of the catalog (functions/catalog.h): Name(operands...), or
              // operands[0].Name and operands[0].Name(operands[1]...) for one written after a "."
    kString,  // parts[0].text: the text, its quotes taken off
    kUnary,   // parts[0].text "-" or "NOT", operands[0]
    kBinary,  // parts[0].text + - * / = <> < > <= >= AND OR XOR; for sets + is Union, - is
              // Except and * is CrossJoin
    kNumber,  // parts[0].text: the number as written ("12", "-3", "0.25"); `number` its value
    kFlag,    // parts[0].text: a flag word in capitals: ALL, SELF, AFTER, LEAVES, ASC...; ""
              // for an optional argument left out between commas (DrilldownLevel(set, , 1))
  };
  MdxExpression() = default;
  MdxExpression(Kind node_kind, std::size_t at, std::vector<NamePart> node_parts,
                std::vector<MdxExpression> node_operands,
                const functions::Function* called = nullptr, MdxNumber value = {})
      : kind(node_kind),
        position(at),
        parts(std::move(node_parts)),
        operands(std::move(node_operands)),
        function(called),
        number(value) {}

  Kind kind = Kind::kName;
  std::size_t position = 0;
  std::vector<NamePart> parts;
  std::vector<MdxExpression> operands;
  const functions::Function* function = nullptr;  // a kCall's function
  MdxNumber number;                               // a kNumber's value

  // Whether this is a call of the function named `name` (as the catalog spells it).
  bool Calls(const char* name) const;
  // Whether this is an optional argument the query left out.
  bool Omitted() const { return kind == Kind::kFlag && parts.front().text.empty(); }
  bool operator==(const MdxExpression&) const = default;
};

struct MdxAxis {
  MdxExpression set;
  bool non_empty = false;
  // DIMENSION PROPERTIES after the set: each property's name as written, its last part
  // (MEMBER_UNIQUE_NAME, [Geography].[Country].[MEMBER_KEY] gives MEMBER_KEY).
  std::vector<NamePart> properties;
  bool operator==(const MdxAxis&) const = default;
};

// A calculated member or a named set of the WITH clause.
struct MdxFormula {
  enum class Kind { kMember, kSet };
  Kind kind = Kind::kMember;
  std::vector<NamePart> name;                // [Measures].[Share]; a set's name has one part
  MdxExpression expression;                  // AS <expression>, also when written in quotes
  std::size_t position = 0;                  // where MEMBER or SET stands
  int solve_order = 0;                       // SOLVE_ORDER = n
  std::optional<std::string> format_string;  // FORMAT_STRING = 'text'
  bool operator==(const MdxFormula&) const = default;
};

struct MdxQuery {
  std::vector<MdxFormula> formulas;  // WITH, in order
  MdxAxis columns;
  std::optional<MdxAxis> rows;
  std::optional<MdxAxis> pages;  // ON PAGES, 2 or AXIS(2); only with COLUMNS and ROWS
  std::string cube;
  std::size_t cube_position = 0;
  // FROM (SELECT ... FROM ...): the subselect, at most one; `cube` is then its cube's name.
  std::vector<MdxQuery> subselect;
  std::optional<MdxExpression> where;
  std::vector<NamePart> cell_properties;  // CELL PROPERTIES VALUE, FORMATTED_VALUE...
  bool operator==(const MdxQuery&) const = default;
};

// DRILLTHROUGH [MAXROWS n] SELECT ... [RETURN name, ...]: the rows of the leaf cells under the
// one cell the SELECT names.
struct MdxDrillthrough {
  MdxQuery select;
  std::optional<long long> max_rows;           // MAXROWS n (0 or more)
  std::vector<std::vector<NamePart>> returns;  // RETURN's names, in order; none for all columns
  bool operator==(const MdxDrillthrough&) const = default;
};

// `parts` written back as a unique name: [Geography].&[7].[Valencia].
std::string NameText(const std::vector<NamePart>& parts);

}  // namespace cubemill::query
