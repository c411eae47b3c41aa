// cubemill-serve as clients meet it: the real program on a loopback port, asked over HTTP, its
// answers read back as XML and compared with the query engine's own.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <pugixml.hpp>
#include <set>
#include <thread>

#include "e2e/run_cubemill.h"
#include "e2e/sample_layout.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"
#include "query/value_format.h"
#include "query_test_cube.h"
#include "serve_process.h"
#include "support/prices_cube.h"
#include "support/test_support.h"

namespace cubemill::test {
namespace {

namespace fs = std::filesystem;

std::string Execute(const std::string& catalog, const std::string& mdx,
                    const std::string& format = "Multidimensional") {
  return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
         "<Execute xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command><Statement><![CDATA[" +
         mdx + "]]></Statement></Command><Properties><PropertyList><Catalog>" + catalog +
         "</Catalog><Format>" + format +
         "</Format></PropertyList></Properties></Execute>"
         "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Discover(const std::string& rowset, const std::string& restrictions = "") {
  return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
         "<Discover xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><RequestType>" +
         rowset + "</RequestType><Restrictions><RestrictionList>" + restrictions +
         "</RestrictionList></Restrictions><Properties><PropertyList/></Properties></Discover>"
         "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

struct Answer {
  int status = 0;
  std::string body;
};

Answer Post(int port, const std::string& body, const httplib::Headers& headers = {}) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(30, 0);
  const auto result = client.Post("/xmla", headers, body, "text/xml");
  if (!result) return {0, httplib::to_string(result.error())};
  return {result->status, result->body};
}

// What a client reads of a multidimensional answer: each axis's tuples as unique names, and the
// value of each cell ordinal.
struct Dataset {
  std::vector<std::vector<std::vector<std::string>>> axes;  // Axis0, Axis1 (no slicer)
  std::map<std::size_t, std::string> cells;
  std::string fault;
  // The slicer axis's members (the server's); the WHERE clause's (the engine's).
  std::vector<std::string> slicer;
};

Dataset ReadDataset(const std::string& xml) {
  Dataset dataset;
  pugi::xml_document document;
  if (!document.load_string(xml.c_str())) {
    dataset.fault = "not XML: " + xml.substr(0, 200);
    return dataset;
  }
  if (auto fault = document.select_node("//faultstring")) {
    dataset.fault = fault.node().text().get();
    return dataset;
  }
  for (const auto& axis : document.select_nodes("//Axes/Axis")) {
    if (std::string(axis.node().attribute("name").value()) == "SlicerAxis") {
      for (const auto& name : axis.node().select_nodes("Tuples/Tuple/Member/UName"))
        dataset.slicer.push_back(name.node().text().get());
      continue;
    }
    auto& tuples = dataset.axes.emplace_back();
    for (const auto& tuple : axis.node().select_nodes("Tuples/Tuple")) {
      auto& names = tuples.emplace_back();
      for (const auto& member : tuple.node().select_nodes("Member/UName"))
        names.push_back(member.node().text().get());
    }
  }
  for (const auto& cell : document.select_nodes("//CellData/Cell"))
    dataset.cells[cell.node().attribute("CellOrdinal").as_ullong()] =
        cell.node().child("Value").text().get();
  return dataset;
}

// The query engine's answer to `mdx` as the dataset a client should read.
Dataset EngineDataset(const std::string& cube, const std::string& mdx) {
  Dataset dataset;
  auto reader = provider::cubefile::CubeReader::Open(cube);
  EXPECT_TRUE(reader);
  query::QueryOptions options;
  options.unique_names = true;
  auto result = query::EvaluateMdx(**reader, mdx, options);
  if (!result) {
    dataset.fault = result.error().description;
    return dataset;
  }
  // An axis the query does not have is one tuple of no member, which the server leaves out.
  for (const auto* axis : {&result->column_unique_names, &result->row_unique_names}) {
    if (!axis->empty() && !(axis->size() == 1 && axis->front().empty()))
      dataset.axes.push_back(*axis);
  }
  if (result->paged) dataset.axes.push_back(result->page_unique_names);
  for (const auto& tuple : result->slicer_tuples)
    dataset.slicer.insert(dataset.slicer.end(), tuple.begin(), tuple.end());
  for (std::size_t r = 0; r < result->cells.size(); ++r) {
    for (std::size_t c = 0; c < result->columns.size(); ++c) {
      const std::string text = !result->texts.empty() && !result->texts[r][c].empty()
                                   ? result->texts[r][c]
                                   : query::ValueText(result->cells[r][c]);
      if (!text.empty()) dataset.cells[r * result->columns.size() + c] = text;
    }
  }
  return dataset;
}

class ServeProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory("cubes");
    ASSERT_EQ(query::test::BuildShopCube("shop.db", "cubes/shop.cub"), "");
  }
  TempDir dir_;
};

TEST_F(ServeProgramTest, ExecuteAnswersEveryCellAsTheQueryEngineDoes) {
  ServeProcess server({"--cubes", "cubes"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const char* queries[] = {
      "SELECT {[Measures].[Qty], [Measures].[Amount], [Measures].[Top]} ON COLUMNS, "
      "[Store].[City].Members ON ROWS FROM [Shop]",
      "SELECT [Product].[Line].Members * {[Measures].[Qty]} ON 0, "
      "NON EMPTY [Time].[Month].Members ON 1 FROM [Shop] WHERE [Store].[España]",
      "WITH MEMBER [Measures].[Avg] AS [Measures].[Amount] / [Measures].[Qty], "
      "FORMAT_STRING = '0.00' MEMBER [Measures].[Label] AS '\"x<&>\"' "
      "SELECT {[Measures].[Avg], [Measures].[Label]} ON 0, [Store].[Country].Members ON 1 "
      "FROM [Shop]",
      "SELECT [Measures].[Amount] ON 0 FROM [Shop]",
      "SELECT {[Measures].[Qty]} ON 0, [Store].[Country].Members ON 1, [Time].[Year].Members "
      "ON 2 FROM [Shop] WHERE [Product].[Bikes]",
      "SELECT FROM [Shop] WHERE ([Measures].[Amount], [Store].[France])",
  };
  for (const char* mdx : queries) {
    const Answer answer = Post(server.Port(), Execute("shop", mdx));
    EXPECT_EQ(answer.status, 200) << mdx << "\n" << answer.body.substr(0, 600);
    const Dataset served = ReadDataset(answer.body);
    const Dataset expected = EngineDataset("cubes/shop.cub", mdx);
    EXPECT_EQ(served.fault, "") << mdx;
    EXPECT_EQ(served.axes, expected.axes) << mdx;
    EXPECT_EQ(served.cells, expected.cells) << mdx;
    // The slicer axis shows the WHERE clause's members, and every other hierarchy no axis shows
    // at its default member.
    for (const std::string& name : expected.slicer) {
      EXPECT_NE(std::find(served.slicer.begin(), served.slicer.end(), name), served.slicer.end())
          << mdx << ": " << name;
    }
  }
}

// The shop's Store has an ALL level, its Product and Time none: a query that names no member of
// Product or Time counts all of them, so the slicer axis may show no member of theirs (a client
// would show the cells as that member's), while the WHERE clause's members, Store's ALL
// member and the measure stand there as the cells count them.
TEST_F(ServeProgramTest, TheSlicerAxisShowsOnlyTheMembersTheCellsCount) {
  ServeProcess server({"--cubes", "cubes"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const struct {
    const char* mdx;
    std::vector<std::string> slicer;
  } cases[] = {
      {"SELECT [Measures].[Amount] ON 0 FROM [Shop]", {"[Store].[All Stores].[All Stores]"}},
      {"SELECT [Measures].[Amount] ON 0 FROM [Shop] WHERE [Time].[2024]",
       {"[Store].[All Stores].[All Stores]", "[Time].[Year].[2024]"}},
      {"SELECT [Store].[Country].Members ON 0 FROM [Shop] WHERE [Product].[Bikes]",
       {"[Product].[Line].[Bikes]", "[Measures].[Qty]"}},
      // A set in WHERE: one tuple of its own per member the cells add up.
      {"SELECT [Measures].[Amount] ON 0 FROM [Shop] WHERE {[Product].[Bikes], "
       "[Product].[Gear]]Box]}",
       {"[Store].[All Stores].[All Stores]", "[Product].[Line].[Bikes]",
        "[Store].[All Stores].[All Stores]", "[Product].[Line].[Gear]]Box]"}},
      {"WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 SELECT [Store].[Country].Members "
       "ON 0 FROM [Shop] WHERE [Measures].[Twice]",
       {"[Measures].[Twice]"}},
  };
  for (const auto& c : cases) {
    const Dataset served = ReadDataset(Post(server.Port(), Execute("shop", c.mdx)).body);
    EXPECT_EQ(served.fault, "") << c.mdx;
    EXPECT_EQ(served.slicer, c.slicer) << c.mdx;
    EXPECT_EQ(served.cells, EngineDataset("cubes/shop.cub", c.mdx).cells) << c.mdx;
  }
}

TEST_F(ServeProgramTest, DrillthroughAnswersTheLeafCellsBehindACell) {
  ServeProcess server({"--cubes", "cubes"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const Answer answer =
      Post(server.Port(), Execute("shop",
                                  "DRILLTHROUGH MAXROWS 2 SELECT FROM [Shop] WHERE "
                                  "[Store].[España] RETURN [Store].[City], "
                                  "[Measures].[Qty]"));
  ASSERT_EQ(answer.status, 200) << answer.body;
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(answer.body.c_str()));
  const auto rows = document.select_nodes("//*[local-name()='row']");
  ASSERT_EQ(rows.size(), 2u) << answer.body;
  for (const auto& row : rows) {
    const std::string city =
        row.node().child("_x005B_Store_x005D_._x005B_City_x005D_").text().get();
    EXPECT_TRUE(city == "Madrid" || city == "Sevilla") << city;
  }
}

TEST_F(ServeProgramTest, FaultsCarryTheEnginesMessageAndNoRequestReachesAFile) {
  ServeProcess server({"--cubes", "cubes", "--max-cells", "4"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  struct Case {
    std::string body;
    int status;
    std::string message;
  } cases[] = {
      {Execute("shop", "SELECT [Store].[Nowhere] ON 0 FROM [Shop]"), 500, "at 8"},
      {Execute("shop", "SELECT [Store].[City].Members ON 0 FROM [Shop]"), 500, "4"},
      {Execute("../cubes/shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]"), 500,
       "unknown catalog ../cubes/shop"},
      {Execute("/etc/passwd", "SELECT [Measures].[Qty] ON 0 FROM [Shop]"), 500,
       "unknown catalog /etc/passwd"},
      {Execute("cubes/shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]"), 500,
       "unknown catalog cubes/shop"},
      {Discover("MDSCHEMA_NOTHING"), 500, "unknown rowset MDSCHEMA_NOTHING"},
      {Discover("MDSCHEMA_CUBES", "<COLOUR>red</COLOUR>"), 500, "no restriction COLOUR"},
      {"SELECT 1", 400, "no well-formed XML"},
      {"<Envelope><Header><Session SessionId=\"" + std::string(100, 'a') +
           "\"/></Header><Body><Discover><RequestType>DBSCHEMA_CATALOGS</RequestType></Discover>"
           "</Body></Envelope>",
       500, "no session id of this server"},
      {std::string(2 << 20, ' '), 413, "larger than"},
  };
  for (const Case& c : cases) {
    const Answer answer = Post(server.Port(), c.body);
    EXPECT_EQ(answer.status, c.status) << c.body.substr(0, 200);
    EXPECT_NE(answer.body.find(c.message), std::string::npos) << c.body.substr(0, 200) << "\n"
                                                              << answer.body;
  }
  httplib::Client client("127.0.0.1", server.Port());
  const auto got = client.Get("/xmla");
  ASSERT_TRUE(got);
  EXPECT_GE(got->status, 400);
  EXPECT_EQ(server.Stop(), 0);
  // One access-log line per request, each of eight fields.
  const std::string log = server.Errors();
  EXPECT_NE(log.find(";127.0.0.1;-;shop;SELECT [Store].[Nowhere] ON 0 FROM [Shop];500;0;"),
            std::string::npos)
      << log;
}

TEST_F(ServeProgramTest, UsersAreAddedWithHashesAndRequiredOnceGiven) {
  std::string output;
  ASSERT_EQ(RunServe({"--users", "users.txt", "--add-user", "ana"}, "s3cret pass\n", output), 0)
      << output;
  const std::string users = ReadBytes("users.txt");
  EXPECT_TRUE(users.starts_with("ana:pbkdf2-sha256:")) << users;
  EXPECT_EQ(users.find("s3cret"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(::stat("users.txt", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ServeProcess server({"--cubes", "cubes", "--users", "users.txt"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const std::string mdx = Execute("shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]");
  EXPECT_EQ(Post(server.Port(), mdx).status, 401);
  const auto basic = [](const std::string& user, const std::string& password) {
    return httplib::make_basic_authentication_header(user, password);
  };
  EXPECT_EQ(Post(server.Port(), mdx, {basic("ana", "wrong")}).status, 401);
  EXPECT_EQ(Post(server.Port(), mdx, {basic("bob", "s3cret pass")}).status, 401);
  EXPECT_EQ(Post(server.Port(), mdx, {basic("ana", "s3cret pass")}).status, 200);
  server.Stop();
  EXPECT_NE(server.Errors().find(";127.0.0.1;ana;shop;"), std::string::npos);
  EXPECT_EQ(server.Errors().find("s3cret"), std::string::npos);

  // Off loopback: users and TLS, or the server does not start.
  ASSERT_EQ(RunServe({"--cubes", "cubes", "--listen", "0.0.0.0:0"}, "", output), 1);
  EXPECT_NE(output.find("needs users"), std::string::npos) << output;
  ASSERT_EQ(
      RunServe({"--cubes", "cubes", "--listen", "0.0.0.0:0", "--users", "users.txt"}, "", output),
      1);
  EXPECT_NE(output.find("needs TLS"), std::string::npos) << output;
}

TEST_F(ServeProgramTest, TlsServesHttpsAndRefusesPlainHttp) {
  // A self-signed certificate for 127.0.0.1, made for the test.
  ASSERT_EQ(std::system("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                        "-keyout key.pem -out cert.pem >openssl.log 2>&1"),
            0)
      << ReadBytes("openssl.log");
  ServeProcess server({"--cubes", "cubes", "--tls-cert", "cert.pem", "--tls-key", "key.pem"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  httplib::SSLClient tls("127.0.0.1", server.Port());
  tls.enable_server_certificate_verification(false);
  const auto answer =
      tls.Post("/xmla", Execute("shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]"), "text/xml");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(ReadDataset(answer->body).cells,
            EngineDataset("cubes/shop.cub", "SELECT [Measures].[Qty] ON 0 FROM [Shop]").cells);
  // A client speaking plain HTTP to the TLS port gets no answer.
  EXPECT_EQ(Post(server.Port(), Execute("shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]")).status,
            0);
  EXPECT_EQ(server.Stop(), 0);

  // A certificate that cannot be read stops the server before it listens.
  std::string output;
  EXPECT_EQ(RunServe({"--cubes", "cubes", "--tls-cert", "missing.pem", "--tls-key", "key.pem"}, "",
                     output),
            1);
  EXPECT_NE(output.find("cannot read the TLS certificate or key"), std::string::npos) << output;
}

TEST_F(ServeProgramTest, ASilentClientIsDroppedAndOthersAreStillServed) {
  ServeProcess server({"--cubes", "cubes", "--idle-seconds", "1", "--max-requests", "2"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  // Clients that open a connection and send half a request hold no answer back.
  std::vector<std::thread> stalls;
  for (int i = 0; i < 4; ++i) {
    stalls.emplace_back([port = server.Port()] {
      httplib::Client client("127.0.0.1", port);
      client.set_read_timeout(5, 0);
      httplib::Headers headers{{"Content-Length", "100000"}};
      client.Post("/xmla", headers, "<Envelope>", "text/xml");
    });
  }
  const auto started = std::chrono::steady_clock::now();
  const Answer answer =
      Post(server.Port(), Execute("shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]"));
  EXPECT_EQ(answer.status, 200);
  for (std::thread& stall : stalls) stall.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
  EXPECT_EQ(server.Stop(), 0);
}

// A query that computes for minutes (a sum over 200,000 tuples of sums over as many, in each row)
// is cancelled after --query-seconds; while it runs, a request past --max-requests is turned
// away at once, and once it is cancelled the server answers again.
TEST_F(ServeProgramTest, ALongQueryIsCancelledAndRequestsPastTheLimitAreTurnedAway) {
  ServeProcess server({"--cubes", "cubes", "--query-seconds", "1", "--max-requests", "1"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const std::string all =
      "CrossJoin(CrossJoin([Store].Members, [Product].Members), [Time].Members)";
  const std::string slow = "WITH MEMBER [Measures].[Slow] AS Sum(" + all + ", Sum(" + all +
                           ", [Measures].[Qty])) SELECT {[Measures].[Slow]} ON 0, " +
                           "[Time].Members ON 1 FROM [Shop]";
  const std::string quick = Execute("shop", "SELECT [Measures].[Qty] ON 0 FROM [Shop]");
  const auto started = std::chrono::steady_clock::now();
  std::atomic<bool> answered{false};
  Answer long_answer;
  // The long query asks again while the quick ones below fill the one place.
  std::thread asker([&] {
    do {
      long_answer = Post(server.Port(), Execute("shop", slow));
    } while (long_answer.status == 503);
    answered = true;
  });
  Answer turned_away;
  while (!answered.load() && turned_away.status != 503) {
    turned_away = Post(server.Port(), quick);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  asker.join();
  EXPECT_EQ(turned_away.status, 503) << turned_away.body;
  EXPECT_NE(ReadDataset(turned_away.body).fault.find("answering 1 request already"),
            std::string::npos)
      << turned_away.body;
  EXPECT_EQ(ReadDataset(long_answer.body).fault,
            "the query ran longer than 1 second and was cancelled");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(Post(server.Port(), quick).status, 200);
  EXPECT_EQ(server.Stop(), 0);
}

// Totals of the prices cube as a client reads them; for a failed request "failed: " and why.
std::string Total(int port) {
  const Answer answer =
      Post(port, Execute("prices", "SELECT [Measures].[Units] ON 0 FROM [Sales]"));
  const Dataset dataset = ReadDataset(answer.body);
  if (answer.status != 200 || !dataset.fault.empty() || dataset.cells.size() != 1)
    return "failed: " + std::to_string(answer.status) + " " +
           (dataset.fault.empty() ? answer.body.substr(0, 200) : dataset.fault);
  return dataset.cells.begin()->second;
}

TEST(ServeSwapTest, ACubeReplacedUnderLoadIsServedWholeFromTheNextRequestOn) {
  TempDir dir;
  fs::create_directory("first");
  fs::create_directory("second");
  const PricesCube first = BuildPricesCube("first", 1, 2000);
  const PricesCube second = BuildPricesCube("second", 2, 3000);
  ASSERT_EQ(first.error, "");
  ASSERT_EQ(second.error, "");
  fs::create_directory("served");
  fs::copy_file(first.cube, "served/prices.cub");
  ServeProcess server({"--cubes", "served"});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const std::string first_total = Total(server.Port());
  ASSERT_FALSE(first_total.starts_with("failed")) << first_total;

  // Clients ask while the cube is replaced, as a nightly run replaces it (a complete file renamed
  // over the old one): every answer is the old cube's or the new one's, none fails.
  std::atomic<bool> swapping{true};
  std::atomic<int> failed{0}, answered{0};
  std::set<std::string> seen;
  std::mutex seen_mutex;
  std::vector<std::thread> clients;
  for (int i = 0; i < 4; ++i) {
    clients.emplace_back([&] {
      while (swapping.load()) {
        const std::string total = Total(server.Port());
        ++answered;
        if (total.starts_with("failed")) {
          ++failed;
          ADD_FAILURE() << total;
        }
        const std::lock_guard<std::mutex> lock(seen_mutex);
        seen.insert(total);
      }
    });
  }
  for (int swap = 0; swap < 10; ++swap) {
    const PricesCube& next = swap % 2 == 0 ? second : first;
    fs::copy_file(next.cube, "served/prices.cub.tmp-swap", fs::copy_options::overwrite_existing);
    fs::rename("served/prices.cub.tmp-swap", "served/prices.cub");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  swapping = false;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(failed.load(), 0) << answered.load() << " answered";
  EXPECT_LE(seen.size(), 2u) << ::testing::PrintToString(seen);
  // The last swap put the first cube back; a new request sees it.
  EXPECT_EQ(Total(server.Port()), first_total);
  fs::copy_file(second.cube, "served/prices.cub.tmp-swap", fs::copy_options::overwrite_existing);
  fs::rename("served/prices.cub.tmp-swap", "served/prices.cub");
  EXPECT_NE(Total(server.Port()), first_total);
}

// The catalogs of the settings file's jobs: each job's newest stamped cube, a newer one served
// from the next request on; a job without a cube yet listed and refused with a fault.
TEST(ServeJobsTest, EachJobServesItsNewestStampedCube) {
  TempDir dir;
  LayOutSample();
  ASSERT_EQ(RunCubemill("--no-wait Test").status, 0);
  ServeProcess server({"-C", fs::current_path().string()});
  ASSERT_TRUE(server.Listening()) << server.Errors();
  const Answer catalogs = Post(server.Port(), Discover("DBSCHEMA_CATALOGS"));
  EXPECT_NE(catalogs.body.find("<CATALOG_NAME>Test</CATALOG_NAME>"), std::string::npos);
  EXPECT_NE(catalogs.body.find("<CATALOG_NAME>Test2</CATALOG_NAME>"), std::string::npos);
  const std::string mdx = "SELECT [Measures].[Quantity] ON 0 FROM [OCWCube]";
  const std::string before = Post(server.Port(), Execute("Test", mdx)).body;
  EXPECT_NE(before.find("CellOrdinal"), std::string::npos) << before;
  EXPECT_NE(Post(server.Port(), Execute("Test2", mdx)).body.find("faultstring"), std::string::npos);

  // The next night: more sales, a newer stamped cube (stamps have seconds: one second later).
  RunSqlite("../data/sales.db",
            "INSERT INTO sales (sale_date, city_id, product_id, quantity, amount) "
            "SELECT sale_date, city_id, product_id, quantity, amount FROM sales "
            "LIMIT 100");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(RunCubemill("--no-wait Test").status, 0);
  const Dataset after = ReadDataset(Post(server.Port(), Execute("Test", mdx)).body);
  const Dataset first = ReadDataset(before);
  ASSERT_EQ(after.fault, "");
  ASSERT_EQ(after.cells.size(), 1u);
  ASSERT_EQ(first.cells.size(), 1u);
  EXPECT_GT(std::stoll(after.cells.begin()->second), std::stoll(first.cells.begin()->second));
}

}  // namespace
}  // namespace cubemill::test
