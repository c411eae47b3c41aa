// Fuzzes the settings-file reader: the input is the whole file, read back through ReadIniValue
// for the keys a job reads and for a section and key named by the input's first line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "settings/ini_file.h"

namespace {

using cubemill::fuzz::Check;

// Returns the number of characters in `text` when it is valid UTF-8, or nothing.
std::optional<std::size_t> Utf8Length(std::string_view text) {
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < text.size(); ++characters) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || pos + length > text.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return std::nullopt;
    }
    pos += length;
  }
  return characters;
}

void CheckValue(std::string_view section, std::string_view key, const std::string& file) {
  const std::string value = cubemill::settings::ReadIniValue(section, key, file);
  // The reader hands out UTF-8 (files that are not UTF-8 are read as Windows-1252) and cuts
  // values at 255 characters, never inside one.
  const auto length = Utf8Length(value);
  Check(length.has_value(), "value is not valid UTF-8", value);
  Check(*length <= cubemill::settings::kMaxIniValueLength, "value longer than 255 characters",
        value);
  Check(value.find('\n') == std::string::npos, "value holds a line feed", value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string file = cubemill::fuzz::WriteScratchFile(bytes);
  CheckValue("GLOBAL", "LOGDIR", file);
  CheckValue("Test", "OQY", file);
  CheckValue("Test", "OQY2VBS", file);
  CheckValue(" test ", "cub_ts", file);
  CheckValue("Test", "GLOBAL", file);
  // A section and key the input names itself: "<section>=<key>" on its first line.
  const std::string_view first_line = bytes.substr(0, bytes.find('\n'));
  const std::size_t equals = first_line.find('=');
  if (equals != std::string_view::npos)
    CheckValue(first_line.substr(0, equals), first_line.substr(equals + 1), file);
  return 0;
}
