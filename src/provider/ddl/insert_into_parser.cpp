#include "provider/ddl/insert_into_parser.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "provider/ddl/statement_reader.h"
#include "provider/ddl/target_resolver.h"

namespace cubemill::provider::ddl {
namespace {

using MaybeError = std::optional<Error>;

constexpr const char* kUnsupportedSuffixes[] = {"CUSTOM_ROLLUP", "SKIPLEVELCOLUMN", "PARENT"};

// What feeds one level: the index of the binding of each kind, if any.
struct LevelFeed {
  std::optional<std::size_t> plain, key, name, time;
};

class InsertIntoParser {
 public:
  InsertIntoParser(std::string_view statement, const CubeSchema& schema)
      : reader_(statement, "INSERT INTO"), schema_(schema) {}

  Result<InsertInto> Parse() {
    if (!reader_.TakeKeyword("INSERT")) return reader_.Expected("INSERT");
    if (!reader_.TakeKeyword("INTO")) return reader_.Expected("INTO");
    auto name = reader_.TakeName("the cube name");
    if (!name) return name.error();
    if (!platform::EqualsIgnoringCase(name->text, schema_.name))
      return reader_.Fail("cube \"" + name->text + "\" at position " +
                          std::to_string(name->position) + " is not the cube \"" + schema_.name +
                          "\" that CREATE CUBE defines");
    result_.cube_name = name->text;
    if (!reader_.TakePunct('(')) return reader_.Expected("\"(\"");
    do {
      if (auto error = ParseTarget()) return *error;
    } while (reader_.TakePunct(','));
    const std::size_t list_end = reader_.Peek().position;
    if (!reader_.TakePunct(')')) return reader_.Expected("\",\" or \")\"");
    if (auto error = ParseSource(list_end)) return *error;
    if (auto error = CheckFeeds()) return *error;
    return std::move(result_);
  }

 private:
  MaybeError ParseTarget() {
    const Token first = reader_.Peek();
    if (IsKeyword(first, "SKIPONECOLUMN")) {
      reader_.Take();
      AddBinding(ColumnBinding{ColumnRole::kSkip, 0, 0, 0, 0, first.text}, first.position);
      return std::nullopt;
    }
    std::vector<Token> parts;
    do {
      auto part = reader_.TakeName(parts.empty() ? "a target" : "a name after \".\"");
      if (!part) return part.error();
      parts.push_back(*part);
    } while (reader_.TakePunct('.'));
    const Token& last = parts.back();
    const std::string written(
        reader_.Rest(first.position).substr(0, last.position + last.length - first.position));
    auto binding = Resolve(parts, written, first.position);
    if (!binding) return binding.error();
    binding->target = written;
    AddBinding(*binding, first.position);
    return std::nullopt;
  }

  Result<ColumnBinding> Resolve(const std::vector<Token>& parts, const std::string& written,
                                std::size_t position) {
    std::vector<std::string> names;
    for (const Token& part : parts) names.push_back(part.text);
    std::vector<std::string> prefix(names.begin(), names.end() - 1);
    const std::string& last = names.back();

    std::vector<ColumnBinding> found = ResolveTargetPath(schema_, names);
    const bool is_name = platform::EqualsIgnoringCase(last, "NAME");
    if (names.size() > 1 && (is_name || platform::EqualsIgnoringCase(last, "KEY"))) {
      for (ColumnBinding binding : ResolveTargetPath(schema_, prefix)) {
        if (binding.role == ColumnRole::kMeasure) continue;
        if (binding.role == ColumnRole::kLevel)
          binding.role = is_name ? ColumnRole::kLevelName : ColumnRole::kLevelKey;
        found.push_back(binding);
      }
    }
    const std::string at = ", at position " + std::to_string(position);
    if (found.size() > 1) {
      std::string readings;
      for (std::size_t i = 0; i < found.size(); ++i)
        readings += (i == 0                  ? ""
                     : i + 1 == found.size() ? " and "
                                             : ", ") +
                    DescribeBinding(schema_, found[i]);
      return reader_.Fail("target \"" + written + "\" is ambiguous: it names " + readings +
                          "; qualify it further" + at);
    }
    if (found.empty()) {
      if (names.size() > 1) {
        for (const char* suffix : kUnsupportedSuffixes)
          if (platform::EqualsIgnoringCase(last, suffix))
            return reader_.Unsupported(
                "." + platform::UpperAscii(last) + " in target \"" + written + "\"",
                parts.back().position);
        for (const ColumnBinding& owner : ResolveTargetPath(schema_, prefix))
          if (owner.role == ColumnRole::kLevel)
            return reader_.Fail("target \"" + written + "\" names a member property " +
                                Bracketed(last) + " of level " + DescribeBinding(schema_, owner) +
                                "; member properties are not supported" + at);
      }
      return reader_.Fail("target \"" + written + "\" names no level or measure of cube \"" +
                          schema_.name + "\"" + at);
    }
    const ColumnBinding& binding = found.front();
    if (binding.role != ColumnRole::kMeasure && binding.role != ColumnRole::kTime &&
        schema_.dimensions[binding.dimension]
                .hierarchies[binding.hierarchy]
                .levels[binding.level]
                .type == LevelType::kAll)
      return reader_.Fail(
          "target \"" + written + "\" names the ALL level " +
          DescribeLevel(schema_, binding.dimension, binding.hierarchy, binding.level) +
          ", which has its one member and takes no column" + at);
    return binding;
  }

  // Reads what follows the target list ending at `list_end`: options, then the SELECT.
  MaybeError ParseSource(std::size_t list_end) {
    if (reader_.TakeKeyword("OPTIONS")) {
      do {
        const Token option = reader_.Peek();
        if (IsKeyword(option, "DEFER_DATA"))
          return reader_.Unsupported(
              "OPTIONS DEFER_DATA (a cube that fetches its data from the source when queried)",
              option.position);
        if (!reader_.TakeKeyword("PASSTHROUGH") && !reader_.TakeKeyword("ATTEMPT_ANALYSIS") &&
            !reader_.TakeKeyword("ATTEMPT_DEFER"))
          return reader_.Expected("an option (PASSTHROUGH, ATTEMPT_ANALYSIS or ATTEMPT_DEFER)");
      } while (reader_.TakePunct(','));
    }
    const Token token = reader_.Peek();
    if (IsKeyword(token, "BIND"))
      return reader_.Unsupported("BIND (columns of a client rowset)", token.position);
    if (IsKeyword(token, "DIRECTLYFROMCACHEDROWSET") ||
        IsKeyword(token, "DIRECTLYFROMMARSHALLEDROWSET"))
      return reader_.Unsupported(
          platform::UpperAscii(token.text) + " (rowsets of the calling process)", token.position);
    if (token.kind == TokenKind::kEnd)
      return reader_.Fail("the SELECT is missing after the target list that ends at position " +
                          std::to_string(list_end));
    if (!IsKeyword(token, "SELECT")) return reader_.Expected("OPTIONS or SELECT");
    std::string_view select = reader_.Rest(token.position);
    while (!select.empty() && platform::IsBlank(select.back())) select.remove_suffix(1);
    result_.select = std::string(select);
    return std::nullopt;
  }

  void AddBinding(ColumnBinding binding, std::size_t position) {
    result_.columns.push_back(std::move(binding));
    positions_.push_back(position);
  }

  Error FedTwice(const std::string& what, std::size_t earlier, std::size_t later) const {
    return reader_.Fail(what + " is fed twice: by \"" + result_.columns[earlier].target +
                        "\" and by \"" + result_.columns[later].target + "\" at position " +
                        std::to_string(positions_[later]));
  }

  // Every level below ALL and every measure must be fed exactly once.
  MaybeError CheckFeeds() const {
    std::vector<std::vector<std::vector<LevelFeed>>> feeds;
    for (const Dimension& dimension : schema_.dimensions) {
      feeds.emplace_back();
      for (const Hierarchy& hierarchy : dimension.hierarchies)
        feeds.back().emplace_back(hierarchy.levels.size());
    }
    std::vector<std::optional<std::size_t>> measure_feeds(schema_.measures.size());

    for (std::size_t i = 0; i < result_.columns.size(); ++i) {
      const ColumnBinding& binding = result_.columns[i];
      const std::size_t d = binding.dimension;
      if (binding.role == ColumnRole::kSkip) continue;
      if (binding.role == ColumnRole::kMeasure) {
        auto& feed = measure_feeds[binding.measure];
        if (feed) return FedTwice(DescribeBinding(schema_, binding), *feed, i);
        feed = i;
        continue;
      }
      if (binding.role == ColumnRole::kTime) {
        if (auto error = FeedByTime(i, feeds[d])) return error;
        continue;
      }
      LevelFeed& feed = feeds[d][binding.hierarchy][binding.level];
      const std::string level = DescribeLevel(schema_, d, binding.hierarchy, binding.level);
      std::optional<std::size_t> clash = feed.plain ? feed.plain : feed.time;
      if (!clash && binding.role != ColumnRole::kLevelName) clash = feed.key;
      if (!clash && binding.role != ColumnRole::kLevelKey) clash = feed.name;
      if (clash) return FedTwice("level " + level, *clash, i);
      (binding.role == ColumnRole::kLevel      ? feed.plain
       : binding.role == ColumnRole::kLevelKey ? feed.key
                                               : feed.name) = i;
    }

    for (std::size_t d = 0; d < schema_.dimensions.size(); ++d) {
      const Dimension& dimension = schema_.dimensions[d];
      for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
        const Hierarchy& hierarchy = dimension.hierarchies[h];
        for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
          const LevelFeed& feed = feeds[d][h][l];
          if (hierarchy.levels[l].type == LevelType::kAll || feed.plain || feed.key || feed.name ||
              feed.time)
            continue;
          return reader_.Fail("level " + DescribeLevel(schema_, d, h, l) + " is fed by no target");
        }
      }
    }
    for (std::size_t m = 0; m < schema_.measures.size(); ++m)
      if (!measure_feeds[m])
        return reader_.Fail("measure " + Bracketed(schema_.measures[m].name) +
                            " is fed by no target");
    return std::nullopt;
  }

  // Marks every level below ALL that the TIME binding `index` covers as fed by it.
  MaybeError FeedByTime(std::size_t index,
                        std::vector<std::vector<LevelFeed>>& dimension_feeds) const {
    const ColumnBinding& binding = result_.columns[index];
    const Dimension& dimension = schema_.dimensions[binding.dimension];
    for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
      if (binding.hierarchy != kAllHierarchies && binding.hierarchy != h) continue;
      const Hierarchy& hierarchy = dimension.hierarchies[h];
      for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
        const LevelType type = hierarchy.levels[l].type;
        if (type == LevelType::kAll) continue;
        const std::string level = DescribeLevel(schema_, binding.dimension, h, l);
        if (type == LevelType::kRegular)
          return reader_.Fail("target \"" + binding.target + "\" at position " +
                              std::to_string(positions_[index]) +
                              " derives every level it covers from one date, but level " + level +
                              " has no time TYPE");
        LevelFeed& feed = dimension_feeds[h][l];
        std::optional<std::size_t> clash = feed.plain  ? feed.plain
                                           : feed.key  ? feed.key
                                           : feed.name ? feed.name
                                                       : feed.time;
        if (clash) return FedTwice("level " + level, *clash, index);
        feed.time = index;
      }
    }
    return std::nullopt;
  }

  StatementReader reader_;
  const CubeSchema& schema_;
  InsertInto result_;
  std::vector<std::size_t> positions_;  // parallel to result_.columns
};

}  // namespace

Result<InsertInto> ParseInsertInto(std::string_view statement, const CubeSchema& schema) {
  return InsertIntoParser(statement, schema).Parse();
}

}  // namespace cubemill::provider::ddl
