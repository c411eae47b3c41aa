// The ADO-like connection a cube build opens: set the connection string and the provider, open,
// close. Opening builds the cube file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "provider/engine_error.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

// The errors a connection raises, from the one table of error numbers, under the names its
// clients know them by.
using provider::kConnectionNotCreatedNumber;
using provider::kConnectionNotCreatedText;
using provider::kConnectionSource;
using provider::kItemNotFoundNumber;
using provider::kItemNotFoundText;
using provider::kPropertiesSource;
using provider::kProviderNotFoundNumber;
using provider::kProviderNotFoundText;

// The connection property that says where a cube build aggregates its rows: "CLIENT" (the
// engine reads every source row), "SOURCE" (the source groups them at the leaf level and the
// engine reads the groups) or "AUTO" (the source when it is a database server, else the
// engine), in any letter case.
inline constexpr const char* kAggregateProperty = "Aggregate";

// The connection property that caps the rows of the rollups a cube file stores: a non-negative
// decimal integer, blanks around it ignored; 0 stores none. Without it the rollups hold at most
// as many rows as the cube has cells.
inline constexpr const char* kRollupsProperty = "Rollups";

// What a value of kRollupsProperty must be, as a failed build or a check says it.
inline constexpr const char* kRollupsValueText =
    "ROLLUPS must be a whole number of rows, 0 or more";

// Reads a value of kRollupsProperty: decimal digits, blanks (spaces, tabs) around them ignored.
// Returns nothing for anything else (a sign, a fraction, a number past 64 bits, no digits).
std::optional<std::uint64_t> ParseRollupBudget(std::string_view text);

// The connection property that says how a build reads its source: "FULL" (every row of the
// SELECT, the default), "INCREMENTAL=<column>", a column of the SELECT whose value only grows
// for new rows: the build then adds the rows past the highest value of it that the base cube
// (kRefreshBaseProperty) read to that cube's cells, where that gives the cube a full build would
// give, and builds in full otherwise; or "FULL=<column>": every row, recording the column's
// highest value for the incremental builds that follow (a weekly full build of a nightly
// incremental job). Its info message says which way it went: "Refresh: incremental from <value>,
// <n> new rows" or "Refresh: full (<why>)".
inline constexpr const char* kRefreshProperty = "Refresh";

// The connection property that names the cube files an incremental refresh may start from, newest
// first, one per line: the first that reads as a cube file is the base.
inline constexpr const char* kRefreshBaseProperty = "RefreshBase";

// What a value of kRefreshProperty must be, as a failed build or a check says it.
inline constexpr const char* kRefreshValueText =
    "REFRESH must be FULL, FULL=<column of the SELECT> or INCREMENTAL=<column of the SELECT>, "
    "the column a plain name or one in double quotes";

// A value of kRefreshProperty read.
struct RefreshSetting {
  std::string column;        // "" for FULL
  bool incremental = false;  // INCREMENTAL=<column>
  bool operator==(const RefreshSetting&) const = default;
};

// Reads a value of kRefreshProperty, in any letter case, blanks around its parts ignored; nothing
// for anything else, a column that is no plain name (letters, digits, "_") or "quoted name" too.
std::optional<RefreshSetting> ParseRefresh(std::string_view text);

class Connection {
 public:
  virtual ~Connection() = default;
  virtual std::optional<Error> SetConnectionString(const std::string& text) = 0;
  virtual std::optional<Error> SetProvider(const std::string& name) = 0;
  // Sets a property of the provider by name, before Open. A connection that does not know the
  // property returns kItemNotFoundNumber; one that knows it but not the value says so.
  virtual std::optional<Error> SetProperty(const std::string& name, const std::string& value) {
    static_cast<void>(value);
    return Error{std::string(kItemNotFoundText) + " (" + name + ")", kItemNotFoundNumber,
                 kPropertiesSource};
  }
  // Opens the connection; for the cube engine this builds the cube file named by LOCATION and
  // returns only when it is complete. Empty arguments keep what the properties say.
  virtual std::optional<Error> Open(const std::string& connection_string, const std::string& user,
                                    const std::string& password, long options) = 0;
  virtual std::optional<Error> Close() = 0;
  // Sets who is told the connection's info messages; without one, or for a connection that has
  // nothing to say, nobody is.
  virtual void SetInfoMessage(InfoMessage handler) { static_cast<void>(handler); }
};

// True for the provider names that select the cube engine: "MSOLAP" alone or followed by "."
// and digits, in any letter case.
bool IsEngineProvider(const std::string& name);

}  // namespace cubemill::provider::connection
