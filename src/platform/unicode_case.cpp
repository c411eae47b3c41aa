#include "platform/unicode_case.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include <cstdint>

#include "platform/text_encoding.h"

namespace cubemill::platform {

namespace {

#ifdef _WIN32

// Windows' C library folds only in the locale set with setlocale, and on 16-bit wchar_t: the
// system's own invariant case mapping serves instead, on the character's UTF-16 units. With
// linguistic casing, since the plain mapping leaves letters such as the final sigma and the
// Kelvin sign as they are.
char32_t Folded(char32_t c) {
  wchar_t units[2];
  int count = 1;
  if (c >= 0x10000) {
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(c);
  }
  wchar_t upper[2];
  wchar_t lower[2];
  // A mapping that changes the length (none in the invariant table) leaves the character as is.
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, units, count,
                    upper, 2, nullptr, nullptr, 0) != count ||
      LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, upper, count,
                    lower, 2, nullptr, nullptr, 0) != count) {
    return c;
  }
  if (count == 1) return lower[0] >= 0xD800 && lower[0] < 0xE000 ? c : lower[0];
  return 0x10000 + ((static_cast<char32_t>(lower[0]) - 0xD800) << 10) +
         (static_cast<char32_t>(lower[1]) - 0xDC00);
}

#else

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

#endif

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
