#include "platform/unicode_case.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace cubemill::platform {

namespace {

// The C library's Unicode case tables, whatever locale the program runs in. Null where the
// C.UTF-8 locale is missing: then only ASCII letters fold.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

char32_t Folded(char32_t c) {
  const locale_t locale = UnicodeLocale();
  if (locale == static_cast<locale_t>(0)) return c;
  // Upper first, then lower: final sigma and the long s reach the same letter as their
  // ordinary forms.
  return static_cast<char32_t>(towlower_l(towupper_l(static_cast<wint_t>(c), locale), locale));
}

// Decodes the character at `text[i]`; returns its length in bytes, 0 when the bytes there are
// not well-formed UTF-8.
std::size_t Decode(std::string_view text, std::size_t i, char32_t& c) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[i + k]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

void Encode(char32_t c, std::string& to) {
  if (c < 0x80) {
    to += static_cast<char>(c);
  } else if (c < 0x800) {
    to += static_cast<char>(0xC0 | (c >> 6));
    to += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    to += static_cast<char>(0xE0 | (c >> 12));
    to += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    to += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    to += static_cast<char>(0xF0 | (c >> 18));
    to += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    to += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    to += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string folded;
  folded.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char byte = utf8[i];
    if (static_cast<std::uint8_t>(byte) < 0x80) {
      folded += byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + ('a' - 'A')) : byte;
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t length = Decode(utf8, i, c);
    if (length == 0) {
      folded += utf8[i++];
      continue;
    }
    Encode(Folded(c), folded);
    i += length;
  }
  return folded;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return FoldCase(a) == FoldCase(b);
}

}  // namespace cubemill::platform
