#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii_text.h"
#include "query/functions/catalog.h"
#include "query/parser/parser.h"

namespace cubemill::query {

bool MdxExpression::Calls(const char* name) const {
  return kind == Kind::kCall && function != nullptr &&
         platform::EqualsIgnoringCase(function->name, name);
}

namespace parser {

// The height of a node over operands `height` high, failing at `position` when the node would
// nest the query deeper than kMaxMdxNesting (the depth_ levels around it counted too).
std::size_t Parser::Raise(std::size_t height, std::size_t position) const {
  if (depth_ + height + 1 > kMaxMdxNesting) FailTooDeep(position);
  return height + 1;
}

// The binary operator at Peek() applied to `left` and the operand `operand` reads.
MdxExpression Parser::Binary(MdxExpression left, std::size_t& height,
                             MdxExpression (Parser::*operand)(std::size_t&)) {
  const Token& op = Next();
  const std::string text = op.kind == Token::Kind::kWord ? platform::UpperAscii(op.text) : op.text;
  MdxExpression node{MdxExpression::Kind::kBinary, op.position, {{text, false, op.position}}, {}};
  node.operands.push_back(std::move(left));
  std::size_t right = 0;
  node.operands.push_back((this->*operand)(right));
  height = Raise(std::max(height, right), op.position);
  return node;
}

// expression := and ((OR | XOR) and)*
MdxExpression Parser::Expression(std::size_t& height) {
  MdxExpression left = Conjunction(height);
  while (Is(Peek(), "OR") || Is(Peek(), "XOR"))
    left = Binary(std::move(left), height, &Parser::Conjunction);
  return left;
}

// and := not (AND not)*
MdxExpression Parser::Conjunction(std::size_t& height) {
  MdxExpression left = Negation(height);
  while (Is(Peek(), "AND")) left = Binary(std::move(left), height, &Parser::Negation);
  return left;
}

// not := NOT not | compare
MdxExpression Parser::Negation(std::size_t& height) {
  if (!Is(Peek(), "NOT")) return Comparison(height);
  return Prefix("NOT", height, &Parser::Negation);
}

// The prefix operator at Peek(), written `text`, over the operand `operand` reads.
MdxExpression Parser::Prefix(const char* text, std::size_t& height,
                             MdxExpression (Parser::*operand)(std::size_t&)) {
  const std::size_t position = Next().position;
  const Nesting nesting(depth_, position);
  MdxExpression node{MdxExpression::Kind::kUnary, position, {{text, false, position}}, {}};
  std::size_t below = 0;
  node.operands.push_back((this->*operand)(below));
  height = below + 1;
  return node;
}

bool Parser::IsComparison(const Token& token) {
  return token.kind == Token::Kind::kSymbol &&
         (token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
          token.text == "<=" || token.text == ">=");
}

// compare := additive [('=' | '<>' | '<' | '>' | '<=' | '>=') additive]
MdxExpression Parser::Comparison(std::size_t& height) {
  MdxExpression left = Additive(height);
  if (!IsComparison(Peek())) return left;
  left = Binary(std::move(left), height, &Parser::Additive);
  if (IsComparison(Peek()))
    Fail("expected AND or OR between comparisons, found " + Describe(Peek()), Peek().position);
  return left;
}

// additive := multiply (('+' | '-') multiply)*
MdxExpression Parser::Additive(std::size_t& height) {
  MdxExpression left = Multiplicative(height);
  while (IsSymbol(Peek(), '+') || IsSymbol(Peek(), '-'))
    left = Binary(std::move(left), height, &Parser::Multiplicative);
  return left;
}

// multiply := unary (('*' | '/') unary)*
MdxExpression Parser::Multiplicative(std::size_t& height) {
  MdxExpression left = Signed(height);
  while (IsSymbol(Peek(), '*') || IsSymbol(Peek(), '/'))
    left = Binary(std::move(left), height, &Parser::Signed);
  return left;
}

// unary := '-' unary | range; a "-" right before a number's digits is the number's sign.
MdxExpression Parser::Signed(std::size_t& height) {
  if (!IsSymbol(Peek(), '-') || StartsNumber()) return Range(height);
  return Prefix("-", height, &Parser::Signed);
}

// range := term [':' term]
MdxExpression Parser::Range(std::size_t& height) {
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

// term := primary ('.' dotted-function ['(' argument (',' argument)* ')'])*
MdxExpression Parser::Term(std::size_t& height) {
  MdxExpression value = Primary(height);
  while (IsSymbol(Peek(), '.')) {
    height = Raise(height, Next().position);
    const Token& word = Next();
    const functions::Function* dotted = word.kind == Token::Kind::kWord
                                            ? functions::Find(word.text, functions::Syntax::kDotted)
                                            : nullptr;
    if (dotted == nullptr) {
      if (word.kind == Token::Kind::kWord)
        Fail("unknown function " + Shortened(word.text), word.position);
      Fail("expected a function after \".\", found " + Describe(word), word.position);
    }
    MdxExpression applied{MdxExpression::Kind::kCall, value.position, {}, {}, dotted};
    applied.operands.push_back(std::move(value));
    if (dotted->required[0] == 'N' && IsSymbol(Peek(), '(') && IsSymbol(PeekSecond(), ')'))
      Fail(std::string(dotted->name) + " needs a number", PeekSecond().position);
    if (dotted->required[0] != '\0' || dotted->optional[0] != '\0') {
      const std::size_t highest = Arguments(*dotted, applied);
      height = std::max(height, highest + 1);
      CheckArguments(*dotted, applied, 1);
    }
    value = std::move(applied);
  }
  return value;
}

// A number's digits, or a "-" right before them (no space between).
bool Parser::StartsNumber() const {
  if (Peek().kind == Token::Kind::kNumber) return true;
  const Token& digits = PeekSecond();
  return IsSymbol(Peek(), '-') && digits.kind == Token::Kind::kNumber &&
         digits.position == Peek().position + 1;
}

// number := ['-'] digits ['.' digits], read by the tokenizer: a whole one is written without
// leading zeros, one with decimals as written.
MdxExpression Parser::Number() {
  const std::size_t position = Peek().position;
  const bool negative = IsSymbol(Peek(), '-');
  if (negative) Next();
  const Token& digits = Next();
  if (!digits.number_error.empty()) Fail(digits.number_error, digits.position);
  MdxNumber number = digits.number;
  if (negative) {
    number.integer = -number.integer;
    number.real = -number.real;
  }
  const std::string text =
      number.whole ? std::to_string(number.integer) : (negative ? "-" : "") + digits.text;
  return {MdxExpression::Kind::kNumber, position, {{text, false, position}}, {}, nullptr, number};
}

// call := name '(' [argument (',' argument)*] ')', checked against the function's form.
MdxExpression Parser::Call(const functions::Function& function, std::size_t& height) {
  const Token& name = Next();
  MdxExpression call{MdxExpression::Kind::kCall, name.position, {}, {}, &function};
  height = Arguments(function, call) + 1;
  CheckArguments(function, call, 0);
  if (function.reads_string) {
    const MdxExpression& text = call.operands.front();
    if (text.kind != MdxExpression::Kind::kString)
      Fail(std::string(function.name) + " takes a string constant", text.position);
    const auto token = std::find_if(tokens_.begin(), tokens_.end(), [&](const Token& t) {
      return t.kind == Token::Kind::kString && t.position == text.position;
    });
    call.operands.front() = Quoted(*token);
  }
  return call;
}

// '(' [argument (',' argument)*] ')', argument := flag | expression: appended to `call`'s
// operands. Returns the highest argument's height.
std::size_t Parser::Arguments(const functions::Function& function, MdxExpression& call) {
  const std::size_t before = call.operands.size();
  const Token& open = Peek();
  ExpectSymbol('(');
  const Nesting nesting(depth_, call.position);
  std::size_t highest = 0;
  while (!IsSymbol(Peek(), ')') || call.operands.size() > before) {
    const Token& first = Peek();
    const Token& after = PeekSecond();
    if (function.gaps && call.operands.size() > before &&
        (IsSymbol(first, ',') || IsSymbol(first, ')'))) {
      call.operands.push_back(
          {MdxExpression::Kind::kFlag, first.position, {{"", false, first.position}}, {}});
      if (!IsSymbol(Peek(), ',')) break;
      Next();
      continue;
    }
    const bool flag = (IsSymbol(after, ',') || IsSymbol(after, ')')) &&
                      std::any_of(function.flags.begin(), function.flags.end(),
                                  [&](const char* word) { return Is(first, word); });
    if (flag) {
      const std::string word = platform::UpperAscii(Next().text);
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
  return highest;
}

void Parser::CheckArguments(const functions::Function& function, const MdxExpression& call,
                            std::size_t first) {
  const std::string name = function.name;
  const std::size_t required = std::char_traits<char>::length(function.required);
  const std::size_t optional = std::char_traits<char>::length(function.optional);
  const std::size_t given = call.operands.size() - first;
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
    const MdxExpression& argument = call.operands[first + i];
    char expected = 0;
    if (i < required) {
      expected = function.required[i];
    } else if (argument.Omitted()) {
      continue;
    } else if (function.gaps && argument.kind == MdxExpression::Kind::kFlag && i + 1 == given) {
      expected = 'F';
    } else if (function.repeats) {
      expected = argument.kind == MdxExpression::Kind::kFlag && optional > 0 && i + 1 == given
                     ? 'F'
                     : function.required[required - 1];
    } else {
      expected = function.optional[i - required];
    }
    const bool number = argument.kind == MdxExpression::Kind::kNumber;
    const bool whole = number && argument.number.whole;
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
MdxExpression Parser::Primary(std::size_t& height) {
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
    if (const functions::Function* function = functions::Find(token.text, functions::Syntax::kCall))
      return Call(*function, height);
    Fail("unknown function " + Shortened(token.text), token.position);
  }
  return Name();
}

// name := part ('.' part)*, part := [text] | &[key] | word; a word after a "." that names a
// function ends the name.
MdxExpression Parser::Name() {
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

bool Parser::IsFunction(const Token& token) {
  return token.kind == Token::Kind::kWord &&
         functions::Find(token.text, functions::Syntax::kDotted) != nullptr;
}

NamePart Parser::Part() {
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

}  // namespace parser

}  // namespace cubemill::query
