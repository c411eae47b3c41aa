#include "oqy/offline_cube.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"
#include "support/fake_connection.h"
#include "support/test_support.h"
#include "support/worked_example.h"

namespace cubemill::oqy {
namespace {

CubeJob WorkedExample() { return test::WorkedExampleJob(); }

const char kExampleConnectionString[] =
    "LOCATION=C:\\Cubes\\sales.cub; SOURCE_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;"
    "UID=reader\"; CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] ); "
    "InsertInto=INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders ";

struct OfflineCubeTest : ::testing::Test {
  test::TempDir dir;
  test::FakeConnectionLog connections;
  ConnectionFactory fake = test::FakeConnections(connections);
  std::vector<std::string> info;
  std::function<void(const std::string&)> on_info = [this](const std::string& line) {
    info.push_back(line);
  };
};

// The properties the engine reads from `text`, each as ConnectionProperties finds it.
std::vector<std::optional<std::string>> EngineView(const std::string& text) {
  const auto properties = provider::connection::ConnectionProperties::Parse(text);
  std::vector<std::optional<std::string>> view;
  for (const char* name :
       {"LOCATION", "DATASOURCE", "SOURCE_DSN", "SOURCE_DSN_SUFFIX", "SOURCE_UID", "SOURCE_PWD",
        "CREATECUBE", "INSERTINTO", "USEEXISTINGFILE"}) {
    view.push_back(properties.Get(name));
  }
  return view;
}

TEST_F(OfflineCubeTest, AssemblesTheConnectionString) {
  const CubeJob example = WorkedExample();
  EXPECT_EQ(CubeConnectionString(example),
            "LOCATION=C:\\Cubes\\sales.cub;SOURCE_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;"
            "UID=reader\";CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] );"
            "InsertInto=INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders");
  // The engine reads what it read from the string the job has always handed it.
  EXPECT_EQ(EngineView(CubeConnectionString(example)), EngineView(kExampleConnectionString));
  // Without a CREATE CUBE statement the INSERT INTO is read as one, as it always was: the build
  // fails on the missing INSERT INTO, and CauseInOqy names the cause.
  CubeJob no_create = example;
  no_create.CreateCubeStmt.clear();
  const auto failed = provider::connection::ReadEngineProperties(CubeConnectionString(no_create));
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(),
            provider::connection::ReadEngineProperties(
                "LOCATION=C:\\Cubes\\sales.cub; SOURCE_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\"
                "sales.mdb;UID=reader\"; CreateCube= InsertInto=INSERT INTO "
                "OCWCube([Region].[Region])  SELECT region FROM orders ")
                .error());
  EXPECT_EQ(provider::connection::ReadEngineProperties(CubeConnectionString(CubeJob{})).error(),
            provider::connection::ReadEngineProperties(
                "LOCATION=; SOURCE_DSN=\"\"; CreateCube= InsertInto=  ")
                .error());
  // Values the hand-joined string cut or took for quotes reach the engine whole.
  CubeJob awkward = example;
  awkward.CubeFile = "cubes;night\\'q'.cub";
  awkward.SelectStmt = "SELECT region FROM orders WHERE note = 'a \"b\"'";
  const auto read = provider::connection::ReadEngineProperties(CubeConnectionString(awkward));
  ASSERT_TRUE(read.ok()) << read.error().description;
  EXPECT_EQ(read->location, awkward.CubeFile);
  EXPECT_EQ(read->insert_into, awkward.InsertIntoStmt + " " + awkward.SelectStmt);
  EXPECT_EQ(*read, CubeProperties(awkward));
}

TEST_F(OfflineCubeTest, SetsStringThenProviderThenOpensAndCloses) {
  CubeJob job = WorkedExample();
  job.CubeFile = "sales.cub";
  EXPECT_EQ(BuildOfflineCube(fake, job, on_info), std::nullopt);
  ASSERT_EQ(connections.calls.size(), 4u);
  EXPECT_EQ(connections.calls[0].rfind("ConnectionString=LOCATION=sales.cub;", 0), 0u);
  EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
  EXPECT_EQ(connections.calls[2], "Open(,,,-1)");
  EXPECT_EQ(connections.calls[3], "Close");
  EXPECT_TRUE(info.empty());
}

TEST_F(OfflineCubeTest, SetsAggregateAfterTheProviderOnlyWhenGiven) {
  // Blank values are not given: the connection is asked exactly what it is without the key.
  for (const char* blank : {"", " ", " \t "}) {
    connections.calls.clear();
    CubeJob job = WorkedExample();
    job.CubeFile = "sales.cub";
    job.Aggregate = blank;
    EXPECT_EQ(BuildOfflineCube(fake, job, on_info), std::nullopt);
    ASSERT_EQ(connections.calls.size(), 4u) << '"' << blank << '"';
    EXPECT_EQ(connections.calls[2], "Open(,,,-1)") << '"' << blank << '"';
  }
  // A given value goes to the connection as written (the connection reads its letter case and
  // blanks), after the string and the provider and before Open.
  for (const char* value : {"SOURCE", "client", " Auto ", "grouped"}) {
    connections.calls.clear();
    CubeJob job = WorkedExample();
    job.CubeFile = "sales.cub";
    job.Aggregate = value;
    EXPECT_EQ(BuildOfflineCube(fake, job, on_info), std::nullopt);
    ASSERT_EQ(connections.calls.size(), 5u) << value;
    EXPECT_EQ(connections.calls[0].rfind("ConnectionString=LOCATION=sales.cub;", 0), 0u);
    EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
    EXPECT_EQ(connections.calls[2], std::string("Property Aggregate=") + value);
    EXPECT_EQ(connections.calls[3], "Open(,,,-1)");
    EXPECT_EQ(connections.calls[4], "Close");
  }
}

TEST_F(OfflineCubeTest, SetsRollupsAfterTheProviderOnlyWhenGiven) {
  for (const char* blank : {"", " ", " \t "}) {
    connections.calls.clear();
    CubeJob job = WorkedExample();
    job.Rollups = blank;
    EXPECT_EQ(BuildOfflineCube(fake, job, on_info), std::nullopt);
    ASSERT_EQ(connections.calls.size(), 4u) << '"' << blank << '"';
    EXPECT_EQ(connections.calls[2], "Open(,,,-1)") << '"' << blank << '"';
  }
  for (const char* value : {"0", " 1000 ", "many"}) {
    connections.calls.clear();
    CubeJob job = WorkedExample();
    job.Rollups = value;
    EXPECT_EQ(BuildOfflineCube(fake, job, on_info), std::nullopt);
    ASSERT_EQ(connections.calls.size(), 5u) << value;
    EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
    EXPECT_EQ(connections.calls[2], std::string("Property Rollups=") + value);
    EXPECT_EQ(connections.calls[3], "Open(,,,-1)");
  }
  // A rejected value stops the build before Open.
  CubeJob job = WorkedExample();
  job.Rollups = "-1";
  connections.calls.clear();
  connections.property_error =
      Error{"ROLLUPS must be a whole number of rows, 0 or more, not \"-1\"", -2147217887,
            "Cubemill Cube Engine"};
  EXPECT_EQ(BuildOfflineCube(fake, job, on_info), connections.property_error);
  EXPECT_EQ(connections.calls.back(), "Property Rollups=-1");
}

TEST_F(OfflineCubeTest, ARejectedAggregateStopsTheBuildBeforeOpen) {
  CubeJob job = WorkedExample();
  job.Aggregate = "grouped";
  connections.property_error = Error{"Aggregate: \"grouped\" is not CLIENT, SOURCE or AUTO",
                                     -2147217887, "Cubemill Cube Engine"};
  EXPECT_EQ(BuildOfflineCube(fake, job, on_info), connections.property_error);
  EXPECT_EQ(connections.calls.back(), "Property Aggregate=grouped");  // neither Open nor Close

  // A connection that does not know the property at all fails the build the same way, with the
  // property collection's "item not found".
  struct Plain : test::FakeConnection {
    using FakeConnection::FakeConnection;
    std::optional<Error> SetProperty(const std::string& name, const std::string& value) override {
      return Connection::SetProperty(name, value);
    }
  };
  connections.calls.clear();
  auto error = BuildOfflineCube(
      [this]() -> std::unique_ptr<provider::connection::Connection> {
        return std::make_unique<Plain>(connections);
      },
      job, on_info);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, provider::connection::kItemNotFoundNumber);
  EXPECT_EQ(error->source, provider::connection::kPropertiesSource);
  EXPECT_NE(error->description.find("Aggregate"), std::string::npos) << error->description;
  EXPECT_EQ(connections.calls.back(), "Provider=MSOLAP");
}

TEST_F(OfflineCubeTest, ReturnsTheFailureOfOpen) {
  connections.open_error = Error{"no such table: orders", -2147467259, "Cubemill Cube Engine"};
  EXPECT_EQ(BuildOfflineCube(fake, WorkedExample(), on_info), connections.open_error);
  EXPECT_EQ(connections.calls.back(), "Open(,,,-1)");  // no Close after a failed Open
}

TEST_F(OfflineCubeTest, NamesTheCauseInTheOqyFile) {
  CubeJob job = WorkedExample();
  EXPECT_EQ(CauseInOqy(job), "");
  job.CreateCubeStmt.clear();
  EXPECT_EQ(CauseInOqy(job),
            "Connection line has no CreateCube= value: the CREATE CUBE statement is missing");
  CubeJob empty;
  empty.OqyFile = "empty.oqy";
  EXPECT_EQ(CauseInOqy(empty), "OQY File has no Connection= line (or is empty): empty.oqy");
  // An OQY file saved as UTF-16 has its connection line, but not as the reader reads it.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("Connection=Provider=MSOLAP;\r\n")) utf16 += std::string{c, '\0'};
  test::WriteBytes("wide.oqy", utf16);
  empty.OqyFile = "wide.oqy";
  EXPECT_EQ(CauseInOqy(empty),
            "cannot read the OQY file wide.oqy: saved as UTF-16 (or holds NUL bytes); save it as "
            "UTF-8 or Windows-1252");
}

TEST_F(OfflineCubeTest, OtherProvidersAreNotFound) {
  CubeJob job = WorkedExample();
  job.Provider = "SQLOLEDB";
  EXPECT_EQ(
      BuildOfflineCube([] { return provider::connection::NewEngineConnection(); }, job, on_info),
      (Error{"Provider cannot be found. It may not be properly installed.", -2146824582,
             "ADODB.Connection"}));
  for (const char* name : {"MSOLAP", "msolap.2", "MSOLAP.10"})
    EXPECT_TRUE(provider::connection::IsEngineProvider(name)) << name;
  for (const char* name : {"", "MSOLAP.", "MSOLAP.2a", "XMSOLAP", "MSOLAP 2"})
    EXPECT_FALSE(provider::connection::IsEngineProvider(name)) << name;
}

}  // namespace
}  // namespace cubemill::oqy
