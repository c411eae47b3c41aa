#include "provider/source/odbc_connect.h"

#include <sqlext.h>

#include <array>
#include <optional>
#include <string_view>

#include "platform/ascii_text.h"
#include "provider/odbc_text/odbc_pairs.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_source.h"
#include "provider/source/source_dialect.h"

namespace cubemill::provider::source {
namespace {

// The driver the data source `dsn` is registered with (its Driver entry, which the driver manager
// reports as the description of each data source), or "" when there is no such data source.
std::string DataSourceDriver(SQLHENV env, std::string_view dsn) {
  std::array<SQLCHAR, SQL_MAX_DSN_LENGTH + 1> name{};
  std::array<SQLCHAR, 1024> driver{};
  SQLSMALLINT name_length = 0;
  SQLSMALLINT driver_length = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST; Succeeded(SQLDataSources(
           env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &name_length,
           driver.data(), static_cast<SQLSMALLINT>(driver.size()), &driver_length));
       direction = SQL_FETCH_NEXT) {
    if (platform::EqualsIgnoringCase(reinterpret_cast<const char*>(name.data()), dsn))
      return reinterpret_cast<const char*>(driver.data());
  }
  return "";
}

// The driver `odbc` connects with, as far as it can be told before connecting: its (first)
// DRIVER= value, else the driver of the data source its first DSN= names; "" when neither says.
// The string is split once for both.
std::string SourceDriver(SQLHENV env, const std::string& odbc) {
  std::optional<std::string> dsn;
  for (const odbc_text::ConnectionPair& pair : odbc_text::SplitOdbcPairs(odbc)) {
    const std::string name = odbc_text::OdbcKeyName(pair.key);
    if (name == "driver") return odbc_text::OdbcValueText(pair.value);
    if (name == "dsn" && !dsn) dsn = odbc_text::OdbcValueText(pair.value);
  }
  return dsn ? DataSourceDriver(env, *dsn) : "";
}

// The error of a connection `connection` to `driver` that failed with the diagnostic `failure`,
// as the driver's dialect explains it.
Error ConnectFailure(const std::string& connection, std::string_view driver,
                     const std::string& failure) {
  const SourceDialect& dialect = DialectOfDriver(driver);
  if (dialect.connect_failure) return dialect.connect_failure(connection, failure);
  return SourceError("connect failed: " + failure);
}

// Tells `info` what connecting to `driver` with `connection` will wait for, as its dialect can.
void BeforeConnect(const std::string& connection, std::string_view driver,
                   const InfoMessage& info) {
  const SourceDialect& dialect = DialectOfDriver(driver);
  if (dialect.before_connect) dialect.before_connect(connection, info);
}

}  // namespace

std::string LoadedDriverName(SQLHDBC dbc) {
  std::array<SQLCHAR, 256> name{};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_DRIVER_NAME, name.data(),
                            static_cast<SQLSMALLINT>(name.size()), &length))) {
    return "";
  }
  return reinterpret_cast<const char*>(name.data());
}

Result<std::string> ConnectForStreaming(OdbcHandles& handles, const std::string& requested,
                                        const InfoMessage& info) {
  if (!handles.Allocate()) {
    return SourceError("connect failed: the ODBC driver manager could not allocate a handle");
  }
  // The driver's options where the DRIVER= name or the data source's entry tells the driver ...
  std::string connection = requested;
  const std::string driver = SourceDriver(handles.env(), requested);
  if (!driver.empty()) {
    connection = AddDriverOptions(requested, driver);
    BeforeConnect(connection, driver, info);
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return ConnectFailure(connection, driver, failure);
  }
  // ... and otherwise once the driver manager has said which driver it loaded: the options are
  // added to the string and the connection made again.
  const std::string driver_name = LoadedDriverName(handles.dbc());
  const std::string with_options = AddDriverOptions(connection, driver_name);
  if (with_options != connection) {
    handles.Disconnect();
    connection = with_options;
    BeforeConnect(connection, driver_name, info);
    if (auto failure = handles.Connect(connection); !failure.empty()) {
      return ConnectFailure(connection, driver_name, failure);
    }
  }
  return connection;
}

bool DriverRereadsBlockRows(SQLHDBC dbc) {
  SQLUINTEGER getdata = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &getdata, sizeof getdata, nullptr))) {
    return false;
  }
  return (getdata & SQL_GD_BLOCK) != 0 && (getdata & SQL_GD_BOUND) != 0;
}

Result<SourceFacts> SurveySource(const std::string& connection,
                                 const std::vector<std::string>& statements) {
  OdbcHandles handles;
  if (!handles.Allocate()) {
    return SourceError("connect failed: the ODBC driver manager could not allocate a handle");
  }
  SourceFacts facts;
  facts.rows.assign(statements.size(), std::nullopt);
  facts.costs.assign(statements.size(), std::nullopt);
  const std::string driver = SourceDriver(handles.env(), connection);
  if (const SourceDialect& dialect = DialectOfDriver(driver); dialect.surveyed_without_connecting) {
    facts.dbms = dialect.name;
    return facts;
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return ConnectFailure(connection, driver, failure);
  }
  std::array<SQLCHAR, 256> name{};
  SQLSMALLINT length = 0;
  if (Succeeded(SQLGetInfo(handles.dbc(), SQL_DBMS_NAME, name.data(),
                           static_cast<SQLSMALLINT>(name.size()), &length))) {
    facts.dbms = reinterpret_cast<const char*>(name.data());
  }
  if (const SourceDialect& dialect = DialectOfDbms(facts.dbms); dialect.ask_planner)
    dialect.ask_planner(handles, statements, facts);
  return facts;
}

}  // namespace cubemill::provider::source
