#include "platform/number_locale.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

#include <string_view>

#include "platform/text_encoding.h"

namespace cubemill::platform {

namespace {

// The separators a locale gives, the defaults where it gives none (or gives one for both).
NumberSeparators WithFallbacks(std::string_view thousands, std::string_view decimal) {
  const std::string_view point = decimal.empty() ? std::string_view(".") : decimal;
  const std::string_view group = !thousands.empty() && thousands != point ? thousands
                                 : point == ","                           ? std::string_view(".")
                                                                          : std::string_view(",");
  return NumberSeparators{std::string(group), std::string(point)};
}

#ifdef _WIN32

// A locale item of the user's locale in UTF-8; "" when it cannot be read.
std::string UserLocaleItem(LCTYPE item) {
  wchar_t text[16];
  const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, 16);
  std::string utf8;
  for (int i = 0; i + 1 < length; ++i) AppendUtf8(utf8, static_cast<char32_t>(text[i]));
  return utf8;
}

#endif

}  // namespace

NumberSeparators NumberSeparatorsOf(const std::string& name) {
#ifdef _WIN32
  if (!name.empty()) return {};
  return WithFallbacks(UserLocaleItem(LOCALE_STHOUSAND), UserLocaleItem(LOCALE_SDECIMAL));
#else
  // A locale object of its own: the process's locale (and with it strtod and printf) stays "C".
  const locale_t locale = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return {};
  NumberSeparators separators =
      WithFallbacks(nl_langinfo_l(THOUSEP, locale), nl_langinfo_l(RADIXCHAR, locale));
  freelocale(locale);
  return separators;
#endif
}

NumberSeparators LocaleNumberSeparators() { return NumberSeparatorsOf(""); }

}  // namespace cubemill::platform
