#include "provider/connection/connection_string.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "provider/ddl/create_cube_parser.h"
#include "provider/engine_error.h"

namespace cubemill::provider::connection {
namespace {

TEST(ConnectionStringTest, ReadsTheStringTheBuildAssembles) {
  auto properties = ReadEngineProperties(
      "LOCATION=C:\\Cubes\\sales.cub; SOURCE_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;"
      "UID=reader\"; CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] ); "
      "InsertInto=INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders ");
  ASSERT_TRUE(properties.ok()) << properties.error().description;
  EngineProperties expected;
  expected.location = "C:\\Cubes\\sales.cub";
  expected.source_dsn = "DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader";
  expected.create_cube = "CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] )";
  expected.insert_into = "INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders";
  EXPECT_EQ(*properties, expected);
}

TEST(ConnectionStringTest, SplitsPairsQuotesAndNames) {
  const struct {
    const char* text;
    const char* name;
    std::optional<std::string> value;
  } cases[] = {
      {"a=1;b=2", "B", "2"},
      {"  Data Source = x.cub ;", "DATASOURCE", "x.cub"},
      {"DataSource=x.cub", "data source", "x.cub"},
      {"Use Existing File=Yes", "USEEXISTINGFILE", "Yes"},
      {"k=\"a;b \"\"c\"\"\";z=1", "K", "a;b \"c\""},
      {"k='it''s;here' ; z=1", "k", "it's;here"},
      {"k= \"quoted\" tail ;z=1", "k", "quoted tail"},
      {"k=\" a; \"", "k", " a; "},
      {"k=WHERE a.id = b.id", "k", "WHERE a.id = b.id"},
      {";;k=v;;", "k", "v"},
      {"k=1;K=2;k = 3", "k", "3"},
      {"k=;z=1", "k", ""},
      {"junk;k=v", "junk", std::nullopt},
      {"k=v", "missing", std::nullopt},
      {"=v;k=w", "", std::nullopt},
      {"\fk\r\n=\t v \f;z=1", "k", "v"},
  };
  for (const auto& c : cases) {
    const ConnectionProperties properties = ConnectionProperties::Parse(c.text);
    EXPECT_EQ(properties.Get(c.name), c.value) << c.text;
    EXPECT_EQ(properties.problem(), "") << c.text;
  }
}

TEST(ConnectionStringTest, ReportsQuoteNeverClosed) {
  const ConnectionProperties properties =
      ConnectionProperties::Parse("LOCATION=x; SOURCE_DSN=\"DSN=a;CreateCube=CREATE CUBE");
  EXPECT_EQ(properties.problem(),
            "the value of SOURCE_DSN opens a quote at position 24 that is never closed");
}

const char* const kStatements = "; CreateCube=CREATE CUBE x; InsertInto=INSERT INTO x";

TEST(ConnectionStringTest, PrefersLocationAndReadsOptionalProperties) {
  auto properties = ReadEngineProperties(
      std::string("Data Source=a.cub; LOCATION=b.cub; Source_DSN=Sales; SOURCE_UID=u;"
                  " source_pwd=p; SOURCE_DSN_SUFFIX=\"Prompt=CompleteRequired;Window "
                  "Handle=0x1\"; Provider=MSOLAP.2") +
      kStatements);
  ASSERT_TRUE(properties.ok()) << properties.error().description;
  EXPECT_EQ(properties->location, "b.cub");
  EXPECT_EQ(properties->source_dsn, "Sales");
  EXPECT_EQ(properties->source_uid, "u");
  EXPECT_EQ(properties->source_pwd, "p");
  EXPECT_EQ(properties->source_dsn_suffix, "Prompt=CompleteRequired;Window Handle=0x1");

  auto data_source = ReadEngineProperties(std::string("LOCATION=; DATASOURCE=a.cub; "
                                                      "SOURCE_DSN=Sales") +
                                          kStatements);
  ASSERT_TRUE(data_source.ok()) << data_source.error().description;
  EXPECT_EQ(data_source->location, "a.cub");
}

TEST(ConnectionStringTest, ReadsUseExistingFileFromItsFirstCharacter) {
  const struct {
    const char* setting;
    bool expected;
  } cases[] = {{"", false},
               {";USEEXISTINGFILE=Yes", true},
               {";Use Existing File=true", true},
               {";UseExistingFile=1", true},
               {";USEEXISTINGFILE=7", true},
               {";USEEXISTINGFILE=0", false},
               {";USEEXISTINGFILE=False", false},
               {";USEEXISTINGFILE=No", false},
               {";USEEXISTINGFILE=", false},
               {";USEEXISTINGFILE= y", true}};
  for (const auto& c : cases) {
    auto properties =
        ReadEngineProperties(std::string("LOCATION=a.cub;SOURCE_DSN=s") + kStatements + c.setting);
    ASSERT_TRUE(properties.ok()) << c.setting << ": " << properties.error().description;
    EXPECT_EQ(properties->use_existing_file, c.expected) << c.setting;
  }
}

TEST(ConnectionStringTest, RejectsMissingOrUnusableProperties) {
  const struct {
    std::string text;
    const char* message_part;
  } cases[] = {
      {std::string("SOURCE_DSN=s") + kStatements, "LOCATION (or Data Source) is missing"},
      {std::string("LOCATION= ;SOURCE_DSN=s") + kStatements,
       "LOCATION (or Data Source) is missing"},
      {std::string("LOCATION=a.cub") + kStatements, "SOURCE_DSN is missing"},
      {std::string("LOCATION=a.cub;SOURCE_DSN=\"Provider=MSDASQL;DSN=x\"") + kStatements,
       "SOURCE_DSN is an OLE DB connection string"},
      {std::string("LOCATION=a.cub;SOURCE_DSN=\" provider = SQLOLEDB;PWD=secret\"") + kStatements,
       "SOURCE_DSN is an OLE DB connection string"},
      {"LOCATION=a.cub;SOURCE_DSN=s;InsertInto=INSERT INTO x", "CREATECUBE is missing"},
      {"LOCATION=a.cub;SOURCE_DSN=s;CreateCube=CREATE CUBE x;InsertInto=", "INSERTINTO is missing"},
      {"LOCATION=a.cub;SOURCE_DSN=\"DSN=s; CreateCube=CREATE CUBE x;InsertInto=INSERT INTO x",
       "opens a quote at position 27 that is never closed"},
  };
  for (const auto& c : cases) {
    auto properties = ReadEngineProperties(c.text);
    ASSERT_FALSE(properties.ok()) << c.text;
    EXPECT_NE(properties.error().description.find(c.message_part), std::string::npos)
        << c.text << "\n  got: " << properties.error().description;
    EXPECT_EQ(properties.error().description.find("secret"), std::string::npos);
    EXPECT_EQ(properties.error().number, kPropertyErrorNumber);
    EXPECT_EQ(properties.error().source, kEngineSource);
  }
}

TEST(ConnectionStringTest, StatementCutAtSemicolonInFormatGivesErrorShowingTheCut) {
  auto properties = ReadEngineProperties(
      "LOCATION=a.cub; SOURCE_DSN=\"DSN=s\"; CreateCube=CREATE CUBE [C] ( DIMENSION [D], "
      "LEVEL [L], MEASURE [M] FORMAT '#,##0; InsertInto=INSERT INTO C([D].[L]) SELECT l FROM t ");
  ASSERT_TRUE(properties.ok()) << properties.error().description;
  auto schema = ddl::ParseCreateCube(properties->create_cube);
  ASSERT_FALSE(schema.ok());
  EXPECT_EQ(schema.error().description,
            "CREATE CUBE: unterminated string starting at position 64: the statement ends inside "
            "it, after \"...[L], MEASURE [M] FORMAT '#,##0\" (was it cut short at a \";\" inside "
            "the quotes?)");
}

TEST(ConnectionStringTest, WrittenPropertiesReadBackToTheSameRecord) {
  // Each awkward value in every field: the writer quotes what the reader would otherwise cut,
  // trim or take for a quoted value.
  const std::string awkward[] = {
      "plain.cub",
      "say \"hi\"",
      "\"starts quoted\"",
      "'single'",
      "it's",
      "a;b;",
      ";",
      "k=v=w",
      " blank around\t",
      "inner  blanks",
      "\r\nline\f",
      "Gr\xc3\xbc\xc3\x9f"
      "e \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac",
      "\"\"",
      "\"",
      "{braced}}",
  };
  for (const std::string& value : awkward) {
    EngineProperties written;
    written.location = value;
    written.source_dsn = "DSN=" + value;
    written.source_dsn_suffix = value;
    written.source_uid = value;
    written.source_pwd = value;
    written.create_cube = "CREATE CUBE [" + value + "]";
    written.insert_into = value;
    written.use_existing_file = true;
    const std::string text = WriteEngineProperties(written);
    auto read = ReadEngineProperties(text);
    ASSERT_TRUE(read.ok()) << text << ": " << read.error().description;
    EXPECT_EQ(*read, written) << text;
  }
  // Unset optional properties are left out and read back unset; an empty value reads back empty.
  EngineProperties minimal;
  minimal.location = "c.cub";
  minimal.source_dsn = "Sales";
  minimal.create_cube = "CREATE CUBE x";
  minimal.insert_into = "INSERT INTO x SELECT a FROM t";
  EXPECT_EQ(WriteEngineProperties(minimal),
            "LOCATION=c.cub;SOURCE_DSN=Sales;CreateCube=CREATE CUBE x;"
            "InsertInto=INSERT INTO x SELECT a FROM t");
  EXPECT_EQ(ReadEngineProperties(WriteEngineProperties(minimal)).value(), minimal);
  EXPECT_EQ(ConnectionProperties::Parse("k=" + QuotePropertyValue("") + ";z=1").Get("k"), "");
}

TEST(ConnectionStringTest, QuotesOnlyValuesThatNeedIt) {
  EXPECT_EQ(QuotePropertyValue("C:\\Cubes\\sales.cub"), "C:\\Cubes\\sales.cub");
  EXPECT_EQ(QuotePropertyValue("WHERE a = 'x'"), "WHERE a = 'x'");
  EXPECT_EQ(QuotePropertyValue(""), "");
  EXPECT_EQ(QuotePropertyValue("DSN=a;PWD=b"), "\"DSN=a;PWD=b\"");
  EXPECT_EQ(QuotePropertyValue("\"x\" y"), "\"\"\"x\"\" y\"");
  EXPECT_EQ(QuotePropertyValue("'x'"), "\"'x'\"");
  EXPECT_EQ(QuotePropertyValue(" x"), "\" x\"");
}

}  // namespace
}  // namespace cubemill::provider::connection
