#include "platform/unicode_case.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

#include "platform/text_encoding.h"

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
    const std::size_t length = DecodeUtf8(utf8, i, c);
    if (length == 0) {
      folded += utf8[i++];
      continue;
    }
    AppendUtf8(folded, Folded(c));
    i += length;
  }
  return folded;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return FoldCase(a) == FoldCase(b);
}

}  // namespace cubemill::platform
