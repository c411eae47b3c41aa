// The separators of figures shown to a person: the locale's, "," and "." where it defines none,
// read without changing how the process itself parses and writes numbers.
#include "platform/number_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace cubemill::platform {
namespace {

#ifndef _WIN32

// Whether the system has the locale `name` (a test of it is skipped where it is not generated).
bool HasLocale(const char* name) {
  const locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return false;
  freelocale(locale);
  return true;
}

TEST(NumberLocaleTest, GroupsWithACommaWhereTheLocaleDefinesNoSeparator) {
  EXPECT_EQ(NumberSeparatorsOf("C"), (NumberSeparators{",", "."}));
  EXPECT_EQ(NumberSeparatorsOf("POSIX"), (NumberSeparators{",", "."}));
  // A locale the system does not have.
  EXPECT_EQ(NumberSeparatorsOf("xx_NOWHERE.UTF-8"), (NumberSeparators{",", "."}));
}

TEST(NumberLocaleTest, TakesTheSeparatorsOfANamedLocale) {
  if (!HasLocale("de_DE.UTF-8")) GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated here";
  EXPECT_EQ(NumberSeparatorsOf("de_DE.UTF-8"), (NumberSeparators{".", ","}));
}

TEST(NumberLocaleTest, KeepsASeparatorOfSeveralBytes) {
  if (!HasLocale("fr_FR.UTF-8")) GTEST_SKIP() << "the locale fr_FR.UTF-8 is not generated here";
  // A narrow no-break space, U+202F.
  EXPECT_EQ(NumberSeparatorsOf("fr_FR.UTF-8"), (NumberSeparators{"\xE2\x80\xAF", ","}));
}

// The environment names the locale; the process's own stays "C", so that strtod and printf
// still read and write "1.5".
TEST(NumberLocaleTest, ReadsTheEnvironmentsLocaleWithoutSwitchingToIt) {
  if (!HasLocale("de_DE.UTF-8")) GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated here";
  const char* before = std::getenv("LC_ALL");
  const std::string saved = before != nullptr ? before : "";
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  const NumberSeparators separators = LocaleNumberSeparators();
  if (before != nullptr)
    ::setenv("LC_ALL", saved.c_str(), 1);
  else
    ::unsetenv("LC_ALL");
  EXPECT_EQ(separators, (NumberSeparators{".", ","}));
  EXPECT_EQ(std::strtod("1.5", nullptr), 1.5);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

#endif

}  // namespace
}  // namespace cubemill::platform
