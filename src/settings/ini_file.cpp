#include "settings/ini_file.h"

#include <algorithm>
#include <array>

#include "platform/ascii_text.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "platform/text_file.h"

namespace cubemill::settings {
namespace {

constexpr std::array<const char*, 14> kDefaultLines = {
    "[GLOBAL]",
    "LOGDIR=..\\OQY-Dateien\\log",
    "",
    "[Test]",
    "OQY=..\\OQY-Dateien\\rel01\\Output_Detail.oqy",
    "OQY2VBS=..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs",
    "CUB_TS=YYYY-MM-DD_HH_mm_ss",
    "GLOBAL=GLOBAL",
    "",
    "[Test2]",
    "OQY=..\\OQY-Dateien\\rel02\\Output_Detail.oqy",
    "OQY2VBS=..\\OQY-Dateien\\rel02\\Output_Detail.oqy.vbs",
    "CUB_TS=YYYY-MM-DD_HH_mm_ss",
    "GLOBAL=GLOBAL",
};

// Cuts `value` to its first 255 characters (UTF-8 characters, not bytes).
std::string Limit(std::string_view value) {
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < value.size(); ++pos) {
    if ((static_cast<unsigned char>(value[pos]) & 0xC0) == 0x80) continue;
    if (characters == kMaxIniValueLength) return std::string(value.substr(0, pos));
    ++characters;
  }
  return std::string(value);
}

}  // namespace

std::string SettingsPath() {
  return platform::JoinPath(platform::CurrentDirectory(), "cubemill.ini");
}

std::optional<std::string> SettingsFileProblem(const std::string& file) {
  if (auto kind = platform::NotARegularFile(file)) {
    return "cannot read the settings file " + file + ": " + *kind;
  }
  if (!platform::IsRegularFile(file)) return std::nullopt;
  if (auto problem = platform::TextFileProblem(file)) {
    return "cannot read the settings file " + file + ": " + *problem;
  }
  return std::nullopt;
}

std::string ReadIniValue(std::string_view section, std::string_view key, const std::string& file) {
  auto lines = platform::ReadTextLines(file);
  if (!lines) return "";
  const std::string_view wanted_section = platform::TrimBlanks(section);
  const std::string_view wanted_key = platform::TrimBlanks(key);
  bool inside = false;  // in the first section of that name
  for (const std::string& line : *lines) {
    std::string_view text = platform::TrimBlanks(line);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
      if (inside) return "";  // only the first section of that name counts
      if (platform::EqualsIgnoringCase(platform::TrimBlanks(text.substr(1, text.size() - 2)),
                                       wanted_section))
        inside = true;
      continue;
    }
    if (!inside || text.empty() || text.front() == ';') continue;
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    if (!platform::EqualsIgnoringCase(platform::TrimBlanks(text.substr(0, equals)), wanted_key))
      continue;
    std::string_view value = platform::TrimBlanks(text.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return Limit(value);
  }
  return "";
}

std::vector<std::string> ReadIniSectionsWithKey(std::string_view key, const std::string& file) {
  std::vector<std::string> sections;
  auto lines = platform::ReadTextLines(file);
  if (!lines) return sections;
  const std::string_view wanted_key = platform::TrimBlanks(key);
  std::string section;
  for (const std::string& line : *lines) {
    std::string_view text = platform::TrimBlanks(line);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
      section = std::string(platform::TrimBlanks(text.substr(1, text.size() - 2)));
      continue;
    }
    if (section.empty() || text.empty() || text.front() == ';') continue;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos ||
        !platform::EqualsIgnoringCase(platform::TrimBlanks(text.substr(0, equals)), wanted_key))
      continue;
    const bool known = std::any_of(sections.begin(), sections.end(), [&](const std::string& s) {
      return platform::EqualsIgnoringCase(s, section);
    });
    if (!known) sections.push_back(section);
  }
  return sections;
}

void WriteIniLine(std::string_view text) { platform::AppendLine(SettingsPath(), text); }

void EnsureIniFile(ProgressList& list) {
  if (platform::IsRegularFile(SettingsPath())) return;
  list.AddLine("erstelle INI Datei");
  // Something else there (a FIFO, a folder) is not replaced: the job then says what it is.
  if (platform::NotARegularFile(SettingsPath())) return;
  // Written in one step, so that an interrupted start never leaves half a settings file that
  // later runs would take as complete.
  std::string text;
  for (const char* line : kDefaultLines) text += std::string(line) + "\r\n";
  platform::WriteFileAtomically(SettingsPath(), platform::Utf8ToWindows1252(text));
}

}  // namespace cubemill::settings
