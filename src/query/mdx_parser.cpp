#include "query/mdx_parser.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

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
  enum class Kind { kWord, kBracketed, kSymbol, kNumber, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;
  std::size_t position = 0;  // 1-based character offset
  // A bracketed name that holds a "[" of its own: where that "[" is, else 0. Such a name most
  // likely ran on from a "[" that was never closed.
  std::size_t inner_bracket = 0;
};

// A query error at a character offset; caught at the parser's boundary.
struct ParseFailure {
  std::string what;
  std::size_t position = 0;
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

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t characters = 0;  // characters before `at`
  std::size_t counted = 0;     // bytes counted into `characters`
  const auto position_of = [&](std::size_t at) {
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
    // bracketed name they are part of the name, as the name is read whole below.
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
      std::size_t end = at + 1;
      for (;; ++end) {
        if (end >= text.size()) Fail("unclosed [", token.position);
        if (text[end] == '[' && token.inner_bracket == 0) token.inner_bracket = position_of(end);
        if (text[end] == ']') {
          if (end + 1 < text.size() && text[end + 1] == ']') {
            token.text += ']';
            ++end;
            continue;
          }
          break;
        }
        token.text += text[end];
      }
      at = end + 1;
    } else if (std::isalpha(u) || c == '_') {
      token.kind = Token::Kind::kWord;
      std::size_t end = at;
      while (end < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
        ++end;
      token.text = std::string(text.substr(at, end - at));
      at = end;
    } else if (std::isdigit(u)) {
      token.kind = Token::Kind::kNumber;
      std::size_t end = at;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      token.text = std::string(text.substr(at, end - at));
      at = end;
    } else if (std::string_view("{}(),.*&;:").find(c) != std::string_view::npos ||
               (c == '-' && std::isdigit(static_cast<unsigned char>(following)))) {
      // A "-" is a sign only right before a number's digits.
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

// A function called by name, and the arguments it takes, one letter each: S a set (or a
// member), L a level or a kNumber distance, N a kNumber, F a flag word of `flags`.
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
      {"ANCESTOR", "Ancestor", K::kAncestor, "SL", ""},
      {"DESCENDANTS",
       "Descendants",
       K::kDescendants,
       "S",
       "LF",
       false,
       {"SELF", "AFTER", "BEFORE", "SELF_AND_AFTER", "SELF_AND_BEFORE", "SELF_BEFORE_AFTER",
        "LEAVES"}},
  };
  return functions;
}

// The functions written after a member or a set and a ".".
const struct {
  const char* name;
  MdxExpression::Kind kind;
  bool takes_number;  // .Lag(n), .Lead(n)
  const char* spelling = "";
} kDottedFunctions[] = {
    {"MEMBERS", MdxExpression::Kind::kMembers, false},
    {"CHILDREN", MdxExpression::Kind::kChildren, false},
    {"PARENT", MdxExpression::Kind::kParent, false},
    {"FIRSTCHILD", MdxExpression::Kind::kFirstChild, false},
    {"LASTCHILD", MdxExpression::Kind::kLastChild, false},
    {"SIBLINGS", MdxExpression::Kind::kSiblings, false},
    {"PREVMEMBER", MdxExpression::Kind::kPrevMember, false},
    {"NEXTMEMBER", MdxExpression::Kind::kNextMember, false},
    {"LEVEL", MdxExpression::Kind::kLevel, false},
    {"LAG", MdxExpression::Kind::kLag, true, "Lag"},
    {"LEAD", MdxExpression::Kind::kLead, true, "Lead"},
};

// The largest number a query may write, in either sign.
constexpr long long kMaxMdxNumber = 999'999'999'999'999'999;

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  MdxQuery Query() {
    MdxQuery query;
    Expect("SELECT");
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
      axis.set = Set(height);
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
    Expect("FROM");
    const Token& cube = Next();
    if (cube.kind != Token::Kind::kBracketed && cube.kind != Token::Kind::kWord)
      Fail("expected the cube's name, found " + Describe(cube), cube.position);
    query.cube = cube.text;
    query.cube_position = cube.position;
    if (Is(Peek(), "WHERE")) {
      Next();
      std::size_t height = 0;
      query.where = Set(height);
    }
    if (IsSymbol(Peek(), ';')) Next();
    if (Peek().kind != Token::Kind::kEnd)
      Fail("expected the end of the query, found " + Describe(Peek()), Peek().position);
    return query;
  }

 private:
  const Token& Peek() const { return tokens_[next_]; }
  const Token& Next() {
    const Token& token = tokens_[next_];
    if (token.kind != Token::Kind::kEnd) ++next_;
    return token;
  }
  static bool IsSymbol(const Token& token, char symbol) {
    return token.kind == Token::Kind::kSymbol && token.text[0] == symbol;
  }
  static std::string Describe(const Token& token) {
    switch (token.kind) {
      case Token::Kind::kEnd:
        return "the end of the query";
      case Token::Kind::kBracketed:
        return "[" + Shortened(token.text) + "]";
      default:
        return "\"" + Shortened(token.text) + "\"";
    }
  }
  // The number of an axis named `name` as "0" or AXIS(0) (reading the AXIS form's "(0)"), with
  // leading zeros dropped; "" for any other name.
  std::string AxisNumber(const Token& name) {
    const Token* number = &name;
    if (Is(name, "AXIS")) {
      const Token& open = Peek();
      ExpectSymbol('(');
      number = &Next();
      if (number->kind != Token::Kind::kNumber)
        Fail("expected an axis number, found " + Describe(*number), number->position);
      ExpectClosing(')', open);
    }
    if (number->kind != Token::Kind::kNumber) return "";
    const std::size_t first = number->text.find_first_not_of('0');
    return first == std::string::npos ? "0" : number->text.substr(first);
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

  // The height of a node over operands `height` high, failing at `position` when the node would
  // nest the query deeper than kMaxMdxNesting (the depth_ brackets around it counted too).
  std::size_t Raise(std::size_t height, std::size_t position) const {
    if (depth_ + height + 1 > kMaxMdxNesting) FailTooDeep(position);
    return height + 1;
  }

  // Counts a bracket (or a CrossJoin's parentheses) while its operands are read; the recursion
  // stops at kMaxMdxNesting, so that no query runs the stack out.
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

  // Each of these sets `height` to the height of the expression it returns: 1 for a name, one
  // more than its highest operand for the others.

  // set := range ('*' range)*
  MdxExpression Set(std::size_t& height) {
    MdxExpression left = Range(height);
    while (IsSymbol(Peek(), '*')) {
      const std::size_t position = Next().position;
      MdxExpression join{MdxExpression::Kind::kCrossJoin, position, {}, {}};
      join.operands.push_back(std::move(left));
      std::size_t right = 0;
      join.operands.push_back(Range(right));
      height = Raise(std::max(height, right), position);
      left = std::move(join);
    }
    return left;
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
      applied.operands.push_back(std::move(value));
      if (dotted->takes_number) {
        const Token& open = Peek();
        ExpectSymbol('(');
        if (!StartsNumber())
          Fail(std::string(dotted->spelling) + " needs a number", Peek().position);
        applied.operands.push_back(Number());
        ExpectClosing(')', open);
      }
      value = std::move(applied);
    }
    return value;
  }

  bool StartsNumber() const {
    return Peek().kind == Token::Kind::kNumber ||
           (IsSymbol(Peek(), '-') && next_ + 1 < tokens_.size() &&
            tokens_[next_ + 1].kind == Token::Kind::kNumber);
  }

  // number := ['-'] digits, within kMaxMdxNumber.
  MdxExpression Number() {
    const std::size_t position = Peek().position;
    const bool negative = IsSymbol(Peek(), '-');
    if (negative) Next();
    const Token& digits = Next();
    long long value = 0;
    for (char c : digits.text) {
      if (value > (kMaxMdxNumber - (c - '0')) / 10)
        Fail("the number " + Shortened(digits.text) + " is too large", digits.position);
      value = value * 10 + (c - '0');
    }
    return {MdxExpression::Kind::kNumber,
            position,
            {{std::to_string(negative ? -value : value), false, position}},
            {}};
  }

  // call := name '(' argument (',' argument)* ')', argument := number | flag | set; checked
  // against the function's form.
  MdxExpression Call(const FunctionForm& function, std::size_t& height) {
    const Token& name = Next();
    MdxExpression call{function.kind, name.position, {}, {}};
    const Token& open = Peek();
    ExpectSymbol('(');
    const Nesting nesting(depth_, name.position);
    std::size_t highest = 0;
    for (;;) {
      const Token& first = Peek();
      const bool ends = next_ + 1 < tokens_.size() &&
                        (IsSymbol(tokens_[next_ + 1], ',') || IsSymbol(tokens_[next_ + 1], ')'));
      const bool flag = ends && std::any_of(function.flags.begin(), function.flags.end(),
                                            [&](const char* word) { return Is(first, word); });
      if (StartsNumber()) {
        call.operands.push_back(Number());
        highest = std::max<std::size_t>(highest, 1);
      } else if (flag) {
        std::string word = Next().text;
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        call.operands.push_back(
            {MdxExpression::Kind::kFlag, first.position, {{word, false, first.position}}, {}});
        highest = std::max<std::size_t>(highest, 1);
      } else {
        std::size_t operand = 0;
        call.operands.push_back(Set(operand));
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
      const bool flag = argument.kind == MdxExpression::Kind::kFlag;
      switch (expected) {
        case 'S':
          if (number || flag)
            Fail(name + (function.kind == MdxExpression::Kind::kAncestor ||
                                 function.kind == MdxExpression::Kind::kDescendants
                             ? " needs a member"
                             : " needs a set"),
                 argument.position);
          break;
        case 'N':
          if (!number) Fail(name + " needs a number", argument.position);
          break;
        case 'L':
          if (flag) Fail(name + " needs a level or a distance", argument.position);
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

  MdxExpression Primary(std::size_t& height) {
    const Token& token = Peek();
    height = 1;
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
          list.operands.push_back(Set(operand));
          highest = std::max(highest, operand);
          if (!IsSymbol(Peek(), ',')) break;
          Next();
        }
        height = highest + 1;
      }
      ExpectClosing(close, token);
      return list;
    }
    if (token.kind == Token::Kind::kWord && !IsKeyword(token) && next_ + 1 < tokens_.size() &&
        IsSymbol(tokens_[next_ + 1], '(')) {
      for (const FunctionForm& function : Functions())
        if (Is(token, function.name)) return Call(function, height);
      Fail("unknown function " + Shortened(token.text), token.position);
    }
    return Name();
  }

  // name := part ('.' part)*, part := [text] | &[key] | word
  MdxExpression Name() {
    MdxExpression name{MdxExpression::Kind::kName, Peek().position, {}, {}};
    name.parts.push_back(Part());
    while (IsSymbol(Peek(), '.') && next_ + 1 < tokens_.size() && !IsFunction(tokens_[next_ + 1])) {
      Next();
      if (tokens_[next_].kind == Token::Kind::kWord && next_ + 1 < tokens_.size() &&
          IsSymbol(tokens_[next_ + 1], '('))
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

  static bool IsKeyword(const Token& token) {
    for (const char* word : {"SELECT", "ON", "FROM", "WHERE", "NON", "EMPTY", "COLUMNS", "ROWS"})
      if (Is(token, word)) return true;
    return false;
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  std::size_t depth_ = 0;  // the brackets around the expression being read
};

// The error for `failure`. A bracketed name before the failure that holds a "[" of its own most
// likely began at a "[" that was never closed and swallowed the query up to the next "]": that
// "[" is what to fix, not the place where the query stopped making sense.
std::string Describe(const ParseFailure& failure, const std::vector<Token>& tokens) {
  for (const Token& token : tokens) {
    if (token.position > failure.position) break;
    if (token.kind == Token::Kind::kBracketed && token.inner_bracket != 0)
      return "unclosed [ at " + std::to_string(token.position) +
             " (the name runs on past the [ at " + std::to_string(token.inner_bracket) + ")";
  }
  return failure.what + " at " + std::to_string(failure.position);
}

}  // namespace

Result<MdxQuery> ParseMdx(std::string_view text) {
  if (text.size() > kMaxMdxLength)
    return Error{"the query is longer than " + std::to_string(kMaxMdxLength) + " bytes", 1,
                 kQuerySource};
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text);
    return Parser(tokens).Query();
  } catch (const ParseFailure& failure) {
    return Error{Describe(failure, tokens), 1, kQuerySource};
  }
}

}  // namespace cubemill::query
