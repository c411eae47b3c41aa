// Checks the quick-start sample: its database script and OQY file fit together, and the
// SELECT of the OQY file runs through the SQLite ODBC driver from the sample's run directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "provider/source/odbc_source.h"
#include "provider/source/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

const std::string kSampleDir = std::string(CUBEMILL_SOURCE_DIR) + "/sample";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The text after `key` up to `terminator`, both searched without letter case from the start
// of the line, the way the OQY reader cuts its values.
std::string Cut(const std::string& line, const std::string& key, const std::string& terminator) {
  const std::string upper = Upper(line);
  const std::size_t start = upper.find(Upper(key));
  if (start == std::string::npos) return "";
  const std::size_t from = start + key.size();
  const std::size_t end = upper.find(Upper(terminator), from);
  return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string ConnectionLine() {
  const std::string bytes = test::ReadBytes(kSampleDir + "/OQY-Dateien/rel01/Output_Detail.oqy");
  std::string found;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Upper(line).find("CONNECTION=") != std::string::npos) found = line;
    pos = end + 1;
  }
  return found;
}

// Number of targets in the parenthesised list of an INSERT INTO text.
std::size_t TargetCount(const std::string& insert_into) {
  const std::size_t open = insert_into.find('(');
  const std::size_t close = insert_into.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return 0;
  std::size_t count = 1;
  bool in_brackets = false;
  for (std::size_t i = open + 1; i < close; ++i) {
    if (insert_into[i] == '[') in_brackets = true;
    if (insert_into[i] == ']') in_brackets = false;
    if (insert_into[i] == ',' && !in_brackets) ++count;
  }
  return count;
}

TEST(SampleJobTest, ConnectionLineCutsIntoCompleteStatements) {
  const std::string line = ConnectionLine();
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(Cut(line, "Provider=", ";"), "MSOLAP");
  EXPECT_EQ(Cut(line, "Data Source=", ";"), "..\\OQY-Dateien\\rel01\\Output_Detail.cub");
  const std::string create = Cut(line, "CreateCube=", ";");
  EXPECT_EQ(create.rfind("CREATE CUBE [OCWCube] (", 0), 0u) << create;
  EXPECT_EQ(create.back(), ')') << create;
  const std::string insert = Cut(line, "InsertInto=", "SELECT");
  EXPECT_EQ(insert.rfind("INSERT INTO OCWCube(", 0), 0u) << insert;
  EXPECT_EQ(insert.substr(insert.size() - 2), ") ") << insert;
  EXPECT_EQ(TargetCount(insert), 8u);
  EXPECT_EQ(Cut(line, "Source_DSN=\"", "\""), "DRIVER=SQLite3;Database=../data/sales.db");
}

TEST(SampleJobTest, SelectRunsThroughTheOdbcDriverFromTheRunDirectory) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  std::filesystem::create_directories(dir.path() / "run");
  test::RunSqlite(dir.File("data/sales.db"), test::ReadBytes(kSampleDir + "/make_sample_db.sql"));
  std::filesystem::current_path(dir.path() / "run");

  const std::string line = ConnectionLine();
  const std::string select = "SELECT " + Cut(line, "SELECT ", ";");
  auto source = OdbcSource::Open(
      Cut(line, "Source_DSN=\"", "\""), select,
      {ColumnHint::kDateTime, ColumnHint::kAny, ColumnHint::kAny, ColumnHint::kAny,
       ColumnHint::kAny, ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kAny});
  ASSERT_TRUE(source.ok()) << source.error().description;
  EXPECT_EQ((*source)->ColumnCount(), TargetCount(Cut(line, "InsertInto=", "SELECT")));
  EXPECT_EQ((*source)->FetchBlockRows(), kFetchBlockRows);

  std::vector<Value> row;
  std::int64_t rows = 0, quantity = 0;
  int first_year = 9999, last_year = 0;
  for (;;) {
    auto more = (*source)->NextRow(row);
    ASSERT_TRUE(more.ok()) << more.error().description;
    if (!*more) break;
    ++rows;
    const Date& date = std::get<Date>(row[0]);
    first_year = std::min(first_year, date.year);
    last_year = std::max(last_year, date.year);
    for (std::size_t c = 1; c <= 4; ++c)
      EXPECT_TRUE(std::holds_alternative<std::string_view>(row[c]));
    quantity += std::get<std::int64_t>(row[5]);
    EXPECT_GT(std::get<double>(row[6]), 0.0);
    EXPECT_TRUE(std::holds_alternative<std::int64_t>(row[7]));
  }
  EXPECT_EQ(rows, 3000);
  EXPECT_EQ(quantity, 9000);
  EXPECT_EQ(first_year, 2023);
  EXPECT_EQ(last_year, 2025);
}

}  // namespace
}  // namespace cubemill::provider::source
