// The function catalog: each entry complete and found by its name alone, and docs/mdx.md's
// function index the catalog's own list.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/ascii_text.h"
#include "query/functions/catalog.h"
#include "support/test_support.h"

namespace cubemill::query::functions {
namespace {

// The index as docs/mdx.md writes it: one row per function, `Name(` or `.Name`, then its line.
std::string IndexOf(const std::vector<const Function*>& functions) {
  std::string index = "| Function | |\n|---|---|\n";
  for (const Function* f : functions) {
    const std::string name =
        f->syntax == Syntax::kDotted ? std::string(".") + f->name : std::string(f->name) + "()";
    index += "| `" + name + "` | " + f->summary + " |\n";
  }
  return index;
}

TEST(FunctionCatalogTest, EveryEntryIsCompleteAndFoundByItsNameAlone) {
  std::set<std::string> seen;
  for (const Function* f : Catalog()) {
    const std::string key =
        (f->syntax == Syntax::kDotted ? "." : "") + platform::UpperAscii(std::string(f->name));
    EXPECT_TRUE(seen.insert(key).second) << key << " twice";
    EXPECT_EQ(Find(platform::UpperAscii(std::string(f->name)), f->syntax), f) << f->name;
    EXPECT_NE(std::string(f->summary), "") << f->name;
    // One way to compute it, the one its result asks for.
    EXPECT_EQ(f->set != nullptr, f->returns == Returns::kSet) << f->name;
    EXPECT_EQ(f->member != nullptr, f->returns == Returns::kMember) << f->name;
    EXPECT_EQ(f->level != nullptr, f->returns == Returns::kLevel) << f->name;
    EXPECT_EQ(f->value != nullptr, f->returns == Returns::kValue) << f->name;
    if (f->count != nullptr) {
      EXPECT_EQ(f->returns, Returns::kSet) << f->name;
    }
    const std::string letters = std::string(f->required) + f->optional;
    EXPECT_EQ(letters.find_first_not_of("SMELNDVF"), std::string::npos) << f->name;
    EXPECT_EQ(letters.find('F') != std::string::npos, !f->flags.empty()) << f->name;
  }
  EXPECT_EQ(Find("NoSuchFunction", Syntax::kCall), nullptr);
  // Count is both: Count(set) and set.Count.
  EXPECT_NE(Find("count", Syntax::kCall), Find("COUNT", Syntax::kDotted));
}

TEST(FunctionCatalogTest, TheManualListsEveryFunctionOfTheCatalog) {
  const std::string page = test::ReadBytes(CUBEMILL_SOURCE_DIR "/docs/mdx.md");
  const std::string heading = "### Function index\n";
  const std::size_t start = page.find(heading);
  ASSERT_NE(start, std::string::npos) << "docs/mdx.md has no function index";
  const std::size_t table = page.find("| Function", start);
  const std::size_t end = page.find("\n\n", table);
  ASSERT_NE(table, std::string::npos);
  const std::string expected = IndexOf(Catalog());
  EXPECT_EQ(page.substr(table, end + 1 - table), expected)
      << "the function index of docs/mdx.md, as the catalog has it:\n"
      << expected;
}

}  // namespace
}  // namespace cubemill::query::functions
