#include "provider/connection/connection_string.h"

#include <utility>

#include "platform/ascii_text.h"
#include "provider/engine_error.h"

namespace cubemill::provider::connection {
namespace {

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
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t pair_end = text.find_first_of(";=", i);
    if (pair_end == std::string_view::npos || text[pair_end] == ';') {  // no "=": skip it
      i = pair_end == std::string_view::npos ? text.size() : pair_end + 1;
      continue;
    }
    const std::string name = NormalizePropertyName(text.substr(i, pair_end - i));
    i = pair_end + 1;
    while (i < text.size() && platform::IsBlank(text[i])) ++i;
    std::string value;
    const bool quoted = i < text.size() && (text[i] == '"' || text[i] == '\'');
    if (quoted) {
      const char quote = text[i];
      const std::size_t open = i++;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {  // doubled: stands for itself
            value += quote;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed && properties.problem_.empty())
        properties.problem_ = "the value of " + name + " opens a quote at position " +
                              std::to_string(open + 1) + " that is never closed";
    }
    // Unquoted text, or text after a closing quote, runs to the next ";". Blanks inside the
    // quotes are kept.
    std::size_t end = text.find(';', i);
    if (end == std::string_view::npos) end = text.size();
    std::string_view rest = text.substr(i, end - i);
    if (!quoted) rest = platform::TrimBlanks(rest);
    while (!rest.empty() && platform::IsBlank(rest.back())) rest.remove_suffix(1);
    value += rest;
    i = end + 1;
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

}  // namespace cubemill::provider::connection
