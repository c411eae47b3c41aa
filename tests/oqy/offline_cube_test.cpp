#include "oqy/offline_cube.h"

#include <gtest/gtest.h>

#include "support/fake_connection.h"
#include "support/test_support.h"
#include "support/worked_example.h"

namespace cubemill::oqy {
namespace {

using Lines = std::vector<std::string>;

job::CubeJob WorkedExample() { return test::WorkedExampleJob(); }

const char kExampleConnectionString[] =
    "LOCATION=C:\\Cubes\\sales.cub; SOURCE_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;"
    "UID=reader\"; CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] ); "
    "InsertInto=INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders ";

struct OfflineCubeTest : ::testing::Test {
  test::TempDir dir;
  test::RecordingList list;
  test::FixedClock clock{platform::MakeDateTime(2024, 3, 7, 9, 5, 2)};
  test::NoSleep sleeper;
  test::FakeConnectionLog connections;
  job::JobContext context{list, clock, sleeper, test::FakeConnections(connections)};
};

TEST_F(OfflineCubeTest, AssemblesTheConnectionString) {
  EXPECT_EQ(CubeConnectionString(WorkedExample()), kExampleConnectionString);
  EXPECT_EQ(CubeConnectionString(job::CubeJob{}),
            "LOCATION=; SOURCE_DSN=\"\"; CreateCube= InsertInto=  ");
}

TEST_F(OfflineCubeTest, SetsStringThenProviderThenOpensAndCloses) {
  job::CubeJob job = WorkedExample();
  job.CubeFile = "sales.cub";
  EXPECT_TRUE(BuildOfflineCube(context, job));
  ASSERT_EQ(connections.calls.size(), 4u);
  EXPECT_EQ(connections.calls[0].rfind("ConnectionString=LOCATION=sales.cub; ", 0), 0u);
  EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
  EXPECT_EQ(connections.calls[2], "Open(,,,-1)");
  EXPECT_EQ(connections.calls[3], "Close");
  EXPECT_TRUE(list.lines.empty());
}

TEST_F(OfflineCubeTest, LogsFourLinesWhenOpenFails) {
  connections.open_error = Error{"no such table: orders", -2147467259, "Cubemill Cube Engine"};
  job::CubeJob job = WorkedExample();
  job.LogDir = ".";
  EXPECT_FALSE(BuildOfflineCube(context, job));
  EXPECT_EQ(connections.calls.back(), "Open(,,,-1)");  // no Close after a failed Open
  const Lines expected{"no such table: orders", "-2147467259", "Cubemill Cube Engine",
                       "-2147467259"};
  EXPECT_EQ(list.lines, expected);
  EXPECT_EQ(test::ReadBytes("cubemill.log"),
            "2024-03-07 09:05:02;Test;no such table: orders\r\n"
            "2024-03-07 09:05:02;Test;-2147467259\r\n"
            "2024-03-07 09:05:02;Test;Cubemill Cube Engine\r\n"
            "2024-03-07 09:05:02;Test;-2147467259\r\n");
}

TEST_F(OfflineCubeTest, OtherProvidersAreNotFound) {
  job::JobContext engine{list, clock, sleeper, [] { return provider::NewEngineConnection(); }};
  job::CubeJob job = WorkedExample();
  job.Provider = "SQLOLEDB";
  EXPECT_FALSE(BuildOfflineCube(engine, job));
  EXPECT_EQ(list.lines, (Lines{"Provider cannot be found. It may not be properly installed.",
                               "-2146824582", "ADODB.Connection", "-2146824582"}));
  for (const char* name : {"MSOLAP", "msolap.2", "MSOLAP.10"})
    EXPECT_TRUE(provider::IsEngineProvider(name)) << name;
  for (const char* name : {"", "MSOLAP.", "MSOLAP.2a", "XMSOLAP", "MSOLAP 2"})
    EXPECT_FALSE(provider::IsEngineProvider(name)) << name;
}

}  // namespace
}  // namespace cubemill::oqy
