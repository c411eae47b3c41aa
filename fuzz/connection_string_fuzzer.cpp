// Fuzzes the two connection-string readers: the engine's (ConnectionProperties, quotes) and the
// driver manager's (SplitOdbcPairs, braces). The first byte picks the mode: the rest of the input
// read by the engine as it stands; or turned into name/value pairs that are written out (quoted
// where needed) and must read back as written, through the engine's reader or through
// QuoteOdbcValue and SplitOdbcPairs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "platform/ascii_text.h"
#include "provider/connection/connection_string.h"
#include "provider/engine_error.h"
#include "provider/odbc_text/odbc_pairs.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::provider::connection::ConnectionProperties;
using cubemill::provider::connection::NormalizePropertyName;

using cubemill::platform::kBlanks;  // the blanks the engine's reader drops around values

void ReadAsItStands(std::string_view text) {
  const ConnectionProperties properties = ConnectionProperties::Parse(text);
  for (const char* name : {"LOCATION", "Data Source", "SOURCE_DSN", "CreateCube", "InsertInto"})
    (void)properties.Get(name);
  auto engine = cubemill::provider::connection::ReadEngineProperties(text);
  if (!properties.problem().empty())
    Check(!engine.ok(), "a quote never closed was accepted", properties.problem());
  if (!engine.ok()) {
    Check(engine.error().number == cubemill::provider::kPropertyErrorNumber,
          "unexpected error number", engine.error().description);
    return;
  }
  Check(!engine->location.empty() && !engine->source_dsn.empty() && !engine->create_cube.empty() &&
            !engine->insert_into.empty(),
        "a required property is empty in an accepted string");
}

// Writes `value` so that it reads back unchanged: bare when nothing in it needs quotes, else in
// the quote character `quote` with that character doubled inside.
std::string WriteValue(const std::string& value, char quote) {
  const bool bare = !value.empty() && value.find(';') == std::string::npos &&
                    value.front() != '"' && value.front() != '\'' &&
                    kBlanks.find(value.front()) == std::string_view::npos &&
                    kBlanks.find(value.back()) == std::string_view::npos;
  if (bare) return value;
  std::string written(1, quote);
  for (char c : value) {
    written += c;
    if (c == quote) written += c;
  }
  written += quote;
  return written;
}

void RoundTrip(FuzzedDataProvider& input) {
  std::string text;
  std::map<std::string, std::string> expected;  // by normalised name: the last value
  std::map<std::string, std::string> spelled;   // by normalised name: a spelling as written
  while (input.remaining_bytes() > 0) {
    std::string name = input.ConsumeRandomLengthString(16);
    std::erase_if(name, [](char c) { return c == ';' || c == '='; });
    const std::string normal = NormalizePropertyName(name);
    std::string value = input.ConsumeRandomLengthString(64);
    const char quote = input.ConsumeBool() ? '"' : '\'';
    const std::string blanks(input.ConsumeIntegralInRange(0, 2), ' ');
    if (normal.empty()) continue;
    text += name + "=" + blanks + WriteValue(value, quote) + (input.ConsumeBool() ? ";" : ";;");
    expected[normal] = value;
    spelled[normal] = name;
  }
  const ConnectionProperties properties = ConnectionProperties::Parse(text);
  Check(properties.problem().empty(), "a well-quoted string reported a problem", text);
  for (const auto& [normal, value] : expected) {
    const auto read = properties.Get(spelled[normal]);
    Check(read.has_value(), "a written name is missing", text + "\n  name: " + spelled[normal]);
    Check(*read == value, "a written value reads back differently",
          text + "\n  name: " + spelled[normal] + "\n  wrote: " + value + "\n  read: " + *read);
  }
}

// Writes pairs with QuoteOdbcValue and reads them back with SplitOdbcPairs and OdbcValueText.
void OdbcRoundTrip(FuzzedDataProvider& input) {
  namespace odbc_text = cubemill::provider::odbc_text;
  std::vector<std::pair<std::string, std::string>> written;
  std::string text;
  while (input.remaining_bytes() > 0) {
    std::string key = input.ConsumeRandomLengthString(16);
    std::erase_if(key, [](char c) { return c == ';' || c == '=' || c == '{'; });
    std::string value = input.ConsumeRandomLengthString(64);
    if (!written.empty()) text += ";";
    text += key + "=" + odbc_text::QuoteOdbcValue(value);
    written.emplace_back(std::move(key), std::move(value));
  }
  const auto pairs = odbc_text::SplitOdbcPairs(text);
  Check(pairs.size() == written.size(), "SplitOdbcPairs found another number of pairs", text);
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    Check(pairs[i].has_equals && pairs[i].key == written[i].first,
          "SplitOdbcPairs read another key", text + "\n  key: " + written[i].first);
    Check(odbc_text::OdbcValueText(pairs[i].value) == written[i].second,
          "a quoted ODBC value reads back differently",
          text + "\n  wrote: " + written[i].second +
              "\n  read: " + odbc_text::OdbcValueText(pairs[i].value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider input(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      ReadAsItStands(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
      break;
    case 1:
      RoundTrip(input);
      break;
    default:
      OdbcRoundTrip(input);
      break;
  }
  return 0;
}
