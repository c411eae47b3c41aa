#include "provider/source/odbc_connection_string.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/ascii_text.h"

namespace cubemill::provider::source {
namespace {

// One "key=value" piece of a connection string, as written, and its name for comparing.
struct Pair {
  std::string text;
  std::string name;  // lower case, blanks removed
};

std::string_view Trim(std::string_view text) { return platform::TrimBlanks(text, " \t"); }

std::string NormalName(std::string_view name) {
  std::string result;
  for (char c : name) {
    if (c != ' ' && c != '\t') {
      result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return result;
}

// Splits at ";" outside braces; a value in braces may hold ";" and writes "}" as "}}".
// Pieces made only of blanks are dropped.
std::vector<Pair> SplitPairs(std::string_view odbc) {
  std::vector<Pair> pairs;
  std::size_t pos = 0;
  while (pos < odbc.size()) {
    const std::size_t start = pos;
    const std::size_t equals = odbc.find('=', pos);
    const std::size_t semicolon = odbc.find(';', pos);
    std::size_t end = semicolon;
    if (equals != std::string_view::npos && equals < semicolon) {
      std::size_t value = equals + 1;
      while (value < odbc.size() && (odbc[value] == ' ' || odbc[value] == '\t')) ++value;
      if (value < odbc.size() && odbc[value] == '{') {
        std::size_t i = value + 1;
        while (i < odbc.size()) {
          if (odbc[i] == '}') {
            if (i + 1 < odbc.size() && odbc[i + 1] == '}') {
              i += 2;
              continue;
            }
            break;
          }
          ++i;
        }
        end = odbc.find(';', std::min(i, odbc.size()));
      }
    }
    if (end == std::string_view::npos) end = odbc.size();
    const std::string_view text = odbc.substr(start, end - start);
    if (!Trim(text).empty()) {
      const std::size_t eq = text.find('=');
      pairs.push_back({std::string(text), NormalName(text.substr(0, eq))});
    }
    pos = end + 1;
  }
  return pairs;
}

void AppendPair(std::string& odbc, std::string_view pair) {
  if (!odbc.empty() && odbc.back() != ';') odbc += ';';
  odbc += pair;
}

// Writes a value in braces when it would otherwise be read differently.
std::string QuoteValue(std::string_view value) {
  const bool plain =
      value.find_first_of(";{}") == std::string_view::npos && Trim(value).size() == value.size();
  if (plain) return std::string(value);
  std::string quoted = "{";
  for (char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  return quoted + "}";
}

// Returns `odbc` without the pairs whose name is one of `names`; unchanged when none is present.
std::string RemovePairs(const std::string& odbc, std::initializer_list<std::string_view> names) {
  const auto pairs = SplitPairs(odbc);
  const auto matches = [&](const Pair& pair) {
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

bool HasAttribute(const std::string& odbc, std::initializer_list<std::string_view> names) {
  const auto pairs = SplitPairs(odbc);
  return std::any_of(pairs.begin(), pairs.end(), [&](const Pair& pair) {
    return std::find(names.begin(), names.end(), pair.name) != names.end();
  });
}

}  // namespace

std::string MakeOdbcConnectionString(const std::string& source_dsn, const std::string& suffix,
                                     const std::string& uid, const std::string& pwd) {
  std::string odbc = source_dsn;
  const std::string_view name = Trim(source_dsn);
  if (!name.empty() && name.find('=') == std::string_view::npos) {
    odbc = "DSN=" + QuoteValue(name);
  }
  for (const auto& pair : SplitPairs(suffix)) {
    if (pair.name != "prompt" && pair.name != "windowhandle") AppendPair(odbc, Trim(pair.text));
  }
  if (!uid.empty()) {
    odbc = RemovePairs(odbc, {"uid"});
    AppendPair(odbc, "UID=" + QuoteValue(uid));
  }
  if (!pwd.empty()) {
    odbc = RemovePairs(odbc, {"pwd"});
    AppendPair(odbc, "PWD=" + QuoteValue(pwd));
  }
  return odbc;
}

std::optional<std::string> FindOdbcAttribute(const std::string& odbc, std::string_view key) {
  const std::string wanted = NormalName(key);
  for (const auto& pair : SplitPairs(odbc)) {
    if (pair.name != wanted) continue;
    const std::size_t eq = pair.text.find('=');
    if (eq == std::string::npos) return std::string();
    std::string_view value = Trim(std::string_view(pair.text).substr(eq + 1));
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}') {
      std::string unquoted;
      for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        unquoted += value[i];
        if (value[i] == '}' && value[i + 1] == '}') ++i;
      }
      return unquoted;
    }
    return std::string(value);
  }
  return std::nullopt;
}

std::string AddStreamingOptions(const std::string& odbc, std::string_view driver) {
  const std::string name = NormalName(driver);
  std::string result = odbc;
  if (name.find("sqlite") != std::string::npos) {
    // The SQLite driver reads the whole result into memory unless it steps through it.
    if (!HasAttribute(odbc, {"stepapi"})) AppendPair(result, "StepAPI=1");
  } else if (name.find("psql") != std::string::npos || name.find("postgres") != std::string::npos) {
    // psqlODBC does the same unless it reads through a cursor; B6 and A7 are the short names
    // of the two options.
    if (!HasAttribute(odbc, {"usedeclarefetch", "b6"})) AppendPair(result, "UseDeclareFetch=1");
    if (!HasAttribute(odbc, {"fetch", "a7"})) AppendPair(result, "Fetch=10000");
  }
  return result;
}

}  // namespace cubemill::provider::source
