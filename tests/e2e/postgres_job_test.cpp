// Cubes that the built program makes from a PostgreSQL server through psqlODBC, with the rows
// aggregated by the engine (AGGREGATE=CLIENT) or by the server (AGGREGATE=SOURCE, and by default,
// since PostgreSQL is a server): the totals are the server's own, both ways give the same cube,
// and the password of the connection goes nowhere but the OQY file.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/postgres_jobs.h"
#include "e2e/run_cubemill.h"
#include "provider/connection/source_aggregation.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "support/postgres_server.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const char kClusterScript[] = CUBEMILL_SOURCE_DIR "/scripts/pg-cluster.sh";

// One server for the whole program, started before its first test and stopped after its last.
test::PostgresEnvironment* const environment = static_cast<test::PostgresEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new test::PostgresEnvironment(kClusterScript, {})));

const test::PostgresServer& Server() {
  static const test::PostgresServer server(kClusterScript, environment->servers_dir());
  return server;
}

// 20,000 orders on 24 days over two years, seven places (one without a country, one without a
// city, names beyond ASCII) and five products, so that a cell holds about 24 orders; amounts in
// cents, some negative; a discount on two of three. Analyzed, so that the server's planner knows
// how many rows and distinct values the table has.
const char kOrdersTable[] = R"(
DROP TABLE IF EXISTS orders;
CREATE TABLE orders (
  order_date DATE NOT NULL,
  country VARCHAR(30),
  city TEXT,
  product VARCHAR(20) NOT NULL,
  quantity INTEGER NOT NULL,
  amount NUMERIC(12,2) NOT NULL,
  discount NUMERIC(12,2)
);
INSERT INTO orders
SELECT DATE '2023-01-05' + (i % 24) * 30, place.country, place.city,
       'Product ' || (i / 7) % 5,
       1 + (i * 13) % 9,
       CASE WHEN i % 11 = 0 THEN -1 ELSE 1 END * ((i * 7919) % 100000) / 100.0,
       CASE WHEN (i / 24) % 3 = 0 THEN NULL ELSE (i % 50) / 4.0 END
FROM generate_series(1, 20000) AS i
JOIN (VALUES (0, 'Deutschland', 'München'), (1, 'Deutschland', 'Köln'),
             (2, 'Schweiz', 'Zürich'), (3, 'Polska', 'Łódź'), (4, 'Brasil', 'São Paulo'),
             (5, NULL, 'Atlantis'), (6, 'Ελλάδα', NULL)) AS place(k, country, city)
  ON place.k = i % 7;
ANALYZE orders;
)";

const char kOrdersCube[] =
    "CREATE CUBE [Orders] ( DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, "
    "LEVEL [Month] TYPE MONTH, DIMENSION [Geography], LEVEL [Country], LEVEL [City], "
    "DIMENSION [Product], LEVEL [Product], MEASURE [Quantity] FUNCTION SUM, "
    "MEASURE [Amount] FUNCTION SUM, MEASURE [Discounts] FUNCTION COUNT, "
    "MEASURE [Smallest] FUNCTION MIN, MEASURE [Largest] FUNCTION MAX )";
const char kOrdersInsert[] =
    "INSERT INTO Orders([Time], [Geography].[Country], [Geography].[City], [Product].[Product], "
    "Measures.[Quantity], Measures.[Amount], Measures.[Discounts], Measures.[Smallest], "
    "Measures.[Largest]) SELECT order_date, country, city, product, quantity, amount, discount, "
    "amount, amount FROM orders";

// Totals per place and per month, asked of the cube (a NULL member's caption is empty; money to
// the cent) and of the server (where no order of a group has a discount, the cube's cells hold
// NULL, not a count of 0).
const char kCubePlaceTotals[] =
    "SELECT \"Geography.Country\", \"Geography.City\", SUM(\"Quantity\"), "
    "printf('%.2f', SUM(\"Amount\")), SUM(\"Discounts\"), printf('%.2f', MIN(\"Smallest\")), "
    "printf('%.2f', MAX(\"Largest\")) FROM cube_flat GROUP BY 1, 2 ORDER BY 1, 2";
const char kServerPlaceTotals[] =
    "SELECT COALESCE(country, ''), COALESCE(city, ''), SUM(quantity), SUM(amount), "
    "NULLIF(COUNT(discount), 0), MIN(amount), MAX(amount) FROM orders GROUP BY 1, 2 ORDER BY 1, 2";
const char kCubeMonthTotals[] =
    "SELECT \"Time.Year\", \"Time.Month\", \"Product.Product\", SUM(\"Quantity\"), "
    "printf('%.2f', SUM(\"Amount\")), SUM(\"Discounts\") FROM cube_flat GROUP BY 1, 2, 3 "
    "ORDER BY 1, 2, 3";
const char kServerMonthTotals[] =
    "SELECT EXTRACT(YEAR FROM order_date)::integer::text, to_char(order_date, 'FMMonth'), "
    "product, SUM(quantity), SUM(amount), NULLIF(COUNT(discount), 0) FROM orders GROUP BY 1, 2, 3 "
    "ORDER BY 1, 2, 3";

// Where each build aggregates, as cubemill.ini says it, and the line the build then shows.
struct Way {
  const char* aggregate;  // the AGGREGATE key ("" for none)
  const char* line;       // the progress line
};
const Way kClient{"CLIENT", "Aggregation: client"};
const Way kSource{"SOURCE", "Aggregation: source"};
// Without the key a server groups the rows where its planner expects groups of several rows, as
// the orders table's are.
const Way kDefault{"", "Aggregation: source"};

// Builds the cube of `create` and `insert` from the server both ways, into CLIENT.cub and
// SOURCE.cub, and expects each build to run clean and say which way it aggregated.
void BuildClientAndSource(const std::string& create, const std::string& insert) {
  for (const Way& way : {kClient, kSource}) {
    test::WriteJob(way.aggregate, std::string(way.aggregate) + ".cub", create, insert,
                   Server().OdbcConnection());
    const test::RunResult run = test::RunJob();
    ASSERT_EQ(run.status, 0) << testing::PrintToString(run.lines);
    EXPECT_EQ(test::AggregationLines(run), Lines{way.line});
  }
}

std::string WayName(const ::testing::TestParamInfo<Way>& info) {
  return *info.param.aggregate ? info.param.aggregate : "Default";
}

class PostgresJobTest : public ::testing::TestWithParam<Way> {
 protected:
  static void SetUpTestSuite() { Server().Psql(kOrdersTable); }

  // Builds `cube_file` from the orders table the way `way` says and expects a clean run that
  // says where it aggregated.
  test::RunResult BuildOrders(const Way& way, const std::string& cube_file) {
    test::WriteJob(way.aggregate, cube_file, kOrdersCube, kOrdersInsert, Server().OdbcConnection());
    test::RunResult run = test::RunJob();
    EXPECT_EQ(run.status, 0) << testing::PrintToString(run.lines)
                             << testing::PrintToString(run.errors);
    EXPECT_EQ(test::AggregationLines(run), Lines{way.line}) << testing::PrintToString(run.lines);
    return run;
  }

  test::TempDir dir;
};

// The cube's totals per place and per month and product are those the server computes, COUNT
// of a column with NULLs, MIN and MAX of negative and positive amounts included; the cube counts
// every source row.
TEST_P(PostgresJobTest, CubeHasTheServersTotals) {
  BuildOrders(GetParam(), "orders.cub");
  EXPECT_EQ(test::QuerySqlite("orders.cub", kCubePlaceTotals), Server().Psql(kServerPlaceTotals));
  EXPECT_EQ(test::QuerySqlite("orders.cub", kCubeMonthTotals), Server().Psql(kServerMonthTotals));
  EXPECT_EQ(test::QuerySqlite("orders.cub", "SELECT source_rows FROM cube"),
            Server().Psql("SELECT COUNT(*) FROM orders"));
}

// The connection's password is in the OQY file and nowhere else: not in the progress list, on
// standard error, in the run log or anywhere in the cube file.
TEST_P(PostgresJobTest, PasswordStaysInTheOqyFile) {
  const std::string password = Server().password();
  ASSERT_GE(password.size(), 16u);
  const test::RunResult run = BuildOrders(GetParam(), "orders.cub");
  EXPECT_NE(test::ReadBytes("job.oqy").find(password), std::string::npos);
  for (const Lines* lines : {&run.lines, &run.errors}) {
    for (const std::string& line : *lines)
      EXPECT_EQ(line.find(password), std::string::npos) << line;
  }
  EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& line) {
    return line.find("Pwd=***") != std::string::npos;
  })) << testing::PrintToString(run.lines);
  const std::string log = test::ReadBytes("log/cubemill.log");
  EXPECT_NE(log.find("Cube Creation OK"), std::string::npos) << log;
  EXPECT_EQ(log.find(password), std::string::npos) << log;
  const std::string cube = test::ReadBytes("orders.cub");
  EXPECT_FALSE(cube.empty());
  EXPECT_EQ(cube.find(password), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Aggregation, PostgresJobTest,
                         ::testing::Values(kClient, kSource, kDefault), WayName);

class PostgresMeasuresTest : public PostgresJobTest {};

// COUNT, MIN, MAX and SUM cell by cell: a cell whose rows have no value for a measure holds
// NULL, however the rows were grouped; COUNT counts values, not rows.
TEST_P(PostgresMeasuresTest, CountMinAndMaxOverNulls) {
  Server().Psql(
      "DROP TABLE IF EXISTS readings;"
      "CREATE TABLE readings (region TEXT, station TEXT, reading NUMERIC(12,2), note TEXT);"
      "INSERT INTO readings VALUES ('Nord', 'A', 1.50, 'x'), ('Nord', 'A', -2.25, NULL),"
      "  ('Nord', 'B', NULL, NULL), ('Nord', 'B', NULL, NULL), ('Süd', 'C', 10.00, 'y'),"
      "  ('Süd', 'C', 10.00, 'z'), ('Süd', NULL, 3.10, NULL);");
  test::WriteJob(
      GetParam().aggregate, "readings.cub",
      "CREATE CUBE [Readings] ( DIMENSION [Place], LEVEL [Region], LEVEL [Station], "
      "MEASURE [Notes] FUNCTION COUNT, MEASURE [Readings] FUNCTION COUNT, "
      "MEASURE [Low] FUNCTION MIN, MEASURE [High] FUNCTION MAX, MEASURE [Total] FUNCTION SUM )",
      "INSERT INTO Readings([Place].[Region], [Place].[Station], Measures.[Notes], "
      "Measures.[Readings], Measures.[Low], Measures.[High], Measures.[Total]) "
      "SELECT region, station, note, reading, reading, reading, reading FROM readings",
      Server().OdbcConnection());
  const test::RunResult run = test::RunJob();
  ASSERT_EQ(run.status, 0) << testing::PrintToString(run.lines);
  EXPECT_EQ(test::AggregationLines(run), Lines{GetParam().line});
  EXPECT_EQ(test::QuerySqlite("readings.cub",
                              "SELECT \"Place.Region\", \"Place.Station\", \"Notes\", "
                              "\"Readings\", \"Low\", \"High\", \"Total\" FROM cube_flat "
                              "ORDER BY 1, 2"),
            (test::Rows{{"Nord", "A", "1", "2", "-2.25", "1.5", "-0.75"},
                        {"Nord", "B", "NULL", "NULL", "NULL", "NULL", "NULL"},
                        {"Süd", "", "NULL", "1", "3.1", "3.1", "3.1"},
                        {"Süd", "C", "2", "2", "10.0", "10.0", "20.0"}}));
  EXPECT_EQ(test::QuerySqlite("readings.cub", "SELECT source_rows FROM cube"), (test::Rows{{"7"}}));
}

INSTANTIATE_TEST_SUITE_P(Aggregation, PostgresMeasuresTest, ::testing::Values(kClient, kSource),
                         WayName);

// Grouped by the server or read row by row, the same source gives the same cube: the same
// members, cells and flat rows (sums of reals may differ in their last bits, having been added
// in another order), the same row count and the same warnings.
TEST(PostgresAggregationTest, ClientAndSourceBuildTheSameCube) {
  test::TempDir dir;
  Server().Psql(kOrdersTable);
  ASSERT_NO_FATAL_FAILURE(BuildClientAndSource(kOrdersCube, kOrdersInsert));
  // The largest sum of amounts' magnitudes in one cell bounds the partial sums of every cell.
  const double scale =
      std::stod(Server()
                    .Psql("SELECT MAX(s) FROM (SELECT SUM(ABS(amount)) AS s FROM orders "
                          "GROUP BY order_date, country, city, product) AS cells")
                    .at(0)
                    .at(0));
  for (const char* query : {"SELECT * FROM members ORDER BY id", "SELECT * FROM cells ORDER BY id",
                            "SELECT * FROM cube_flat", "SELECT source_rows, cell_count FROM cube",
                            "SELECT 0, 'none' UNION ALL SELECT * FROM warnings ORDER BY 1"}) {
    test::ExpectSameResult("CLIENT.cub", "SOURCE.cub", query, scale);
  }
}

// The server sums INTEGER, BIGINT, NUMERIC and DOUBLE PRECISION as they are and REAL as doubles
// (its own SUM of REAL keeps single precision): every value is a multiple of 1/8 that a double
// adds exactly in any order, so both ways give the same sums to the last bit, where a single
// precision sum of 10,000 values near 1,000 would be off by whole units.
TEST(PostgresAggregationTest, RealSumsAsPreciseAsTheEngines) {
  test::TempDir dir;
  Server().Psql(
      "DROP TABLE IF EXISTS gauges;"
      "CREATE TABLE gauges (site TEXT, r REAL, d DOUBLE PRECISION, b BIGINT, n NUMERIC(14,4),"
      "  i INTEGER);"
      "INSERT INTO gauges SELECT 'Site ' || i % 3, 1000 + (i % 1000) / 8.0, (i % 997) / 4.0,"
      "  i * 1000003::bigint, (i % 9973) / 8.0, i % 50 FROM generate_series(1, 30000) AS i;"
      "ANALYZE gauges;");
  const std::string create =
      "CREATE CUBE [Gauges] ( DIMENSION [Site], LEVEL [Site], "
      "MEASURE [R] FUNCTION SUM TYPE DBTYPE_R8, MEASURE [D] FUNCTION SUM TYPE DBTYPE_R8, "
      "MEASURE [B] FUNCTION SUM TYPE DBTYPE_R8, MEASURE [N] FUNCTION SUM TYPE DBTYPE_R8, "
      "MEASURE [I] FUNCTION SUM TYPE DBTYPE_R8 )";
  const std::string insert =
      "INSERT INTO Gauges([Site].[Site], Measures.[R], Measures.[D], Measures.[B], "
      "Measures.[N], Measures.[I]) SELECT site, r, d, b, n, i FROM gauges";
  ASSERT_NO_FATAL_FAILURE(BuildClientAndSource(create, insert));
  test::ExpectSameResult("CLIENT.cub", "SOURCE.cub", "SELECT * FROM cube_flat ORDER BY 1", 1.0);
  EXPECT_EQ(test::QuerySqlite("SOURCE.cub", "SELECT SUM(\"R\") FROM cube_flat"),
            (test::Rows{{"31873125.0"}}));
}

// The server groups a TIME column on the first day of its month, quarter or year when no level
// needs the day, and adds a real measure as doubles: whether the column is a DATE, a TIMESTAMP,
// a TIMESTAMP WITH TIME ZONE or text, NULL dates included, the cube is the one read row by row.
TEST(PostgresAggregationTest, CalendarLevelsGroupTheSameFromEveryKindOfDate) {
  test::TempDir dir;
  Server().Psql(
      "DROP TABLE IF EXISTS visits;"
      "CREATE TABLE visits (day DATE, at TIMESTAMP, at_zone TIMESTAMPTZ, noted TEXT, "
      "  site TEXT, fee NUMERIC(10,2), minutes INTEGER);"
      "INSERT INTO visits SELECT d, d + (i % 24) * INTERVAL '1 hour', d + (i % 24) * "
      "  INTERVAL '1 hour', to_char(d, 'YYYY-MM-DD'), 'Site ' || i % 4, (i % 1000) / 8.0, i % 90"
      "  FROM (SELECT i, CASE WHEN i % 97 = 0 THEN NULL ELSE DATE '2022-11-20' + i % 500 END AS d"
      "        FROM generate_series(1, 6000) AS i) AS days;"
      "ANALYZE visits;");
  const struct {
    const char* levels;  // the TIME dimension's levels
    const char* column;  // the column that feeds it
  } cases[] = {
      {"LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH", "at"},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH", "at_zone"},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER", "noted"},
      {"LEVEL [Year] TYPE YEAR", "day"},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH, LEVEL [Day] TYPE DAY", "at"},
  };
  for (const auto& c : cases) {
    const std::string create =
        std::string("CREATE CUBE [Visits] ( DIMENSION [Time] TYPE TIME, ") + c.levels +
        ", DIMENSION [Site], LEVEL [Site], MEASURE [Fee] FUNCTION SUM TYPE DBTYPE_R8, "
        "MEASURE [Minutes] FUNCTION SUM TYPE DBTYPE_I4, MEASURE [Longest] FUNCTION MAX )";
    const std::string insert = std::string(
                                   "INSERT INTO Visits([Time], [Site].[Site], Measures.[Fee], "
                                   "Measures.[Minutes], Measures.[Longest]) SELECT ") +
                               c.column + ", site, fee, minutes, minutes FROM visits";
    SCOPED_TRACE(c.column);
    ASSERT_NO_FATAL_FAILURE(BuildClientAndSource(create, insert));
    // Both ways of grouping by period give the server's same groups (the sums of fees, added in
    // another order, to their last bits).
    auto schema = provider::ddl::ParseCreateCube(create);
    ASSERT_TRUE(schema.ok()) << schema.error().description;
    auto parsed = provider::ddl::ParseInsertInto(insert, *schema);
    ASSERT_TRUE(parsed.ok()) << parsed.error().description;
    const auto ways = provider::connection::PeriodGroupingStatements(*parsed, *schema);
    if (!ways.empty()) {
      auto groups = [](const std::string& statement) {
        return Server().Psql("SELECT a, b, round(CAST(c AS NUMERIC), 6), d, e, f FROM (" +
                             statement + ") AS g(a, b, c, d, e, f) ORDER BY 1, 2");
      };
      EXPECT_EQ(groups(ways[0]), groups(ways[1])) << c.column;
    }
    for (const char* query :
         {"SELECT * FROM members ORDER BY id", "SELECT * FROM cells ORDER BY id",
          "SELECT source_rows, cell_count FROM cube",
          "SELECT 0, 'none' UNION ALL SELECT * FROM warnings ORDER BY 1"}) {
      test::ExpectSameResult("CLIENT.cub", "SOURCE.cub", query, 6000 * 125.0);
    }
  }
}

// Without the key, a source whose planner expects about one row per group (a level fed by a
// column of unique values) is read row by row, and its cube is the same.
TEST(PostgresAggregationTest, DefaultReadsEveryRowWhereGroupsWouldHoldOneRowEach) {
  test::TempDir dir;
  Server().Psql(
      "DROP TABLE IF EXISTS tickets;"
      "CREATE TABLE tickets (ticket_id INTEGER PRIMARY KEY, desk TEXT, price NUMERIC(12,2));"
      "INSERT INTO tickets SELECT i, 'Desk ' || i % 3, (i % 100) / 4.0"
      "  FROM generate_series(1, 3000) AS i;"
      "ANALYZE tickets;");
  test::WriteJob("", "tickets.cub",
                 "CREATE CUBE [Tickets] ( DIMENSION [Desk], LEVEL [Desk], LEVEL [Ticket], "
                 "MEASURE [Price] FUNCTION SUM )",
                 "INSERT INTO Tickets([Desk].[Desk], [Desk].[Ticket], Measures.[Price]) "
                 "SELECT desk, ticket_id, price FROM tickets",
                 Server().OdbcConnection());
  const test::RunResult run = test::RunJob();
  ASSERT_EQ(run.status, 0) << testing::PrintToString(run.lines);
  EXPECT_EQ(test::AggregationLines(run), Lines{"Aggregation: client"});
  EXPECT_EQ(test::QuerySqlite("tickets.cub",
                              "SELECT \"Desk.Desk\", COUNT(*), printf('%.2f', SUM(\"Price\")) "
                              "FROM cube_flat GROUP BY 1 ORDER BY 1"),
            Server().Psql("SELECT desk, COUNT(*), SUM(price) FROM tickets GROUP BY 1 ORDER BY 1"));
}

// True when a server accepts TCP connections on 127.0.0.1:`port`.
bool Accepts(int port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return connected;
}

// The server of scripts/pg-cluster.sh takes connections on 127.0.0.1 alone (and on its socket,
// through which Psql reaches it), and over TCP only with the role's password.
TEST(PgClusterScriptTest, ServerListensOnLoopbackAndAsksForThePassword) {
  EXPECT_EQ(Server().Psql("SHOW listen_addresses"), (test::Rows{{"127.0.0.1"}}));
  // psql reads the password from a password file, which keeps it off every command line.
  test::TempDir dir;
  const auto login = [](const std::string& password) {
    test::WriteBytes("pgpass", "127.0.0.1:" + Server().port() + ":cubemill:cubemill:" + password);
    fs::permissions("pgpass", fs::perms::owner_read | fs::perms::owner_write);
    return test::RunCommand("PGPASSFILE=pgpass psql -X -A -t -w -h 127.0.0.1 -p " +
                            Server().port() + " -U cubemill -d cubemill -c 'SELECT current_user'");
  };
  const test::CommandOutput right = login(Server().password());
  EXPECT_EQ(right.status, 0) << right.text;
  EXPECT_EQ(right.text, "cubemill\n");
  const test::CommandOutput wrong = login("wrong");
  EXPECT_NE(wrong.status, 0);
  EXPECT_NE(wrong.text.find("password authentication failed"), std::string::npos) << wrong.text;
}

// A caller killed before it stops its server (a test killed by a timeout, say) leaves none
// behind: the watcher stops the server and removes its directory.
TEST(PgClusterScriptTest, ServerOfAKilledCallerStops) {
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add);
  const pid_t caller = ::fork();
  ASSERT_GE(caller, 0);
  if (caller == 0) {
    ::execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::string server_dir = dir.File("server");
  const test::CommandOutput started =
      test::RunCommand(test::ShellQuoted(kClusterScript) + " start " +
                       test::ShellQuoted(server_dir) + " --watch " + std::to_string(caller));
  ASSERT_EQ(started.status, 0) << started.text;
  const int port = std::stoi(test::PostgresServer(kClusterScript, server_dir).port());
  EXPECT_TRUE(Accepts(port));

  ::kill(caller, SIGKILL);
  ::waitpid(caller, nullptr, 0);
  for (int wait = 0; wait < 600 && fs::exists(server_dir); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(server_dir));
  EXPECT_FALSE(Accepts(port));
  test::RunCommand(test::ShellQuoted(kClusterScript) + " stop " + test::ShellQuoted(server_dir));
}

// Stopping removes the directory of a server, so the script refuses a directory that it did not
// make, whatever is in it.
TEST(PgClusterScriptTest, StopLeavesAlienDirectoriesAlone) {
  test::TempDir dir;
  fs::create_directories("data");
  test::WriteBytes("data/keep.txt", "precious");
  const test::CommandOutput stopped =
      test::RunCommand(test::ShellQuoted(kClusterScript) + " stop data");
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.text.find("was not made by pg-cluster.sh start"), std::string::npos)
      << stopped.text;
  EXPECT_EQ(test::ReadBytes("data/keep.txt"), "precious");
}

}  // namespace
}  // namespace cubemill
