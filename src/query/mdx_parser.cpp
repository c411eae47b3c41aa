#include "query/mdx_parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>
#include <utility>
#include <vector>

#include "common/quoted_text.h"

namespace cubemill::query {

std::string NameText(const std::vector<NamePart>& parts) {
  std::string text;
  for (const NamePart& part : parts) {
    if (!text.empty()) text += '.';
    if (part.is_key) text += '&';
    text += '[';
    for (char c : part.text) text += c == ']' ? std::string("]]") : std::string(1, c);
    text += ']';
  }
  return text;
}

namespace {

struct Token {
  enum class Kind { kWord, kBracketed, kSymbol, kNumber, kString, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;          // a string's text has its quotes taken off and doubled ones halved
  std::size_t position = 0;  // 1-based character offset
  // A bracketed name that holds a "[" of its own: where that "[" is, else 0. Such a name most
  // likely ran on from a "[" that was never closed.
  std::size_t inner_bracket = 0;
  // A string's bytes in the text, both quotes included: a quoted formula is read again from
  // them, so that the positions inside it are those of the query.
  std::size_t offset = 0;
  std::size_t length = 0;
};

// A query error at a character offset; caught at the parser's boundary.
struct ParseFailure {
  std::string what;
  std::size_t position = 0;
  bool complete = false;  // `what` names its place itself: the whole message
};

[[noreturn]] void Fail(std::string what, std::size_t position) {
  throw ParseFailure{std::move(what), position};
}

[[noreturn]] void FailTooDeep(std::size_t position) {
  Fail("the query nests deeper than " + std::to_string(kMaxMdxNesting) + " levels", position);
}

// `text` cut to its first kMaxQuoted characters (UTF-8), "..." marking the cut.
std::string Shortened(const std::string& text) {
  constexpr std::size_t kMaxQuoted = 40;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (++characters > kMaxQuoted) return text.substr(0, at) + "...";
  }
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Is(const Token& token, const char* word) {
  if (token.kind != Token::Kind::kWord) return false;
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= token.text.size() ||
        std::toupper(static_cast<unsigned char>(token.text[i])) != word[i])
      return false;
  }
  return i == token.text.size();
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The tokens of `text`. Positions are counted from the text's start, or, for the text of a
// quoted formula, looked up in `positions` (one for each byte and one for the end).
std::vector<Token> Tokenize(std::string_view text,
                            const std::vector<std::size_t>* positions = nullptr) {
  std::vector<Token> tokens;
  std::size_t characters = 0;  // characters before `counted`
  std::size_t counted = 0;     // bytes counted into `characters`
  const auto position_of = [&](std::size_t at) {
    if (positions != nullptr) return (*positions)[at];
    for (; counted < at; ++counted) {
      if ((static_cast<unsigned char>(text[counted]) & 0xC0) != 0x80) ++characters;
    }
    return characters + 1;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    const auto u = static_cast<unsigned char>(c);
    if (std::isspace(u)) {
      ++at;
      continue;
    }
    // Comments: "--" and "//" run to the end of the line, "/*" to the next "*/". Inside a
    // bracketed name or a string they are part of it, as those are read whole below.
    const char following = at + 1 < text.size() ? text[at + 1] : '\0';
    if ((c == '-' && following == '-') || (c == '/' && following == '/')) {
      while (at < text.size() && text[at] != '\n') ++at;
      continue;
    }
    if (c == '/' && following == '*') {
      const std::size_t end = text.find("*/", at + 2);
      if (end == std::string_view::npos) Fail("unclosed /* comment", position_of(at));
      at = end + 2;
      continue;
    }
    Token token;
    token.position = position_of(at);
    if (c == '[') {
      token.kind = Token::Kind::kBracketed;
      QuotedText quoted = ScanQuoted(text, at, ']');
      if (!quoted.closed) Fail("unclosed [", token.position);
      const std::size_t inner = text.substr(0, quoted.end).find('[', at + 1);
      if (inner != std::string_view::npos) token.inner_bracket = position_of(inner);
      token.text = std::move(quoted.value);
      at = quoted.end;
    } else if (c == '\'' || c == '"') {
      // A string in either quote; the quote doubled stands for itself.
      token.kind = Token::Kind::kString;
      token.offset = at;
      QuotedText quoted = ScanQuoted(text, at, c);
      if (!quoted.closed) Fail("unclosed string", token.position);
      token.text = std::move(quoted.value);
      token.length = quoted.end - at;
      at = quoted.end;
    } else if (std::isalpha(u) || c == '_') {
      token.kind = Token::Kind::kWord;
      std::size_t end = at;
      while (end < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
        ++end;
      token.text = std::string(text.substr(at, end - at));
      at = end;
    } else if (IsDigit(c)) {
      // Digits, with decimals after a "." followed by a digit ("1.Name" is 1 and .Name).
      token.kind = Token::Kind::kNumber;
      std::size_t end = at;
      while (end < text.size() && IsDigit(text[end])) ++end;
      if (end + 1 < text.size() && text[end] == '.' && IsDigit(text[end + 1])) {
        ++end;
        while (end < text.size() && IsDigit(text[end])) ++end;
      }
      token.text = std::string(text.substr(at, end - at));
      at = end;
    } else if ((c == '<' && (following == '=' || following == '>')) ||
               (c == '>' && following == '=')) {
      token.kind = Token::Kind::kSymbol;
      token.text = std::string(text.substr(at, 2));
      at += 2;
    } else if (std::string_view("{}(),.*&;:+-/=<>").find(c) != std::string_view::npos) {
      token.kind = Token::Kind::kSymbol;
      token.text = std::string(1, c);
      ++at;
    } else {
      std::size_t length = 1;
      while (at + length < text.size() &&
             (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
        ++length;
      Fail("unexpected character \"" + std::string(text.substr(at, length)) + "\"", token.position);
    }
    tokens.push_back(std::move(token));
  }
  Token end;
  end.position = position_of(text.size());
  tokens.push_back(end);
  return tokens;
}

// The error for a failure at `position` when a bracketed name before it holds a "[" of its
// own: that name most likely began at a "[" that was never closed and swallowed the query up to
// the next "]", so that "[" is what to fix, not the place where the query stopped making sense.
std::optional<std::string> RunawayBracket(const std::vector<Token>& tokens, std::size_t position) {
  for (const Token& token : tokens) {
    if (token.position > position) break;
    if (token.kind == Token::Kind::kBracketed && token.inner_bracket != 0)
      return "unclosed [ at " + std::to_string(token.position) +
             " (the name runs on past the [ at " + std::to_string(token.inner_bracket) + ")";
  }
  return std::nullopt;
}

// A function called by name, and the arguments it takes, one letter each:
//   S a set, M a member, E a level: an expression that is no number, string or flag;
//   L a level or a whole-number distance; N a whole number; D a number, decimals allowed;
//   V a value: any expression but a flag; F a flag word of `flags`.
struct FunctionForm {
  const char* name;  // in capitals
  const char* spelling;
  MdxExpression::Kind kind;
  const char* required;
  const char* optional;
  bool repeats = false;  // the last required letter may come any number of times more
  std::vector<const char*> flags = {};
};

const std::vector<FunctionForm>& Functions() {
  using K = MdxExpression::Kind;
  static const std::vector<FunctionForm> functions = {
      {"CROSSJOIN", "CrossJoin", K::kCrossJoin, "SS", "", true},
      {"HEAD", "Head", K::kHead, "S", "N"},
      {"TAIL", "Tail", K::kTail, "S", "N"},
      {"SUBSET", "Subset", K::kSubset, "SN", "N"},
      {"UNION", "Union", K::kUnion, "SS", "F", true, {"ALL"}},
      {"EXCEPT", "Except", K::kExcept, "SS", ""},
      {"INTERSECT", "Intersect", K::kIntersect, "SS", ""},
      {"DISTINCT", "Distinct", K::kDistinct, "S", ""},
      {"HIERARCHIZE", "Hierarchize", K::kHierarchize, "S", ""},
      {"EXTRACT", "Extract", K::kExtract, "SS", "", true},
      {"ANCESTOR", "Ancestor", K::kAncestor, "ML", ""},
      {"DESCENDANTS",
       "Descendants",
       K::kDescendants,
       "M",
       "LF",
       false,
       {"SELF", "AFTER", "BEFORE", "SELF_AND_AFTER", "SELF_AND_BEFORE", "SELF_BEFORE_AFTER",
        "LEAVES"}},
      {"TOPCOUNT", "TopCount", K::kTopCount, "SN", "V"},
      {"BOTTOMCOUNT", "BottomCount", K::kBottomCount, "SN", "V"},
      {"TOPPERCENT", "TopPercent", K::kTopPercent, "SDV", ""},
      {"BOTTOMPERCENT", "BottomPercent", K::kBottomPercent, "SDV", ""},
      {"TOPSUM", "TopSum", K::kTopSum, "SDV", ""},
      {"BOTTOMSUM", "BottomSum", K::kBottomSum, "SDV", ""},
      {"ORDER", "Order", K::kOrder, "SV", "F", false, {"ASC", "DESC", "BASC", "BDESC"}},
      {"FILTER", "Filter", K::kFilter, "SV", ""},
      {"NONEMPTY", "NonEmpty", K::kNonEmpty, "S", "S"},
      {"GENERATE", "Generate", K::kGenerate, "SS", "F", false, {"ALL"}},
      {"PARALLELPERIOD", "ParallelPeriod", K::kParallelPeriod, "", "ENM"},
      {"PERIODSTODATE", "PeriodsToDate", K::kPeriodsToDate, "", "EM"},
      {"YTD", "Ytd", K::kYtd, "", "M"},
      {"QTD", "Qtd", K::kQtd, "", "M"},
      {"MTD", "Mtd", K::kMtd, "", "M"},
      {"WTD", "Wtd", K::kWtd, "", "M"},
      {"OPENINGPERIOD", "OpeningPeriod", K::kOpeningPeriod, "", "EM"},
      {"CLOSINGPERIOD", "ClosingPeriod", K::kClosingPeriod, "", "EM"},
      {"IIF", "IIf", K::kIif, "VVV", ""},
      {"COALESCEEMPTY", "CoalesceEmpty", K::kCoalesceEmpty, "VV", "", true},
      {"ISEMPTY", "IsEmpty", K::kIsEmpty, "V", ""},
      {"SUM", "Sum", K::kSum, "S", "V"},
      {"AVG", "Avg", K::kAvg, "S", "V"},
      {"MIN", "Min", K::kMin, "S", "V"},
      {"MAX", "Max", K::kMax, "S", "V"},
      {"COUNT", "Count", K::kCount, "S", "F", false, {"EXCLUDEEMPTY", "INCLUDEEMPTY"}},
      {"AGGREGATE", "Aggregate", K::kAggregate, "S", "V"},
  };
  return functions;
}

// The functions written after a member, a set or a dimension and a ".".
const struct {
  const char* name;
  MdxExpression::Kind kind;
  bool takes_number;     // .Lag(n), .Lead(n)
  const char* spelling;  // in messages, and a kProperty's parts[0]
} kDottedFunctions[] = {
    {"MEMBERS", MdxExpression::Kind::kMembers, false, "Members"},
    {"CHILDREN", MdxExpression::Kind::kChildren, false, "Children"},
    {"PARENT", MdxExpression::Kind::kParent, false, "Parent"},
    {"FIRSTCHILD", MdxExpression::Kind::kFirstChild, false, "FirstChild"},
    {"LASTCHILD", MdxExpression::Kind::kLastChild, false, "LastChild"},
    {"SIBLINGS", MdxExpression::Kind::kSiblings, false, "Siblings"},
    {"PREVMEMBER", MdxExpression::Kind::kPrevMember, false, "PrevMember"},
    {"NEXTMEMBER", MdxExpression::Kind::kNextMember, false, "NextMember"},
    {"LEVEL", MdxExpression::Kind::kLevel, false, "Level"},
    {"LAG", MdxExpression::Kind::kLag, true, "Lag"},
    {"LEAD", MdxExpression::Kind::kLead, true, "Lead"},
    {"CURRENTMEMBER", MdxExpression::Kind::kCurrentMember, false, "CurrentMember"},
    {"NAME", MdxExpression::Kind::kProperty, false, "Name"},
    {"UNIQUENAME", MdxExpression::Kind::kProperty, false, "UniqueName"},
    {"CAPTION", MdxExpression::Kind::kProperty, false, "Caption"},
    {"ORDINAL", MdxExpression::Kind::kProperty, false, "Ordinal"},
    {"VALUE", MdxExpression::Kind::kProperty, false, "Value"},
    {"COUNT", MdxExpression::Kind::kProperty, false, "Count"},
};

// The properties of a calculated member that are read and not used.
constexpr const char* kIgnoredProperties[] = {
    "VISIBLE",    "NON_EMPTY_BEHAVIOR", "CAPTION",   "LANGUAGE",   "FORE_COLOR",
    "BACK_COLOR", "FONT_NAME",          "FONT_SIZE", "FONT_FLAGS", "SCOPE_ISOLATION",
};

// The words that begin or part the query's clauses and the operators that are words: never a
// bare name part (a member so named is written in brackets).
constexpr const char* kKeywords[] = {
    "SELECT", "ON", "FROM", "WHERE", "NON", "EMPTY", "COLUMNS",   "ROWS",       "WITH", "MEMBER",
    "SET",    "AS", "AND",  "OR",    "XOR", "NOT",   "DIMENSION", "PROPERTIES", "CELL",
};

// The largest number a query may write, in either sign, and the most digits after its point.
constexpr long long kMaxMdxNumber = 999'999'999'999'999'999;
constexpr std::size_t kMaxMdxDecimals = 18;

class Parser {
 public:
  // Reads `tokens`, taken from `text`; `end` names the end of the tokens in messages.
  Parser(std::string_view text, const std::vector<Token>& tokens, const char* end)
      : text_(text), tokens_(tokens), end_(end) {}

  // query := [WITH formula+] select [CELL PROPERTIES name (',' name)*] [';']
  MdxQuery Query() {
    MdxQuery query;
    if (Is(Peek(), "WITH")) {
      Next();
      Formulas(query);
    }
    Expect("SELECT");
    Select(query);
    if (Is(Peek(), "CELL")) {
      Next();
      Expect("PROPERTIES");
      query.cell_properties = NameList("a cell property");
    }
    if (IsSymbol(Peek(), ';')) Next();
    if (Peek().kind != Token::Kind::kEnd)
      Fail("expected the end of the query, found " + Describe(Peek()), Peek().position);
    return query;
  }

  // A whole quoted formula: one expression and the end.
  MdxExpression Formula() {
    std::size_t height = 0;
    MdxExpression expression = Expression(height);
    if (Peek().kind != Token::Kind::kEnd)
      Fail(std::string("expected ") + end_ + ", found " + Describe(Peek()), Peek().position);
    return expression;
  }

 private:
  const Token& Peek() const { return tokens_[next_]; }
  // The token after Peek(); the end again at the end.
  const Token& PeekSecond() const { return tokens_[std::min(next_ + 1, tokens_.size() - 1)]; }
  const Token& Next() {
    const Token& token = tokens_[next_];
    if (token.kind != Token::Kind::kEnd) ++next_;
    return token;
  }
  static bool IsSymbol(const Token& token, std::string_view symbol) {
    return token.kind == Token::Kind::kSymbol && token.text == symbol;
  }
  static bool IsSymbol(const Token& token, char symbol) {
    return IsSymbol(token, std::string_view(&symbol, 1));
  }
  static bool IsKeyword(const Token& token) {
    return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                       [&](const char* word) { return Is(token, word); });
  }
  std::string Describe(const Token& token) const {
    switch (token.kind) {
      case Token::Kind::kEnd:
        return end_;
      case Token::Kind::kBracketed:
        return "[" + Shortened(token.text) + "]";
      case Token::Kind::kString:
        return "'" + Shortened(token.text) + "'";
      default:
        return "\"" + Shortened(token.text) + "\"";
    }
  }
  void Expect(const char* word) {
    const Token& token = Next();
    if (!Is(token, word))
      Fail(std::string("expected ") + word + ", found " + Describe(token), token.position);
  }
  void ExpectSymbol(char symbol) {
    const Token& token = Next();
    if (!IsSymbol(token, symbol))
      Fail(std::string("expected \"") + symbol + "\", found " + Describe(token), token.position);
  }
  // Expects the symbol that closes `open` (a "{" or a "(").
  void ExpectClosing(char symbol, const Token& open) {
    const Token& token = Next();
    if (!IsSymbol(token, symbol))
      Fail(std::string("expected \"") + symbol + "\" to close the \"" + open.text + "\" at " +
               std::to_string(open.position) + ", found " + Describe(token),
           token.position);
  }

  // formula := MEMBER name AS value (',' property '=' value)* | SET name AS value, where a
  // value is an expression or its text in quotes.
  void Formulas(MdxQuery& query) {
    do {
      const Token& word = Next();
      MdxFormula formula;
      formula.position = word.position;
      if (Is(word, "MEMBER")) {
        formula.kind = MdxFormula::Kind::kMember;
        formula.name = NameParts("the member's name");
      } else if (Is(word, "SET")) {
        formula.kind = MdxFormula::Kind::kSet;
        formula.name.push_back(PlainPart("the set's name"));
      } else {
        Fail("expected MEMBER or SET, found " + Describe(word), word.position);
      }
      Expect("AS");
      formula.expression = FormulaValue();
      if (formula.kind == MdxFormula::Kind::kMember) MemberProperties(formula);
      query.formulas.push_back(std::move(formula));
    } while (Is(Peek(), "MEMBER") || Is(Peek(), "SET"));
  }

  // A string that is all of the formula's value is the formula's text (AS 'Sum(...)'); a
  // string within an expression is a string.
  MdxExpression FormulaValue() {
    const Token& after = PeekSecond();
    if (Peek().kind == Token::Kind::kString &&
        (IsSymbol(after, ',') || Is(after, "MEMBER") || Is(after, "SET") || Is(after, "SELECT") ||
         after.kind == Token::Kind::kEnd))
      return Quoted(Next());
    std::size_t height = 0;
    return Expression(height);
  }

  // The expression in the string `quoted`, read with the positions its characters have in the
  // query: a doubled quote is one character of the formula and two of the query.
  MdxExpression Quoted(const Token& quoted) {
    const char quote = text_[quoted.offset];
    const std::size_t closing = quoted.offset + quoted.length - 1;
    std::vector<std::size_t> positions;
    positions.reserve(quoted.text.size() + 1);
    std::size_t characters = 1;  // the opening quote
    for (std::size_t at = quoted.offset + 1; at < closing; ++at) {
      positions.push_back(quoted.position + characters);
      if (text_[at] == quote) {
        ++at;
        ++characters;
      }
      if ((static_cast<unsigned char>(text_[at]) & 0xC0) != 0x80) ++characters;
    }
    positions.push_back(quoted.position + characters);
    std::vector<Token> tokens;
    try {
      tokens = Tokenize(quoted.text, &positions);
      return Parser(quoted.text, tokens, "the end of the quoted formula").Formula();
    } catch (const ParseFailure& failure) {
      if (failure.complete) throw;
      if (auto runaway = RunawayBracket(tokens, failure.position))
        throw ParseFailure{*runaway, failure.position, true};
      throw;
    }
  }

  // SOLVE_ORDER = n and FORMAT_STRING = 'text' are kept; the others are read and dropped.
  void MemberProperties(MdxFormula& formula) {
    std::vector<std::string> given;
    while (IsSymbol(Peek(), ',')) {
      Next();
      const Token& property = Next();
      if (property.kind != Token::Kind::kWord)
        Fail("expected a property of the member, found " + Describe(property), property.position);
      const std::string name = Upper(property.text);
      const bool ignored = std::any_of(std::begin(kIgnoredProperties), std::end(kIgnoredProperties),
                                       [&](const char* word) { return name == word; });
      if (!ignored && name != "SOLVE_ORDER" && name != "FORMAT_STRING")
        Fail("unknown property " + Shortened(property.text), property.position);
      if (std::find(given.begin(), given.end(), name) != given.end())
        Fail("the property " + Shortened(property.text) + " is given twice", property.position);
      given.push_back(name);
      ExpectSymbol('=');
      const Token& value = Peek();
      if (name == "SOLVE_ORDER") {
        if (!StartsNumber()) Fail("SOLVE_ORDER needs a whole number", value.position);
        const std::string number = Number().parts.front().text;
        if (number.find('.') != std::string::npos)
          Fail("SOLVE_ORDER needs a whole number", value.position);
        const long long order = std::stoll(number);
        if (order < INT_MIN || order > INT_MAX)
          Fail("SOLVE_ORDER " + number + " is out of range", value.position);
        formula.solve_order = static_cast<int>(order);
      } else if (name == "FORMAT_STRING") {
        if (value.kind != Token::Kind::kString)
          Fail("FORMAT_STRING needs a string", value.position);
        formula.format_string = Next().text;
      } else {
        std::size_t height = 0;
        Expression(height);
      }
    }
  }

  // select := SELECT axis (',' axis)* FROM from [WHERE expression], SELECT read already.
  void Select(MdxQuery& query) {
    Axes(query);
    Expect("FROM");
    From(query);
    if (Is(Peek(), "WHERE")) {
      Next();
      std::size_t height = 0;
      query.where = Expression(height);
    }
  }

  // axis := [NON EMPTY] expression [DIMENSION PROPERTIES name (',' name)*] ON axis-name
  void Axes(MdxQuery& query) {
    bool have_columns = false;
    std::size_t rows_position = 0;
    for (;;) {
      MdxAxis axis;
      if (Is(Peek(), "NON")) {
        Next();
        Expect("EMPTY");
        axis.non_empty = true;
      }
      std::size_t height = 0;
      axis.set = Expression(height);
      if (Is(Peek(), "DIMENSION")) {
        Next();
        Expect("PROPERTIES");
        axis.properties = NameList("a dimension property");
      }
      const Token& on = Peek();
      if (!Is(on, "ON")) Fail("expected ON, found " + Describe(on), on.position);
      Next();
      const Token& name = Next();
      const std::string number = AxisNumber(name);
      const bool columns = Is(name, "COLUMNS") || number == "0";
      const bool rows = Is(name, "ROWS") || number == "1";
      if (!columns && !rows) {
        if (!number.empty())
          Fail("only COLUMNS and ROWS, AXIS(0) and AXIS(1), are answered: found AXIS(" +
                   Shortened(number) + ")",
               name.position);
        Fail("expected COLUMNS, ROWS or AXIS(n), found " + Describe(name), name.position);
      }
      if (columns) {
        if (have_columns) Fail("the COLUMNS axis is given twice", name.position);
        query.columns = std::move(axis);
        have_columns = true;
      } else {
        if (query.rows) Fail("the ROWS axis is given twice", name.position);
        query.rows = std::move(axis);
        rows_position = name.position;
      }
      if (!IsSymbol(Peek(), ',')) break;
      Next();
    }
    if (!have_columns) Fail("a query with ROWS needs a COLUMNS axis", rows_position);
  }

  // from := cube-name | '(' SELECT select ')'. A subselect counts as a level of nesting, and
  // the query's cube is the one its subselects read.
  void From(MdxQuery& query) {
    const Token& open = Peek();
    if (IsSymbol(open, '(')) {
      Next();
      const Nesting nesting(depth_, open.position);
      MdxQuery subselect;
      Expect("SELECT");
      Select(subselect);
      ExpectClosing(')', open);
      query.cube = subselect.cube;
      query.cube_position = subselect.cube_position;
      query.subselect.push_back(std::move(subselect));
      return;
    }
    const Token& cube = Next();
    if (cube.kind != Token::Kind::kBracketed && cube.kind != Token::Kind::kWord)
      Fail("expected the cube's name, found " + Describe(cube), cube.position);
    query.cube = cube.text;
    query.cube_position = cube.position;
  }

  // The number of an axis named `name` as "0" or AXIS(0) (reading the AXIS form's "(0)"), with
  // leading zeros dropped; "" for any other name.
  std::string AxisNumber(const Token& name) {
    const Token* number = &name;
    if (Is(name, "AXIS")) {
      const Token& open = Peek();
      ExpectSymbol('(');
      number = &Next();
      if (number->kind != Token::Kind::kNumber || number->text.find('.') != std::string::npos)
        Fail("expected an axis number, found " + Describe(*number), number->position);
      ExpectClosing(')', open);
    }
    if (number->kind != Token::Kind::kNumber || number->text.find('.') != std::string::npos)
      return "";
    const std::size_t first = number->text.find_first_not_of('0');
    return first == std::string::npos ? "0" : number->text.substr(first);
  }

  // name (',' name)*, each name's last part kept: [Geography].[Country].[Key] gives Key.
  std::vector<NamePart> NameList(const char* what) {
    std::vector<NamePart> names;
    for (;;) {
      names.push_back(NameParts(what).back());
      if (!IsSymbol(Peek(), ',')) return names;
      Next();
    }
  }

  // part ('.' part)*, every part a name (no function).
  std::vector<NamePart> NameParts(const char* what) {
    std::vector<NamePart> parts{PlainPart(what)};
    while (IsSymbol(Peek(), '.')) {
      Next();
      parts.push_back(PlainPart(what));
    }
    return parts;
  }

  // A [bracketed] name or a word that is no keyword.
  NamePart PlainPart(const char* what) {
    const Token& token = Next();
    if (token.kind != Token::Kind::kBracketed &&
        (token.kind != Token::Kind::kWord || IsKeyword(token)))
      Fail(std::string("expected ") + what + ", found " + Describe(token), token.position);
    return {token.text, false, token.position};
  }

  // The height of a node over operands `height` high, failing at `position` when the node would
  // nest the query deeper than kMaxMdxNesting (the depth_ levels around it counted too).
  std::size_t Raise(std::size_t height, std::size_t position) const {
    if (depth_ + height + 1 > kMaxMdxNesting) FailTooDeep(position);
    return height + 1;
  }

  // Counts a level that is read by recursion (a bracket, a function's parentheses, a prefix
  // operator, a subselect) while its operands are read; the recursion stops at kMaxMdxNesting,
  // so that no query runs the stack out.
  class Nesting {
   public:
    Nesting(std::size_t& depth, std::size_t position) : count_(depth) {
      // The operands are at least one level high.
      if (++count_ + 1 > kMaxMdxNesting) {
        --count_;
        FailTooDeep(position);
      }
    }
    ~Nesting() { --count_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    std::size_t& count_;
  };

  // Each of the expression's readers sets `height` to the height of the expression it returns:
  // 1 for a name, a number or a string, one more than its highest operand for the others. A
  // run of binary operators is read in a loop, so that its length costs no stack.

  // The binary operator at Peek() applied to `left` and the operand `operand` reads.
  MdxExpression Binary(MdxExpression left, std::size_t& height,
                       MdxExpression (Parser::*operand)(std::size_t&)) {
    const Token& op = Next();
    const std::string text = op.kind == Token::Kind::kWord ? Upper(op.text) : op.text;
    MdxExpression node{MdxExpression::Kind::kBinary, op.position, {{text, false, op.position}}, {}};
    node.operands.push_back(std::move(left));
    std::size_t right = 0;
    node.operands.push_back((this->*operand)(right));
    height = Raise(std::max(height, right), op.position);
    return node;
  }

  // expression := and ((OR | XOR) and)*
  MdxExpression Expression(std::size_t& height) {
    MdxExpression left = Conjunction(height);
    while (Is(Peek(), "OR") || Is(Peek(), "XOR"))
      left = Binary(std::move(left), height, &Parser::Conjunction);
    return left;
  }

  // and := not (AND not)*
  MdxExpression Conjunction(std::size_t& height) {
    MdxExpression left = Negation(height);
    while (Is(Peek(), "AND")) left = Binary(std::move(left), height, &Parser::Negation);
    return left;
  }

  // not := NOT not | compare
  MdxExpression Negation(std::size_t& height) {
    if (!Is(Peek(), "NOT")) return Comparison(height);
    return Prefix("NOT", height, &Parser::Negation);
  }

  // The prefix operator at Peek(), written `text`, over the operand `operand` reads.
  MdxExpression Prefix(const char* text, std::size_t& height,
                       MdxExpression (Parser::*operand)(std::size_t&)) {
    const std::size_t position = Next().position;
    const Nesting nesting(depth_, position);
    MdxExpression node{MdxExpression::Kind::kUnary, position, {{text, false, position}}, {}};
    std::size_t below = 0;
    node.operands.push_back((this->*operand)(below));
    height = below + 1;
    return node;
  }

  static bool IsComparison(const Token& token) {
    return token.kind == Token::Kind::kSymbol &&
           (token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
            token.text == "<=" || token.text == ">=");
  }

  // compare := additive [('=' | '<>' | '<' | '>' | '<=' | '>=') additive]
  MdxExpression Comparison(std::size_t& height) {
    MdxExpression left = Additive(height);
    if (!IsComparison(Peek())) return left;
    left = Binary(std::move(left), height, &Parser::Additive);
    if (IsComparison(Peek()))
      Fail("expected AND or OR between comparisons, found " + Describe(Peek()), Peek().position);
    return left;
  }

  // additive := multiply (('+' | '-') multiply)*
  MdxExpression Additive(std::size_t& height) {
    MdxExpression left = Multiplicative(height);
    while (IsSymbol(Peek(), '+') || IsSymbol(Peek(), '-'))
      left = Binary(std::move(left), height, &Parser::Multiplicative);
    return left;
  }

  // multiply := unary (('*' | '/') unary)*
  MdxExpression Multiplicative(std::size_t& height) {
    MdxExpression left = Signed(height);
    while (IsSymbol(Peek(), '*') || IsSymbol(Peek(), '/'))
      left = Binary(std::move(left), height, &Parser::Signed);
    return left;
  }

  // unary := '-' unary | range; a "-" right before a number's digits is the number's sign.
  MdxExpression Signed(std::size_t& height) {
    if (!IsSymbol(Peek(), '-') || StartsNumber()) return Range(height);
    return Prefix("-", height, &Parser::Signed);
  }

  // range := term [':' term]
  MdxExpression Range(std::size_t& height) {
    MdxExpression first = Term(height);
    if (!IsSymbol(Peek(), ':')) return first;
    const std::size_t position = Next().position;
    MdxExpression range{MdxExpression::Kind::kRange, position, {}, {}};
    range.operands.push_back(std::move(first));
    std::size_t last = 0;
    range.operands.push_back(Term(last));
    height = Raise(std::max(height, last), position);
    return range;
  }

  // term := primary ('.' dotted-function ['(' number ')'])*
  MdxExpression Term(std::size_t& height) {
    MdxExpression value = Primary(height);
    while (IsSymbol(Peek(), '.')) {
      height = Raise(height, Next().position);
      const Token& word = Next();
      const auto* dotted = std::find_if(std::begin(kDottedFunctions), std::end(kDottedFunctions),
                                        [&](const auto& f) { return Is(word, f.name); });
      if (dotted == std::end(kDottedFunctions)) {
        if (word.kind == Token::Kind::kWord)
          Fail("unknown function " + Shortened(word.text), word.position);
        Fail("expected a function after \".\", found " + Describe(word), word.position);
      }
      MdxExpression applied{dotted->kind, value.position, {}, {}};
      if (dotted->kind == MdxExpression::Kind::kProperty)
        applied.parts.push_back({dotted->spelling, false, word.position});
      applied.operands.push_back(std::move(value));
      if (dotted->takes_number) {
        const Token& open = Peek();
        ExpectSymbol('(');
        if (!StartsNumber())
          Fail(std::string(dotted->spelling) + " needs a number", Peek().position);
        applied.operands.push_back(Number());
        if (applied.operands.back().parts.front().text.find('.') != std::string::npos)
          Fail(std::string(dotted->spelling) + " needs a whole number",
               applied.operands.back().position);
        ExpectClosing(')', open);
      }
      value = std::move(applied);
    }
    return value;
  }

  // A number's digits, or a "-" right before them (no space between).
  bool StartsNumber() const {
    if (Peek().kind == Token::Kind::kNumber) return true;
    const Token& digits = PeekSecond();
    return IsSymbol(Peek(), '-') && digits.kind == Token::Kind::kNumber &&
           digits.position == Peek().position + 1;
  }

  // number := ['-'] digits ['.' digits]: a whole one within kMaxMdxNumber, written without
  // leading zeros; one with decimals as written, its whole part within kMaxMdxNumber too and at
  // most kMaxMdxDecimals after the point.
  MdxExpression Number() {
    const std::size_t position = Peek().position;
    const bool negative = IsSymbol(Peek(), '-');
    if (negative) Next();
    const Token& digits = Next();
    const std::size_t point = digits.text.find('.');
    long long value = 0;
    for (char c : digits.text.substr(0, point)) {
      if (value > (kMaxMdxNumber - (c - '0')) / 10)
        Fail("the number " + Shortened(digits.text) + " is too large", digits.position);
      value = value * 10 + (c - '0');
    }
    std::string text;
    if (point == std::string::npos) {
      text = std::to_string(negative ? -value : value);
    } else {
      if (digits.text.size() - point - 1 > kMaxMdxDecimals)
        Fail("the number " + Shortened(digits.text) + " has more than " +
                 std::to_string(kMaxMdxDecimals) + " decimals",
             digits.position);
      text = (negative ? "-" : "") + digits.text;
    }
    return {MdxExpression::Kind::kNumber, position, {{text, false, position}}, {}};
  }

  // call := name '(' [argument (',' argument)*] ')', argument := flag | expression; checked
  // against the function's form.
  MdxExpression Call(const FunctionForm& function, std::size_t& height) {
    const Token& name = Next();
    MdxExpression call{function.kind, name.position, {}, {}};
    const Token& open = Peek();
    ExpectSymbol('(');
    const Nesting nesting(depth_, name.position);
    std::size_t highest = 0;
    while (!IsSymbol(Peek(), ')') || !call.operands.empty()) {
      const Token& first = Peek();
      const Token& after = PeekSecond();
      const bool flag = (IsSymbol(after, ',') || IsSymbol(after, ')')) &&
                        std::any_of(function.flags.begin(), function.flags.end(),
                                    [&](const char* word) { return Is(first, word); });
      if (flag) {
        const std::string word = Upper(Next().text);
        call.operands.push_back(
            {MdxExpression::Kind::kFlag, first.position, {{word, false, first.position}}, {}});
        highest = std::max<std::size_t>(highest, 1);
      } else {
        std::size_t operand = 0;
        call.operands.push_back(Expression(operand));
        highest = std::max(highest, operand);
      }
      if (!IsSymbol(Peek(), ',')) break;
      Next();
    }
    ExpectClosing(')', open);
    CheckArguments(function, call);
    height = highest + 1;
    return call;
  }

  // Fails at the first argument of `call` that is not of the kind `function` takes there, or at
  // the call when it has too few or too many.
  static void CheckArguments(const FunctionForm& function, const MdxExpression& call) {
    const std::string name = function.spelling;
    const std::size_t required = std::char_traits<char>::length(function.required);
    const std::size_t optional = std::char_traits<char>::length(function.optional);
    const std::size_t given = call.operands.size();
    if (given < required || (!function.repeats && given > required + optional)) {
      std::string counts = std::to_string(required);
      if (function.repeats)
        counts += " or more";
      else if (optional == 1)
        counts += " or " + std::to_string(required + 1);
      else if (optional > 1)
        counts += " to " + std::to_string(required + optional);
      Fail(name + " takes " + counts + " arguments, found " + std::to_string(given), call.position);
    }
    for (std::size_t i = 0; i < given; ++i) {
      const MdxExpression& argument = call.operands[i];
      char expected = 0;
      if (i < required) {
        expected = function.required[i];
      } else if (function.repeats) {
        expected = argument.kind == MdxExpression::Kind::kFlag && optional > 0 && i + 1 == given
                       ? 'F'
                       : function.required[required - 1];
      } else {
        expected = function.optional[i - required];
      }
      const bool number = argument.kind == MdxExpression::Kind::kNumber;
      const bool whole = number && argument.parts.front().text.find('.') == std::string::npos;
      const bool text = argument.kind == MdxExpression::Kind::kString;
      const bool flag = argument.kind == MdxExpression::Kind::kFlag;
      const auto fail = [&](const char* what) { Fail(name + what, argument.position); };
      switch (expected) {
        case 'S':
          if (number || text || flag) fail(" needs a set");
          break;
        case 'M':
          if (number || text || flag) fail(" needs a member");
          break;
        case 'E':
          if (number || text || flag) fail(" needs a level");
          break;
        case 'L':
          if (text || flag) fail(" needs a level or a distance");
          if (number && !whole) fail(" needs a whole number");
          break;
        case 'N':
          if (!number) fail(" needs a number");
          if (!whole) fail(" needs a whole number");
          break;
        case 'D':
          if (!number) fail(" needs a number");
          break;
        case 'V':
          if (flag) fail(" needs a value");
          break;
        default:
          if (!flag) {
            std::string words;
            for (std::size_t f = 0; f < function.flags.size(); ++f)
              words += std::string(f == 0                           ? ""
                                   : f + 1 == function.flags.size() ? " or "
                                                                    : ", ") +
                       function.flags[f];
            Fail(name + " takes " + words + " there", argument.position);
          }
      }
    }
  }

  // primary := number | string | '{' [expression (',' expression)*] '}'
  //          | '(' expression (',' expression)* ')' | call | name
  MdxExpression Primary(std::size_t& height) {
    const Token& token = Peek();
    height = 1;
    if (StartsNumber()) return Number();
    // A bare CASE would read as a name and fail far away: say what it is.
    if (Is(token, "CASE") && PeekSecond().kind != Token::Kind::kSymbol)
      Fail("CASE is not supported: use IIf", token.position);
    if (token.kind == Token::Kind::kString) {
      Next();
      return {
          MdxExpression::Kind::kString, token.position, {{token.text, false, token.position}}, {}};
    }
    if (IsSymbol(token, '{') || IsSymbol(token, '(')) {
      const bool set = token.text[0] == '{';
      const char close = set ? '}' : ')';
      Next();
      MdxExpression list{
          set ? MdxExpression::Kind::kSet : MdxExpression::Kind::kTuple, token.position, {}, {}};
      if (!(set && IsSymbol(Peek(), close))) {
        const Nesting nesting(depth_, token.position);
        std::size_t highest = 0;
        for (;;) {
          std::size_t operand = 0;
          list.operands.push_back(Expression(operand));
          highest = std::max(highest, operand);
          if (!IsSymbol(Peek(), ',')) break;
          Next();
        }
        height = highest + 1;
      }
      ExpectClosing(close, token);
      return list;
    }
    if (token.kind == Token::Kind::kWord && !IsKeyword(token) && IsSymbol(PeekSecond(), '(')) {
      for (const FunctionForm& function : Functions())
        if (Is(token, function.name)) return Call(function, height);
      Fail("unknown function " + Shortened(token.text), token.position);
    }
    return Name();
  }

  // name := part ('.' part)*, part := [text] | &[key] | word; a word after a "." that names a
  // function ends the name.
  MdxExpression Name() {
    MdxExpression name{MdxExpression::Kind::kName, Peek().position, {}, {}};
    name.parts.push_back(Part());
    while (IsSymbol(Peek(), '.') && !IsFunction(PeekSecond())) {
      Next();
      if (Peek().kind == Token::Kind::kWord && IsSymbol(PeekSecond(), '('))
        Fail("unknown function " + Shortened(Peek().text), Peek().position);
      name.parts.push_back(Part());
    }
    return name;
  }

  static bool IsFunction(const Token& token) {
    return std::any_of(std::begin(kDottedFunctions), std::end(kDottedFunctions),
                       [&](const auto& f) { return Is(token, f.name); });
  }

  NamePart Part() {
    const Token& token = Next();
    if (IsSymbol(token, '&')) {
      const Token& key = Next();
      if (key.kind != Token::Kind::kBracketed)
        Fail("expected [key] after &, found " + Describe(key), key.position);
      return {key.text, true, token.position};
    }
    if (token.kind == Token::Kind::kBracketed ||
        (token.kind == Token::Kind::kWord && !IsKeyword(token)))
      return {token.text, false, token.position};
    Fail("expected a member, a set or a function, found " + Describe(token), token.position);
  }

  std::string_view text_;
  const std::vector<Token>& tokens_;
  const char* end_;
  std::size_t next_ = 0;
  std::size_t depth_ = 0;  // the levels read by recursion around the expression being read
};

}  // namespace

const char* CallName(MdxExpression::Kind kind) {
  for (const FunctionForm& function : Functions())
    if (function.kind == kind) return function.spelling;
  return nullptr;
}

Result<MdxQuery> ParseMdx(std::string_view text) {
  if (text.size() > kMaxMdxLength)
    return Error{"the query is longer than " + std::to_string(kMaxMdxLength) + " bytes", 1,
                 kQuerySource};
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text);
    return Parser(text, tokens, "the end of the query").Query();
  } catch (const ParseFailure& failure) {
    if (failure.complete) return Error{failure.what, 1, kQuerySource};
    return Error{RunawayBracket(tokens, failure.position)
                     .value_or(failure.what + " at " + std::to_string(failure.position)),
                 1, kQuerySource};
  }
}

}  // namespace cubemill::query
