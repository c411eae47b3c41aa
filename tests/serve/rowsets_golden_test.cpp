// The Discover rowsets against their golden files: each tests/data/xmla/NAME.request.xml is
// answered by the XMLA service over the shop cube (catalog "shop"), or for a NAME that begins
// with "sample_" over the shipped sample's (catalog "sample"), and the response must be
// NAME.response.xml. Both are compared indented by pugixml, so the files can be read and edited
// as indented XML. With CUBEMILL_XMLA_WRITE_GOLDEN=1 the runner writes the responses instead,
// for a person to check before they are committed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "query/analyst_cube.h"
#include "query/query_test_cube.h"
#include "serve/cube_catalogs.h"
#include "serve/xmla_service.h"
#include "support/test_support.h"

namespace cubemill::serve {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(CUBEMILL_TEST_DATA_DIR) / "xmla";
constexpr std::string_view kRequestSuffix = ".request.xml";

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kGoldenDir)) {
    const std::string file = entry.path().filename().string();
    if (file.ends_with(kRequestSuffix)) names.push_back(file.substr(0, file.size() - 12));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// `xml` parsed and written again indented, or the parser's complaint.
std::string Indented(const std::string& xml) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_string(xml.c_str());
  if (!parsed) return std::string("not XML: ") + parsed.description();
  std::ostringstream out;
  document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

class RowsetGoldenTest : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() { dir_ = new cubemill::test::TempDir; }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // The service's whole response to `request`, serving the cubes of `folder` (built here the
  // first time).
  static std::string Answer(const std::string& request, const std::string& folder) {
    if (!fs::exists(folder)) {
      fs::create_directory(folder);
      const std::string built =
          folder == "sample"
              ? query::test::BuildShippedSampleCube("sample/sample.db", "sample/sample.cub")
              : query::test::BuildShopCube("shop/shop.db", "shop/shop.cub");
      EXPECT_EQ(built, "");
    }
    auto list = CubeCatalogs::Folder(folder);
    EXPECT_TRUE(list.ok());
    CubeCatalogs catalogs(*list);
    ServerFacts facts;
    facts.url = "http://127.0.0.1:8080/xmla";
    facts.product_version = "1.0";
    XmlaService service(catalogs, facts, {});
    const Reply reply = service.Answer(request, nullptr);
    std::string text;
    XmlWriter out([&](std::string_view piece) {
      text += piece;
      return true;
    });
    reply.write(out);
    out.Flush();
    return text;
  }

  static cubemill::test::TempDir* dir_;
};

cubemill::test::TempDir* RowsetGoldenTest::dir_ = nullptr;

TEST_P(RowsetGoldenTest, AnswersTheGoldenResponse) {
  const std::string request = ReadFile(kGoldenDir / (GetParam() + std::string(kRequestSuffix)));
  const fs::path golden = kGoldenDir / (GetParam() + ".response.xml");
  const std::string folder = GetParam().starts_with("sample_") ? "sample" : "shop";
  const std::string response = Indented(Answer(request, folder));
  const char* write = std::getenv("CUBEMILL_XMLA_WRITE_GOLDEN");
  if (write != nullptr && std::string(write) == "1") {
    std::ofstream(golden, std::ios::binary) << response;
    GTEST_SKIP() << "wrote " << golden;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden << " is missing";
  EXPECT_EQ(response, Indented(ReadFile(golden)));
}

INSTANTIATE_TEST_SUITE_P(Xmla, RowsetGoldenTest, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace cubemill::serve
