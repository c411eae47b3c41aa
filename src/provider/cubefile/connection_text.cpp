#include "provider/cubefile/connection_text.h"

#include <cctype>
#include <vector>

#include "platform/ascii_text.h"

namespace cubemill::provider {
namespace {

// Blanks as isspace knows them in the C locale.
std::string_view Trim(std::string_view text) { return platform::TrimBlanks(text, " \t\n\v\f\r"); }

bool IsPasswordName(std::string_view name) {
  const std::string upper = platform::UpperAscii(Trim(name));
  return upper == "PWD" || upper == "PASSWORD" || upper == "SOURCE_PWD";
}

// Returns the position just after the value starting at `pos` (at the ";" or the end).
std::size_t SkipValue(std::string_view text, std::size_t pos) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '{' || text[pos] == '\'')) {
    const char close = text[pos] == '{' ? '}' : text[pos];
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == close) {
        if (pos + 1 < text.size() && text[pos + 1] == close) {
          pos += 2;  // a doubled quote stands for itself
          continue;
        }
        ++pos;
        break;
      }
      ++pos;
    }
  }
  while (pos < text.size() && text[pos] != ';') ++pos;
  return pos;
}

// Cleans a quoted value that holds a connection string of its own.
std::string CleanValue(std::string_view value) {
  std::string_view trimmed = Trim(value);
  if (trimmed.size() < 2) return std::string(value);
  const char open = trimmed.front();
  const char close = open == '{' ? '}' : open;
  if ((open != '"' && open != '{' && open != '\'') || trimmed.back() != close) {
    return std::string(value);
  }
  std::string inner;
  std::string_view body = trimmed.substr(1, trimmed.size() - 2);
  for (std::size_t i = 0; i < body.size(); ++i) {
    inner.push_back(body[i]);
    if (body[i] == close && i + 1 < body.size() && body[i + 1] == close) ++i;
  }
  if (inner.find('=') == std::string::npos) return std::string(value);
  std::string cleaned = RemovePasswords(inner);
  if (cleaned == inner) return std::string(value);
  std::string result(1, open);
  for (char c : cleaned) {
    result.push_back(c);
    if (c == close) result.push_back(c);
  }
  result.push_back(close);
  return result;
}

}  // namespace

std::string RemovePasswords(std::string_view connection) {
  std::vector<std::string> kept;
  std::size_t pos = 0;
  bool dropped = false;
  while (pos <= connection.size()) {
    std::size_t equals = connection.find_first_of("=;", pos);
    std::size_t end = 0;
    std::string pair;
    if (equals == std::string_view::npos || connection[equals] == ';') {
      end = equals == std::string_view::npos ? connection.size() : equals;
      pair = std::string(connection.substr(pos, end - pos));
    } else {
      end = SkipValue(connection, equals + 1);
      std::string_view name = connection.substr(pos, equals - pos);
      if (IsPasswordName(name)) {
        dropped = true;
        pos = end + 1;
        continue;
      }
      pair = std::string(connection.substr(pos, equals + 1 - pos)) +
             CleanValue(connection.substr(equals + 1, end - equals - 1));
    }
    kept.push_back(std::move(pair));
    pos = end + 1;
  }
  std::string result;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) result.push_back(';');
    result += kept[i];
  }
  // A dropped last pair would otherwise leave a ";" the input did not end with.
  if (dropped && !result.empty() && result.back() == ';' &&
      (connection.empty() || connection.back() != ';')) {
    result.pop_back();
  }
  return result;
}

}  // namespace cubemill::provider
