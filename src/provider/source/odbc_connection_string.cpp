#include "provider/source/odbc_connection_string.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "platform/ascii_text.h"
#include "provider/odbc_text/odbc_pairs.h"
#include "provider/source/source_dialect.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::source {
namespace {

// One "key=value" piece of a connection string, as written, and its key for comparing.
struct NamedPair {
  std::string text;
  std::string name;  // OdbcKeyName of the key
};

// The pieces of `odbc` as the driver manager splits them (odbc_text::SplitOdbcPairs).
std::vector<NamedPair> NamedPairs(std::string_view odbc) {
  std::vector<NamedPair> pairs;
  for (const odbc_text::ConnectionPair& pair : odbc_text::SplitOdbcPairs(odbc)) {
    pairs.push_back({std::string(pair.text), odbc_text::OdbcKeyName(pair.key)});
  }
  return pairs;
}

void AppendPair(std::string& odbc, std::string_view pair) {
  if (!odbc.empty() && odbc.back() != ';') odbc += ';';
  odbc += pair;
}

// Returns `odbc` without the pairs whose name is one of `names`; unchanged when none is present.
std::string RemovePairs(const std::string& odbc, std::initializer_list<std::string_view> names) {
  const auto pairs = NamedPairs(odbc);
  const auto matches = [&](const NamedPair& pair) {
    return std::find(names.begin(), names.end(), pair.name) != names.end();
  };
  if (std::none_of(pairs.begin(), pairs.end(), matches)) return odbc;
  std::string result;
  for (const auto& pair : pairs) {
    if (!matches(pair)) AppendPair(result, pair.text);
  }
  if (!result.empty() && !odbc.empty() && odbc.back() == ';') result += ';';
  return result;
}

// Appends to `odbc` each of `options` that `odbc` (as it was) does not set under either name.
void AddOptions(std::string& odbc, std::span<const DriverOption> options) {
  const auto pairs = NamedPairs(odbc);
  for (const DriverOption& option : options) {
    const bool set = std::any_of(pairs.begin(), pairs.end(), [&](const NamedPair& pair) {
      return pair.name == option.name ||
             (!option.other_name.empty() && pair.name == option.other_name);
    });
    if (!set) AppendPair(odbc, option.pair);
  }
}

}  // namespace

std::string MakeOdbcConnectionString(const std::string& source_dsn, const std::string& suffix,
                                     const std::string& uid, const std::string& pwd) {
  std::string odbc = source_dsn;
  const std::string_view name = odbc_text::TrimOdbcBlanks(source_dsn);
  if (!name.empty() && name.find('=') == std::string_view::npos) {
    odbc = "DSN=" + odbc_text::QuoteOdbcValue(name);
  }
  for (const auto& pair : NamedPairs(suffix)) {
    if (pair.name != "prompt" && pair.name != "windowhandle")
      AppendPair(odbc, odbc_text::TrimOdbcBlanks(pair.text));
  }
  if (!uid.empty()) {
    odbc = RemovePairs(odbc, {"uid"});
    AppendPair(odbc, "UID=" + odbc_text::QuoteOdbcValue(uid));
  }
  if (!pwd.empty()) {
    odbc = RemovePairs(odbc, {"pwd"});
    AppendPair(odbc, "PWD=" + odbc_text::QuoteOdbcValue(pwd));
  }
  return odbc;
}

std::optional<std::string> FindOdbcAttribute(const std::string& odbc, std::string_view key) {
  const std::string wanted = odbc_text::OdbcKeyName(key);
  for (const odbc_text::ConnectionPair& pair : odbc_text::SplitOdbcPairs(odbc)) {
    if (odbc_text::OdbcKeyName(pair.key) == wanted) return odbc_text::OdbcValueText(pair.value);
  }
  return std::nullopt;
}

std::string AddStreamingOptions(const std::string& odbc, std::string_view driver) {
  std::string result = odbc;
  AddOptions(result, DialectOfDriver(driver).streaming_options);
  return result;
}

std::string AddDriverOptions(const std::string& odbc, std::string_view driver) {
  const SourceDialect& dialect = DialectOfDriver(driver);
  std::string result = odbc;
  AddOptions(result, dialect.streaming_options);
  AddOptions(result, dialect.other_options);
  return result;
}

std::string ReadWholeResult(const std::string& odbc, const SourceDialect& dialect) {
  std::string result = odbc;
  if (!dialect.read_whole_option.pair.empty())
    AddOptions(result, std::span<const DriverOption>(&dialect.read_whole_option, 1));
  return result;
}

std::string ReplaceOdbcAttribute(const std::string& odbc, std::string_view key,
                                 std::string_view value) {
  std::string result = RemovePairs(odbc, {odbc_text::OdbcKeyName(key)});
  AppendPair(result, std::string(key) + "=" + odbc_text::QuoteOdbcValue(value));
  return result;
}

long SqliteTimeoutMs(const std::string& odbc) {
  // The driver finds its Timeout only under that exact key (any letter case, no blanks in or
  // around it) and reads only a number that ends the value; for anything else it waits its
  // default, and so this reading says.
  for (const odbc_text::ConnectionPair& pair : odbc_text::SplitOdbcPairs(odbc)) {
    if (!pair.has_equals || !platform::EqualsIgnoringCase(pair.key, "Timeout")) continue;
    std::string_view text = pair.value;
    text.remove_prefix(std::min(text.find_first_not_of(odbc_text::kOdbcBlanks), text.size()));
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const std::optional<std::uint64_t> value = values::ParseUnsignedDecimal(text);
    if (!value || *value == 0 || *value > std::numeric_limits<long>::max()) break;
    return static_cast<long>(*value);
  }
  return kSqliteDefaultTimeoutMs;
}

}  // namespace cubemill::provider::source
