// The exports as files hold them, over the shop cube: each layout of tests/data/browse_export
// (a query, NAME.mdx) gives the CSV text NAME.csv exactly; the workbook of one of them is read
// back part by part (NAME.sheet1.xml, NAME.sharedStrings.xml).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "browse/pivot_export.h"
#include "pivot_test_cube.h"
#include "support/unzip.h"

namespace cubemill::browse::test {
namespace {

const std::filesystem::path kCases =
    std::filesystem::path(CUBEMILL_TEST_DATA_DIR) / "browse_export";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PivotExportSheetTest : public PivotCubeTest {
 protected:
  ExportSheet Sheet(const std::string& name) {
    auto layout = LayoutFromMdx(*model_, ReadFile(kCases / (name + ".mdx")));
    EXPECT_TRUE(layout.ok()) << name << ": " << layout.error().description;
    if (!layout.ok()) return {};
    return PivotExport(Answer(*layout), *model_, *layout, kCube);
  }
};

TEST_F(PivotExportSheetTest, EachLayoutGivesItsCsv) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCases)) {
    if (entry.path().extension() == ".mdx") names.push_back(entry.path().stem().string());
  }
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    const std::string csv = PivotCsv(Sheet(name).table);
    EXPECT_EQ(csv, ReadFile(kCases / (name + ".csv"))) << name << ":\n" << csv;
    // Written to a file, the same text.
    const std::string path = dir_.File(name + ".csv");
    ASSERT_EQ(WriteCsv(Sheet(name).table, path), std::nullopt);
    EXPECT_EQ(ReadFile(path), csv) << name;
  }
}

TEST_F(PivotExportSheetTest, TheWorkbookFreezesItsHeadersAndFitsItsColumns) {
  const std::string name = "drilled_country_sliced";
  const ExportSheet sheet = Sheet(name);
  const std::string book = dir_.File(name + ".xlsx");
  ASSERT_EQ(WriteWorkbook(sheet, book), std::nullopt);
  for (const char* part : {"sheet1.xml", "sharedStrings.xml"}) {
    const std::string member =
        std::string(part) == "sheet1.xml" ? "xl/worksheets/sheet1.xml" : "xl/sharedStrings.xml";
    const std::string xml = cubemill::test::Unzip(book, member);
    EXPECT_EQ(xml, ReadFile(kCases / (name + "." + part))) << part << ":\n" << xml;
  }
}

TEST_F(PivotExportSheetTest, AStoppedExportLeavesTheEarlierFileAsItWas) {
  const ExportSheet sheet = Sheet("nested_rows_drilled_columns");
  for (const char* file : {"book.xlsx", "book.csv"}) {
    const std::string path = dir_.File(file);
    { std::ofstream(path) << "earlier"; }
    std::vector<std::size_t> seen;
    auto stop = [&seen](std::size_t done, std::size_t total) {
      seen.push_back(done);
      return done > total;  // stops at once
    };
    const bool workbook = std::string(file).ends_with(".xlsx");
    const auto error =
        workbook ? WriteWorkbook(sheet, path, stop) : WriteCsv(sheet.table, path, stop);
    ASSERT_NE(error, std::nullopt) << file;
    EXPECT_EQ(error->description, "Cancelled") << file;
    EXPECT_FALSE(seen.empty()) << file;
    EXPECT_EQ(ReadFile(path), "earlier") << file;
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"book.csv", "book.xlsx", kCube, kSource}));
}

}  // namespace
}  // namespace cubemill::browse::test
