// Fuzzes FormatDateTime: the input's first bytes pick a date and time (years 1 to 9999), the
// rest is the pattern. The result must equal that of a second, independently written reading of
// the pattern rules: runs of one token letter, cut into tokens from the left.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/clock.h"
#include "settings/date_format.h"

namespace {

struct Fields {
  int year;
  unsigned month;
  unsigned day;
  int hour;
  int minute;
  int second;
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Padded(long value, std::size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

// A run of the letter Y gives YYYY while four remain, then YY; one Y alone is copied. Runs of
// M, D, H and S give two-letter tokens while two remain, then one. M is the minute right after
// an hour token, the month otherwise.
std::string Expected(const Fields& f, std::string_view pattern) {
  std::string out;
  bool after_hour = false;
  std::size_t pos = 0;
  while (pos < pattern.size()) {
    const char letter = Upper(pattern[pos]);
    std::size_t run = 0;
    while (pos + run < pattern.size() && Upper(pattern[pos + run]) == letter) ++run;
    if (std::string_view("YMDHS").find(letter) == std::string_view::npos ||
        (letter == 'Y' && run == 1)) {
      out += pattern[pos++];
      continue;
    }
    const std::size_t length = letter == 'Y' ? (run >= 4 ? 4 : 2) : (run >= 2 ? 2 : 1);
    long value = 0;
    switch (letter) {
      case 'Y':
        value = length == 4 ? f.year : f.year % 100;
        break;
      case 'M':
        value = after_hour ? f.minute : f.month;
        break;
      case 'D':
        value = f.day;
        break;
      case 'H':
        value = f.hour;
        break;
      default:
        value = f.second;
        break;
    }
    out += Padded(value, length == 4 ? 4 : length);
    after_hour = letter == 'H';
    pos += length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace std::chrono;
  FuzzedDataProvider input(data, size);
  Fields f{};
  f.year = input.ConsumeIntegralInRange(1, 9999);
  f.month = input.ConsumeIntegralInRange(1u, 12u);
  const year_month_day_last month_end{year(f.year), month_day_last(month(f.month))};
  f.day = input.ConsumeIntegralInRange(1u, static_cast<unsigned>(month_end.day()));
  f.hour = input.ConsumeIntegralInRange(0, 23);
  f.minute = input.ConsumeIntegralInRange(0, 59);
  f.second = input.ConsumeIntegralInRange(0, 59);
  const std::string pattern = input.ConsumeRemainingBytesAsString();

  const auto value =
      cubemill::platform::MakeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
  const std::string formatted = cubemill::settings::FormatDateTime(value, pattern);
  const std::string expected = Expected(f, pattern);
  cubemill::fuzz::Check(
      formatted == expected, "FormatDateTime differs from the pattern rules",
      "pattern:  " + pattern + "\n  got:      " + formatted + "\n  expected: " + expected);
  return 0;
}
