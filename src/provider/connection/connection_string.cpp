#include "provider/connection/connection_string.h"

#include <algorithm>
#include <utility>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "provider/engine_error.h"
#include "provider/odbc_text/odbc_pairs.h"

namespace cubemill::provider::connection {
namespace {

// Values in double or single quotes, the quote doubled inside; blanks are the project's own.
constexpr odbc_text::PairSyntax kPropertySyntax{"\"'", "\"'", platform::kBlanks};

Error PropertyError(const std::string& description) {
  return EngineError("connection string: " + description, kPropertyErrorNumber);
}

}  // namespace

std::string NormalizePropertyName(std::string_view name) {
  std::string normal;
  for (char c : name) {
    if (platform::IsBlank(c)) continue;
    normal += platform::UpperAscii(c);
  }
  return normal;
}

ConnectionProperties ConnectionProperties::Parse(std::string_view text) {
  ConnectionProperties properties;
  for (const odbc_text::ConnectionPair& pair : odbc_text::SplitPairs(text, kPropertySyntax)) {
    if (!pair.has_equals) continue;
    const std::string name = NormalizePropertyName(pair.key);
    std::string_view rest = pair.value;
    rest.remove_prefix(std::min(rest.find_first_not_of(platform::kBlanks), rest.size()));
    std::string value;
    if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
      const auto open = static_cast<std::size_t>(rest.data() - text.data());
      QuotedText quoted = ScanQuoted(rest, 0, rest.front());
      if (!quoted.closed && properties.problem_.empty())
        properties.problem_ = "the value of " + name + " opens a quote at position " +
                              std::to_string(open + 1) + " that is never closed";
      // Text after the closing quote belongs to the value too; blanks inside the quotes stay.
      value = std::move(quoted.value);
      rest = rest.substr(quoted.end);
    }
    while (!rest.empty() && platform::IsBlank(rest.back())) rest.remove_suffix(1);
    value += rest;
    if (!name.empty()) properties.values_[name] = std::move(value);
  }
  return properties;
}

std::optional<std::string> ConnectionProperties::Get(std::string_view name) const {
  auto found = values_.find(NormalizePropertyName(name));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

Result<EngineProperties> ReadEngineProperties(std::string_view connection_string) {
  const ConnectionProperties properties = ConnectionProperties::Parse(connection_string);
  if (!properties.problem().empty()) return PropertyError(properties.problem());
  auto value = [&properties](std::string_view name) { return properties.Get(name).value_or(""); };

  EngineProperties engine;
  engine.location = value("LOCATION");
  if (engine.location.empty()) engine.location = value("DATA SOURCE");
  if (engine.location.empty())
    return PropertyError(
        "LOCATION (or Data Source) is missing or empty: it names the cube file "
        "to write");
  engine.source_dsn = value("SOURCE_DSN");
  if (engine.source_dsn.empty())
    return PropertyError("SOURCE_DSN is missing or empty: it names the ODBC data source to read");
  const std::size_t equals = engine.source_dsn.find('=');
  if (equals != std::string::npos &&
      NormalizePropertyName(engine.source_dsn.substr(0, equals)) == "PROVIDER")
    return PropertyError(
        "SOURCE_DSN is an OLE DB connection string (it starts with "
        "Provider=), which is not supported: give an ODBC data source name or "
        "an ODBC connection string");
  engine.source_dsn_suffix = value("SOURCE_DSN_SUFFIX");
  engine.source_uid = value("SOURCE_UID");
  engine.source_pwd = value("SOURCE_PWD");
  engine.create_cube = value("CREATECUBE");
  if (engine.create_cube.empty())
    return PropertyError("CREATECUBE is missing or empty: it holds the CREATE CUBE statement");
  engine.insert_into = value("INSERTINTO");
  if (engine.insert_into.empty())
    return PropertyError("INSERTINTO is missing or empty: it holds the INSERT INTO statement");
  const std::string use_existing = value("USEEXISTINGFILE");
  if (!use_existing.empty()) {
    const char first = use_existing.front();
    engine.use_existing_file = first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
                               (first >= '1' && first <= '9');
  }
  return engine;
}

std::string QuotePropertyValue(std::string_view value) {
  const bool plain = value.find(';') == std::string_view::npos &&
                     platform::TrimBlanks(value).size() == value.size() &&
                     (value.empty() || (value.front() != '"' && value.front() != '\''));
  if (plain) return std::string(value);
  std::string quoted = "\"";
  for (char c : value) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string WriteEngineProperties(const EngineProperties& properties) {
  std::string text;
  auto add = [&text](std::string_view name, std::string_view value) {
    if (!text.empty()) text += ';';
    text.append(name).append("=").append(QuotePropertyValue(value));
  };
  add("LOCATION", properties.location);
  add("SOURCE_DSN", properties.source_dsn);
  if (!properties.source_dsn_suffix.empty()) add("SOURCE_DSN_SUFFIX", properties.source_dsn_suffix);
  if (!properties.source_uid.empty()) add("SOURCE_UID", properties.source_uid);
  if (!properties.source_pwd.empty()) add("SOURCE_PWD", properties.source_pwd);
  add("CreateCube", properties.create_cube);
  add("InsertInto", properties.insert_into);
  if (properties.use_existing_file) add("UseExistingFile", "Yes");
  return text;
}

}  // namespace cubemill::provider::connection
