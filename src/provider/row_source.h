// The rows a cube is built from, as typed values, whatever delivers them (ODBC or a test).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/error.h"
#include "platform/clock.h"

namespace cubemill::provider {

struct Date {
  int year = 0;
  unsigned month = 0;  // 1-12
  unsigned day = 0;    // 1-31
  bool operator==(const Date&) const = default;
};

// True when `date` names a real day of the proleptic Gregorian calendar in the years 1 to 9999,
// the years a date written "YYYY-MM-DD" can hold.
inline bool IsValidDate(const Date& date) {
  return platform::IsValidDate(date.year, date.month, date.day);
}

struct Timestamp {
  Date date;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  bool operator==(const Timestamp&) const = default;
};

// One value of a row. Text is a view into the source's buffer: valid until the next NextRow.
using Value = std::variant<std::monostate, std::int64_t, double, std::string_view, Date, Timestamp>;

// What the engine wants a column delivered as; a source converts when it can and delivers what
// it has otherwise.
enum class ColumnHint { kAny, kInteger, kReal, kText, kDateTime };

class RowSource {
 public:
  virtual ~RowSource() = default;
  // Number of columns of every row.
  virtual std::size_t ColumnCount() const = 0;
  // Fills `row` with the next row's values (ColumnCount of them) and returns true, or returns
  // false after the last row. A failure of the source is returned as an Error.
  virtual Result<bool> NextRow(std::vector<Value>& row) = 0;
  // The scale the source declares for each column: the digits after the decimal point of a
  // DECIMAL or NUMERIC column, nothing for a column of another type. Empty for a source that
  // declares none.
  virtual std::vector<std::optional<int>> DeclaredScales() const { return {}; }
};

// Told a line for the progress list when a source has something to say while it opens, such
// as that another program has locked it.
using InfoMessage = std::function<void(const std::string& line)>;

// Called while a build reads its source, with the number of rows read so far.
using RowProgress = std::function<void(std::uint64_t rows)>;

// What the source's SUM over a column gives: kPrecise for integers, NUMERIC and DECIMAL, an exact
// sum; kReal for double precision, a sum of doubles rounded at every step; kOther for the rest (a
// single precision sum of REAL, text that cannot be summed as it is).
enum class SourceSum { kPrecise, kReal, kOther };

// What a source says of itself before a build chooses where to aggregate its rows.
struct SourceFacts {
  std::string dbms;  // the name of its DBMS, as the driver reports it
  // Its planner's estimate of the rows of each statement it was asked about, where it gives one.
  std::vector<std::optional<double>> rows;
  // Its planner's estimate of what each statement costs to run to its end, in the planner's
  // own units (comparable between statements of one source only), where it gives one.
  std::vector<std::optional<double>> costs;
  // What SUM gives over each column of the first statement; empty where the driver did not
  // describe them, and then unknown.
  std::vector<SourceSum> sums;
};

// Opens a source: `connection` is an ODBC connection string, `select` is sent unchanged, `hints`
// has one entry per column the statement expects.
using SourceOpener = std::function<Result<std::unique_ptr<RowSource>>(
    const std::string& connection, const std::string& select,
    const std::vector<ColumnHint>& hints)>;

}  // namespace cubemill::provider
