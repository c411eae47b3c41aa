#include "provider/ddl/create_cube_parser.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "provider/ddl/statement_reader.h"

namespace cubemill::provider::ddl {
namespace {

using MaybeError = std::optional<Error>;

// Returns the keywords `words` as a message lists them: "A, B or C".
std::string ListOfWords(const std::vector<std::string_view>& words) {
  std::string list;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) list += i + 1 == words.size() ? " or " : ", ";
    list += words[i];
  }
  return list;
}

// Names the construct a word introduces when the engine knows it but does not build it, or
// returns nothing for any other word.
std::optional<std::string> UnsupportedConstruct(const Token& token) {
  if (token.kind != TokenKind::kWord) return std::nullopt;
  const std::string word = platform::UpperAscii(token.text);
  std::string squeezed;
  std::copy_if(word.begin(), word.end(), std::back_inserter(squeezed),
               [](char c) { return c != '_'; });
  if (word == "COMMAND") return "COMMAND (calculated members)";
  if (word == "PROPERTY") return "PROPERTY (member properties)";
  if (word == "FORMAT_NAME" || word == "FORMAT_KEY") return word + " (level formats)";
  if (squeezed.rfind("CUSTOM", 0) == 0) return word + " (custom rollups)";
  if (word == "DIMENSION_STRUCTURE" || word == "PARENT_CHILD")
    return word + " (parent-child dimensions)";
  if (word == "HIDDEN") return "HIDDEN";
  if (word == "SORTBYPROPERTY") return "SORTBYPROPERTY (member properties)";
  if (squeezed.rfind("NOTRELATED", 0) == 0)
    return token.text + " (levels not related to the facts)";
  return std::nullopt;
}

class CreateCubeParser {
 public:
  explicit CreateCubeParser(std::string_view statement) : reader_(statement, "CREATE CUBE") {}

  Result<CubeSchema> Parse() {
    if (!reader_.TakeKeyword("CREATE")) return reader_.Expected("CREATE");
    if (!reader_.TakeKeyword("CUBE")) return reader_.Expected("CUBE");
    auto name = reader_.TakeName("the cube name");
    if (!name) return name.error();
    schema_.name = name->text;
    if (!reader_.TakePunct('(')) return reader_.Expected("\"(\"");
    do {
      if (auto error = ParseElement()) return *error;
    } while (reader_.TakePunct(','));
    if (!reader_.TakePunct(')')) return reader_.Expected("\",\" or \")\"");
    reader_.TakePunct(';');
    if (reader_.Peek().kind != TokenKind::kEnd) return reader_.Expected("the end of the statement");
    if (auto error = CheckLevels()) return *error;
    return std::move(schema_);
  }

 private:
  // Where each dimension and hierarchy was declared, for messages about them.
  struct Places {
    std::size_t dimension = 0;
    std::vector<std::size_t> hierarchies;
  };

  MaybeError ParseElement() {
    const Token keyword = reader_.Peek();
    if (auto construct = UnsupportedConstruct(keyword))
      return reader_.Unsupported(*construct, keyword.position);
    const bool is_structure = IsKeyword(keyword, "DIMENSION") || IsKeyword(keyword, "HIERARCHY") ||
                              IsKeyword(keyword, "LEVEL");
    if (!is_structure && !IsKeyword(keyword, "MEASURE"))
      return reader_.Expected("DIMENSION, HIERARCHY, LEVEL or MEASURE");
    if (schema_.dimensions.empty() && !IsKeyword(keyword, "DIMENSION"))
      return reader_.Fail(platform::UpperAscii(keyword.text) + " at position " +
                          std::to_string(keyword.position) + " comes before the first DIMENSION");
    if (is_structure && !schema_.measures.empty())
      return reader_.Fail(
          platform::UpperAscii(keyword.text) + " at position " + std::to_string(keyword.position) +
          " follows a MEASURE: dimensions and levels must come before the measures");
    reader_.Take();
    if (IsKeyword(keyword, "DIMENSION")) return ParseDimension(keyword);
    if (IsKeyword(keyword, "HIERARCHY")) return ParseHierarchy(keyword);
    if (IsKeyword(keyword, "LEVEL")) return ParseLevel();
    return ParseMeasure();
  }

  MaybeError ParseDimension(const Token& keyword) {
    auto name = reader_.TakeName("a dimension name");
    if (!name) return name.error();
    if (platform::EqualsIgnoringCase(name->text, "Measures"))
      return NameError("dimension", *name, "is reserved for the measures");
    for (const Dimension& dimension : schema_.dimensions)
      if (platform::EqualsIgnoringCase(dimension.name, name->text))
        return NameError("dimension", *name, "is declared twice");
    Dimension dimension;
    dimension.name = name->text;
    while (true) {
      const Token& token = reader_.Peek();
      if (IsKeyword(token, "TYPE")) {
        reader_.Take();
        if (!reader_.TakeKeyword("TIME")) return reader_.Expected("TIME after a dimension's TYPE");
        dimension.is_time = true;
      } else if (IsKeyword(token, "OPTIONS")) {
        return reader_.Unsupported("dimension OPTIONS", token.position);
      } else if (auto construct = UnsupportedConstruct(token)) {
        return reader_.Unsupported(*construct, token.position);
      } else {
        break;
      }
    }
    schema_.dimensions.push_back(std::move(dimension));
    places_.push_back(Places{keyword.position, {}});
    return std::nullopt;
  }

  MaybeError ParseHierarchy(const Token& keyword) {
    auto name = reader_.TakeName("a hierarchy name");
    if (!name) return name.error();
    Dimension& dimension = schema_.dimensions.back();
    if (!dimension.hierarchies.empty() && !dimension.named_hierarchies)
      return reader_.Fail("HIERARCHY at position " + std::to_string(keyword.position) +
                          " follows levels of dimension " + Bracketed(dimension.name) +
                          " that belong to no hierarchy");
    for (const Hierarchy& hierarchy : dimension.hierarchies)
      if (platform::EqualsIgnoringCase(hierarchy.name, name->text))
        return NameError("hierarchy", *name,
                         "is declared twice in dimension " + Bracketed(dimension.name));
    if (auto construct = UnsupportedConstruct(reader_.Peek()))
      return reader_.Unsupported(*construct, reader_.Peek().position);
    dimension.named_hierarchies = true;
    dimension.hierarchies.push_back(Hierarchy{name->text, {}});
    places_.back().hierarchies.push_back(keyword.position);
    return std::nullopt;
  }

  MaybeError ParseLevel() {
    auto name = reader_.TakeName("a level name");
    if (!name) return name.error();
    Dimension& dimension = schema_.dimensions.back();
    if (dimension.hierarchies.empty()) {  // the first level of a dimension without HIERARCHY
      dimension.hierarchies.push_back(Hierarchy{});
      places_.back().hierarchies.push_back(places_.back().dimension);
    }
    Hierarchy& hierarchy = dimension.hierarchies.back();
    for (const Level& level : hierarchy.levels)
      if (platform::EqualsIgnoringCase(level.name, name->text))
        return NameError("level", *name, "is declared twice in the same hierarchy");
    Level level;
    level.name = name->text;
    bool has_type = false;
    bool has_options = false;
    while (true) {
      const Token token = reader_.Peek();
      if (IsKeyword(token, "TYPE") && !has_type) {
        reader_.Take();
        if (auto error = ParseLevelType(level)) return error;
        has_type = true;
      } else if (IsKeyword(token, "OPTIONS") && !has_options) {
        reader_.Take();
        if (auto error = ParseLevelOptions(level)) return error;
        has_options = true;
      } else if (auto construct = UnsupportedConstruct(token)) {
        return reader_.Unsupported(*construct, token.position);
      } else {
        break;
      }
    }
    if (level.type == LevelType::kAll) {
      if (!hierarchy.levels.empty())
        return NameError("level", *name,
                         "has TYPE ALL but is not the first level of its hierarchy");
    }
    hierarchy.levels.push_back(std::move(level));
    return std::nullopt;
  }

  MaybeError ParseLevelType(Level& level) {
    std::vector<std::string_view> words;
    for (const Keyword<LevelType>& keyword : kLevelTypeKeywords) {
      if (keyword.value == LevelType::kRegular) continue;  // the word of no TYPE at all
      if (reader_.TakeKeyword(keyword.text)) {
        level.type = keyword.value;
        return std::nullopt;
      }
      words.push_back(keyword.text);
    }
    return reader_.Expected("a level type (" + ListOfWords(words) + ")");
  }

  MaybeError ParseLevelOptions(Level& level) {
    if (!reader_.TakePunct('(')) return reader_.Expected("\"(\" after OPTIONS");
    bool has_order = false;
    do {
      const Token option = reader_.Peek();
      if (auto construct = UnsupportedConstruct(option))
        return reader_.Unsupported(*construct, option.position);
      if (const MemberOrderKeyword* order = OrderOption(option)) {
        if (has_order)
          return reader_.Fail("a second sort order " + platform::UpperAscii(option.text) +
                              " at position " + std::to_string(option.position));
        has_order = true;
        level.order = order->value;
      } else if (IsKeyword(option, "UNIQUE") || IsKeyword(option, "UNIQUE_KEY")) {
        level.unique_key = true;
      } else if (IsKeyword(option, "UNIQUE_NAME")) {
        level.unique_name = true;
      } else {
        std::vector<std::string_view> words;
        for (const MemberOrderKeyword& keyword : kMemberOrderKeywords)
          words.push_back(keyword.option);
        words.insert(words.end(), {"UNIQUE", "UNIQUE_KEY", "UNIQUE_NAME"});
        return reader_.Expected("a level option (" + ListOfWords(words) + ")");
      }
      reader_.Take();
    } while (reader_.TakePunct(','));
    if (!reader_.TakePunct(')')) return reader_.Expected("\",\" or \")\" in the level OPTIONS");
    return std::nullopt;
  }

  // The sort order `token` names, or nullptr when it names none.
  static const MemberOrderKeyword* OrderOption(const Token& token) {
    for (const MemberOrderKeyword& keyword : kMemberOrderKeywords) {
      if (IsKeyword(token, keyword.option)) return &keyword;
    }
    return nullptr;
  }

  MaybeError ParseMeasure() {
    auto name = reader_.TakeName("a measure name");
    if (!name) return name.error();
    for (const Measure& measure : schema_.measures)
      if (platform::EqualsIgnoringCase(measure.name, name->text))
        return NameError("measure", *name, "is declared twice");
    Measure measure;
    measure.name = name->text;
    bool has_function = false;
    bool has_format = false;
    bool has_type = false;
    while (true) {
      const Token token = reader_.Peek();
      if (IsKeyword(token, "FUNCTION") && !has_function) {
        reader_.Take();
        if (auto error = ParseFunction(measure)) return error;
        has_function = true;
      } else if (IsKeyword(token, "FORMAT") && !has_format) {
        reader_.Take();
        const Token& format = reader_.Peek();
        if (format.kind != TokenKind::kString && format.kind != TokenKind::kQuotedName)
          return reader_.Expected("a quoted format string after FORMAT");
        measure.format = reader_.Take().text;
        has_format = true;
      } else if (IsKeyword(token, "TYPE") && !has_type) {
        reader_.Take();
        if (auto error = ParseMeasureType(measure)) return error;
        has_type = true;
      } else if (auto construct = UnsupportedConstruct(token)) {
        return reader_.Unsupported(*construct, token.position);
      } else {
        break;
      }
    }
    schema_.measures.push_back(std::move(measure));
    return std::nullopt;
  }

  MaybeError ParseFunction(Measure& measure) {
    const Token& token = reader_.Peek();
    if (IsKeyword(token, "DISTINCT"))
      return reader_.Unsupported("DISTINCT COUNT (the cube file keeps no leaf facts to count from)",
                                 token.position);
    std::vector<std::string_view> words;
    for (const Keyword<AggregateFunction>& keyword : kAggregateFunctionKeywords) {
      if (reader_.TakeKeyword(keyword.text)) {
        measure.function = keyword.value;
        return std::nullopt;
      }
      words.push_back(keyword.text);
    }
    return reader_.Expected("an aggregate function (" + ListOfWords(words) + ")");
  }

  MaybeError ParseMeasureType(Measure& measure) {
    for (const Keyword<NumberClass>& keyword : kMeasureTypeKeywords) {
      if (reader_.TakeKeyword(keyword.text)) {
        measure.type = keyword.text;
        return std::nullopt;
      }
    }
    return reader_.Expected("a measure type (DBTYPE_I4, DBTYPE_R8, DBTYPE_CY ...)");
  }

  // Every hierarchy needs a level below its ALL level; a dimension needs a level at all.
  MaybeError CheckLevels() const {
    for (std::size_t d = 0; d < schema_.dimensions.size(); ++d) {
      const Dimension& dimension = schema_.dimensions[d];
      if (dimension.hierarchies.empty())
        return reader_.Fail("dimension " + Bracketed(dimension.name) + " at position " +
                            std::to_string(places_[d].dimension) + " has no level");
      for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
        const Hierarchy& hierarchy = dimension.hierarchies[h];
        const bool has_level =
            std::any_of(hierarchy.levels.begin(), hierarchy.levels.end(),
                        [](const Level& level) { return level.type != LevelType::kAll; });
        if (has_level) continue;
        const std::string what = dimension.named_hierarchies
                                     ? "hierarchy " + Bracketed(hierarchy.name) + " of dimension " +
                                           Bracketed(dimension.name)
                                     : "dimension " + Bracketed(dimension.name);
        return reader_.Fail(
            what + " at position " + std::to_string(places_[d].hierarchies[h]) +
            (hierarchy.levels.empty() ? " has no level" : " has no level below its ALL level"));
      }
    }
    return std::nullopt;
  }

  Error NameError(const std::string& kind, const Token& name, const std::string& problem) const {
    return reader_.Fail(kind + " " + Bracketed(name.text) + " at position " +
                        std::to_string(name.position) + " " + problem);
  }

  StatementReader reader_;
  CubeSchema schema_;
  std::vector<Places> places_;  // parallel to schema_.dimensions
};

}  // namespace

Result<CubeSchema> ParseCreateCube(std::string_view statement) {
  return CreateCubeParser(statement).Parse();
}

}  // namespace cubemill::provider::ddl
