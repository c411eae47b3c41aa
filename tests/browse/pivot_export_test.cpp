#include "browse/pivot_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"
#include "support/unzip.h"

namespace cubemill::browse {
namespace {

using test::Unzip;

using provider::cubefile::CellValue;

CellValue Integer(std::int64_t value) { return {CellValue::Kind::kInteger, value, 0}; }
CellValue Real(double value) { return {CellValue::Kind::kReal, 0, value}; }
const CellValue kNull{};

PivotHeader Member(const std::string& caption, std::size_t member, int indent = 0,
                   bool can_expand = false, bool expanded = false) {
  PivotHeader header;
  header.caption = caption;
  header.member = member;
  header.indent = indent;
  header.can_expand = can_expand;
  header.expanded = expanded;
  return header;
}

PivotHeader Measure(const std::string& caption, std::size_t measure) {
  PivotHeader header;
  header.caption = caption;
  header.measure = measure;
  return header;
}

PivotHeader Total() {
  PivotHeader header;
  header.caption = "Total";
  header.total = true;
  return header;
}

// Europe drilled into Spain and France, then the total, on rows; two years with two measures
// (Amount as Currency, Share as Percent) on columns.
PivotGrid SalesGrid() {
  PivotGrid grid;
  grid.row_headers = {{Member("Europe", 1, 0, false, true)},
                      {Member("Spain", 2, 1)},
                      {Member("France, \"FR\"", 3, 1, true)},
                      {Total()}};
  grid.column_headers = {{Member("2023", 10), Measure("Amount", 0)},
                         {Member("2023", 10), Measure("Share", 1)},
                         {Member("2024", 11), Measure("Amount", 0)},
                         {Member("2024", 11), Measure("Share", 1)}};
  grid.column_measure = {0, 1, 0, 1};
  grid.measure_formats = {{"Currency", std::nullopt}, {"Percent", std::nullopt}};
  grid.cells = {{Real(1234.5), Real(0.25), Integer(2000), Real(0.5)},
                {Real(1000), Real(0.125), kNull, Real(0.375)},
                {Real(234.5), Real(0.125), Integer(2000), Real(0.125)},
                {Real(1234.5), Real(1), Integer(9007199254740993), Real(1)}};
  grid.texts = {{"$1,234.50", "25.00%", "$2,000.00", "50.00%"},
                {"$1,000.00", "12.50%", "", "37.50%"},
                {"$234.50", "12.50%", "$2,000.00", "12.50%"},
                {"$1,234.50", "100.00%", "$9,007,199,254,740,993.00", "100.00%"}};
  return grid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PivotExportTest, LaysTheGridOutWithColumnHeadersAboveAndRowHeadersLeft) {
  const PivotGrid grid = SalesGrid();
  const ExportTable table = PivotTable(grid);
  ASSERT_EQ(ColumnHeaderLines(grid), 2u);
  ASSERT_EQ(RowHeaderColumns(grid), 1u);
  ASSERT_EQ(table.size(), 6u);
  for (const auto& line : table) EXPECT_EQ(line.size(), 5u);
  EXPECT_EQ(table[0][0].kind, ExportCell::Kind::kBlank);
  EXPECT_EQ(table[0][1].text, "2023");
  EXPECT_EQ(table[1][2].text, "Share");
  EXPECT_EQ(table[3][0].text, "Spain");
  EXPECT_EQ(table[3][0].indent, 1);
  EXPECT_EQ(table[2][1].kind, ExportCell::Kind::kValue);
  EXPECT_EQ(table[2][1].value, Real(1234.5));
  EXPECT_EQ(table[2][1].format, "Currency");
  EXPECT_EQ(table[2][2].format, "Percent");
  EXPECT_FALSE(table[2][1].total);
  EXPECT_TRUE(table[5][0].total);
  EXPECT_TRUE(table[5][3].total);
}

TEST(PivotExportTest, TabSeparatedTextIsTheSelectionAsShown) {
  const PivotGrid grid = SalesGrid();
  EXPECT_EQ(TabSeparated(grid, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4}),
            "\t2023\t2023\t2024\t2024\n"
            "\tAmount\tShare\tAmount\tShare\n"
            "Europe\t$1,234.50\t25.00%\t$2,000.00\t50.00%\n"
            "Spain\t$1,000.00\t12.50%\t\t37.50%\n"
            "France, \"FR\"\t$234.50\t12.50%\t$2,000.00\t12.50%\n"
            "Total\t$1,234.50\t100.00%\t$9,007,199,254,740,993.00\t100.00%\n");
  // Cells alone, in the order asked, and a caption with a tab kept on one cell.
  EXPECT_EQ(TabSeparated(grid, {3, 4}, {2, 4}), "12.50%\t37.50%\n12.50%\t12.50%\n");
  PivotGrid tabbed = grid;
  tabbed.row_headers[1][0].caption = "Sp\tain\nnorth";
  EXPECT_EQ(TabSeparated(tabbed, {3}, {0, 1}), "Sp ain north\t$1,000.00\n");
}

TEST(PivotExportTest, CsvHasEveryValueInFull) {
  EXPECT_EQ(PivotCsv(PivotTable(SalesGrid())),
            ",2023,2023,2024,2024\r\n"
            ",Amount,Share,Amount,Share\r\n"
            "Europe,1234.5,0.25,2000,0.5\r\n"
            "Spain,1000,0.125,,0.375\r\n"
            "\"France, \"\"FR\"\"\",234.5,0.125,2000,0.125\r\n"
            "Total,1234.5,1,9007199254740993,1\r\n");
}

TEST(PivotExportTest, MapsTheNamedFormatsToTheWorkbooksAndPassesOthersThrough) {
  const struct {
    const char* format;
    const char* xlsx;
  } cases[] = {{"Currency", "$#,##0.00;($#,##0.00)"},
               {"currency", "$#,##0.00;($#,##0.00)"},
               {"Fixed", "0.00"},
               {"Standard", "#,##0.00"},
               {"Percent", "0.00%"},
               {"Scientific", "0.00E+00"},
               {"General Number", ""},
               {"Yes/No", "\"Yes\";\"Yes\";\"No\""},
               {"#,##0.0", "#,##0.0"},
               {"0.000 \"kg\"", "0.000 \"kg\""},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(XlsxNumberFormat(c.format), c.xlsx) << c.format;
  // A measure without a FORMAT: its decimals, grouped; General where the cube does not say them.
  EXPECT_EQ(XlsxNumberFormat("", 2), "#,##0.00");
  EXPECT_EQ(XlsxNumberFormat("", 0), "#,##0");
  EXPECT_EQ(XlsxNumberFormat("", 6), "#,##0.000000");
  EXPECT_EQ(XlsxNumberFormat("", std::nullopt), "");
  EXPECT_EQ(XlsxNumberFormat("Fixed", 4), "0.00");
}

// The cells of sheet1.xml: reference -> (style index, type attribute, value).
struct SheetCell {
  int style = 0;
  std::string type;
  std::string value;
};

// The value of the attribute `name` in the start tag `tag` ("" when it has none).
std::string Attribute(std::string_view tag, std::string_view name) {
  const std::string key = " " + std::string(name) + "=\"";
  const auto at = tag.find(key);
  if (at == std::string_view::npos) return "";
  const auto start = at + key.size();
  return std::string(tag.substr(start, tag.find('"', start) - start));
}

// The start tags beginning with `opening` in `xml`, in order.
std::vector<std::string_view> StartTags(std::string_view xml, std::string_view opening) {
  std::vector<std::string_view> tags;
  for (auto at = xml.find(opening); at != std::string_view::npos; at = xml.find(opening, at + 1)) {
    const auto end = xml.find('>', at);
    if (end == std::string_view::npos) break;
    tags.push_back(xml.substr(at, end + 1 - at));
  }
  return tags;
}

std::map<std::string, SheetCell> SheetCells(const std::string& xml) {
  std::map<std::string, SheetCell> cells;
  for (const std::string_view tag : StartTags(xml, "<c r=\"")) {
    SheetCell cell;
    const std::string style = Attribute(tag, "s");
    if (!style.empty()) cell.style = std::stoi(style);
    cell.type = Attribute(tag, "t");
    if (!tag.ends_with("/>")) {
      const auto body = static_cast<std::size_t>(tag.data() + tag.size() - xml.data());
      const auto body_end = xml.find("</c>", body);
      const auto value = xml.find("<v>", body);
      if (value < body_end) cell.value = xml.substr(value + 3, xml.find("</v>", value) - value - 3);
    }
    cells[Attribute(tag, "r")] = cell;
  }
  return cells;
}

// The number format of each cell style (cellXfs, in order) as a spreadsheet reads it: the
// workbook's own formats by id, the built-in ones that libxlsxwriter uses for the named formats.
std::vector<std::string> StyleFormats(const std::string& xml) {
  std::map<int, std::string> formats = {{0, ""},         {1, "0"},        {2, "0.00"},
                                        {3, "#,##0"},    {4, "#,##0.00"}, {10, "0.00%"},
                                        {11, "0.00E+00"}};
  for (const std::string_view tag : StartTags(xml, "<numFmt ")) {
    std::string code = Attribute(tag, "formatCode");
    for (auto at = code.find("&quot;"); at != std::string::npos; at = code.find("&quot;", at))
      code.replace(at, 6, "\"");
    formats[std::stoi(Attribute(tag, "numFmtId"))] = code;
  }
  std::vector<std::string> styles;
  const auto xfs = xml.find("<cellXfs");
  const auto xfs_end = xml.find("</cellXfs>");
  if (xfs == std::string::npos || xfs_end == std::string::npos) return styles;
  for (const std::string_view tag :
       StartTags(std::string_view(xml).substr(xfs, xfs_end - xfs), "<xf ")) {
    const int id = std::stoi(Attribute(tag, "numFmtId"));
    styles.push_back(formats.count(id) ? formats[id] : "<unknown " + std::to_string(id) + ">");
  }
  return styles;
}

TEST(PivotExportTest, WorkbookHoldsNumbersInTheirMeasuresFormats) {
  test::TempDir dir;
  const std::string book = dir.File("book.xlsx");
  ASSERT_EQ(WriteWorkbook(PivotTable(SalesGrid()), book), std::nullopt);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"book.xlsx"});

  const std::string sheet = Unzip(book, "xl/worksheets/sheet1.xml");
  const std::string styles = Unzip(book, "xl/styles.xml");
  ASSERT_FALSE(sheet.empty()) << "unzip could not read the workbook";
  const auto cells = SheetCells(sheet);
  const auto formats = StyleFormats(styles);
  auto format_of = [&](const std::string& ref) {
    const int style = cells.at(ref).style;
    return style < static_cast<int>(formats.size()) ? formats[style] : "<no style>";
  };
  // Numbers: no type attribute (a number), the full value, the measure's format.
  const struct {
    const char* ref;
    const char* value;
    const char* format;
  } numbers[] = {{"B3", "1234.5", "$#,##0.00;($#,##0.00)"},
                 {"C3", "0.25", "0.00%"},
                 {"D3", "2000", "$#,##0.00;($#,##0.00)"},
                 {"B4", "1000", "$#,##0.00;($#,##0.00)"},
                 {"E6", "1", "0.00%"}};
  for (const auto& n : numbers) {
    ASSERT_TRUE(cells.count(n.ref)) << n.ref;
    EXPECT_EQ(cells.at(n.ref).type, "") << n.ref;
    EXPECT_EQ(cells.at(n.ref).value, n.value) << n.ref;
    EXPECT_EQ(format_of(n.ref), n.format) << n.ref;
  }
  // Headers are text (shared strings); NULL is no cell at all; an integer a double cannot hold
  // is text rather than another number.
  EXPECT_EQ(cells.at("B1").type, "s");
  EXPECT_EQ(cells.at("A3").type, "s");
  EXPECT_EQ(cells.at("A6").type, "s");
  EXPECT_FALSE(cells.count("D4") && !cells.at("D4").value.empty());
  EXPECT_EQ(cells.at("D6").type, "s");
  // The total row's cells and caption are bold, its values still in their formats.
  EXPECT_NE(styles.find("<b/>"), std::string::npos);
  EXPECT_EQ(format_of("B6"), "$#,##0.00;($#,##0.00)");
  EXPECT_NE(cells.at("B6").style, cells.at("B3").style);
}

TEST(PivotExportTest, FormatsAreWrittenOncePerKindAndCustomOnesPassThrough) {
  PivotGrid grid = SalesGrid();
  grid.measure_formats = {{"#,##0.0 \"EUR\"", 1}, {"", std::nullopt}};
  test::TempDir dir;
  const std::string book = dir.File("custom.xlsx");
  ASSERT_EQ(WriteWorkbook(PivotTable(grid), book), std::nullopt);
  const auto cells = SheetCells(Unzip(book, "xl/worksheets/sheet1.xml"));
  const auto formats = StyleFormats(Unzip(book, "xl/styles.xml"));
  ASSERT_LT(cells.at("B3").style, static_cast<int>(formats.size()));
  EXPECT_EQ(formats[cells.at("B3").style], "#,##0.0 \"EUR\"");
  EXPECT_EQ(formats[cells.at("C3").style], "");
  EXPECT_EQ(cells.at("C3").value, "0.25");
  EXPECT_EQ(cells.at("B3").style, cells.at("D3").style);

  // Without a FORMAT, the measure's decimals grouped by thousands; the value stays in full.
  grid.measure_formats = {{"", 3}, {"", 0}};
  grid.cells[0][0] = Real(1234.5678901);
  const std::string plain = dir.File("plain.xlsx");
  ASSERT_EQ(WriteWorkbook(PivotTable(grid), plain), std::nullopt);
  const auto plain_cells = SheetCells(Unzip(plain, "xl/worksheets/sheet1.xml"));
  const auto plain_formats = StyleFormats(Unzip(plain, "xl/styles.xml"));
  EXPECT_EQ(plain_formats[plain_cells.at("B3").style], "#,##0.000");
  EXPECT_EQ(plain_formats[plain_cells.at("C3").style], "#,##0");
  EXPECT_EQ(plain_cells.at("B3").value, "1234.5678901");
}

TEST(PivotExportTest, AFailedExportLeavesNothingAndAnEarlierFileAsItWas) {
  test::TempDir dir;
  const ExportTable table = PivotTable(SalesGrid());
  // A folder that is not there: an error, no file.
  EXPECT_NE(WriteWorkbook(table, dir.File("missing/book.xlsx")), std::nullopt);
  EXPECT_NE(WriteTextFile("a,b\r\n", dir.File("missing/book.csv")), std::nullopt);
  EXPECT_TRUE(FilesIn(dir.path()).empty());
  // A file replaced: the new one whole, no temporary file beside it.
  { std::ofstream(dir.File("book.csv")) << "old"; }
  ASSERT_EQ(WriteTextFile(PivotCsv(table), dir.File("book.csv")), std::nullopt);
  EXPECT_EQ(ReadFile(dir.File("book.csv")), PivotCsv(table));
  ASSERT_EQ(WriteWorkbook(table, dir.File("book.xlsx")), std::nullopt);
  ASSERT_EQ(WriteWorkbook(table, dir.File("book.xlsx")), std::nullopt);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"book.csv", "book.xlsx"}));
  // A target that is a folder: the error, and the folder as it was.
  std::filesystem::create_directory(dir.File("taken.xlsx"));
  EXPECT_NE(WriteWorkbook(table, dir.File("taken.xlsx")), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.xlsx")));
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"book.csv", "book.xlsx", "taken.xlsx"}));
}

TEST(PivotExportTest, ValuesADoubleCannotHoldBecomeText) {
  ExportTable table(1, std::vector<ExportCell>(3));
  for (auto& cell : table[0]) cell.kind = ExportCell::Kind::kValue;
  table[0][0].value = Real(std::numeric_limits<double>::infinity());
  table[0][1].value = Real(std::numeric_limits<double>::quiet_NaN());
  table[0][2].value = Integer(std::numeric_limits<std::int64_t>::max());
  test::TempDir dir;
  ASSERT_EQ(WriteWorkbook(table, dir.File("odd.xlsx")), std::nullopt);
  const std::string book = dir.File("odd.xlsx");
  const auto cells = SheetCells(Unzip(book, "xl/worksheets/sheet1.xml"));
  const std::string strings = Unzip(book, "xl/sharedStrings.xml");
  for (const char* ref : {"A1", "B1", "C1"}) EXPECT_EQ(cells.at(ref).type, "s") << ref;
  EXPECT_NE(strings.find("Infinity"), std::string::npos);
  EXPECT_NE(strings.find("NaN"), std::string::npos);
  EXPECT_NE(strings.find("9223372036854775807"), std::string::npos);
}

}  // namespace
}  // namespace cubemill::browse
