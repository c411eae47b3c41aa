// Every #include in src/ against the layering: a folder may include only the folders below it,
// and the external libraries stay behind their one adapter each. The build enforces the project
// arrows too (each library exports only its own folder); this test also names the rule broken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Which project folders each folder may include (besides itself).
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"common", {}},
    {"platform", {"common"}},
    {"provider", {"common", "platform"}},
    {"provider/values", {"common", "platform", "provider"}},
    {"provider/odbc_text", {"common", "platform", "provider"}},
    {"provider/ddl", {"common", "platform", "provider"}},
    {"provider/aggregate", {"common", "platform", "provider", "provider/values"}},
    {"provider/cubefile",
     {"common", "platform", "provider", "provider/aggregate", "provider/odbc_text"}},
    {"provider/source",
     {"common", "platform", "provider", "provider/values", "provider/odbc_text"}},
    {"provider/connection",
     {"common", "platform", "provider", "provider/values", "provider/ddl", "provider/aggregate",
      "provider/cubefile", "provider/source", "provider/odbc_text"}},
    {"query", {"common", "platform", "provider", "provider/cubefile"}},
    {"browse", {"common", "platform", "provider", "provider/cubefile", "query"}},
    {"settings", {"common", "platform"}},
    {"vbs", {"common", "platform", "settings"}},
    {"oqy",
     {"common", "platform", "settings", "provider", "provider/odbc_text", "provider/connection"}},
    {"job", {"common", "platform", "settings", "vbs", "oqy", "provider", "provider/connection"}},
    {"ui",
     {"common", "platform", "settings", "job", "provider", "provider/connection",
      "provider/cubefile", "query", "browse"}},
    {"serve",
     {"common", "platform", "settings", "oqy", "job", "provider", "provider/cubefile", "query"}},
    {"app",
     {"common", "platform", "settings", "job", "provider", "provider/connection",
      "provider/cubefile", "query", "browse", "ui", "serve"}},
};

// External headers and the only folders that may include them.
bool IsOneOf(const std::string& header, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), header) != names.end();
}
const std::vector<std::pair<std::function<bool(const std::string&)>, std::set<std::string>>>
    kFences = {
        {[](const std::string& h) {
           return IsOneOf(h, {"sql.h", "sqlext.h", "sqltypes.h"});
         },
         {"provider/source"}},
        {[](const std::string& h) { return h == "sqlite3.h"; },
         {"provider/cubefile", "provider/source"}},
        {[](const std::string& h) {
           return h.size() > 1 && h[0] == 'Q' &&
                  std::all_of(h.begin(), h.end(), [](char c) { return std::isalpha(c) != 0; });
         },
         {"ui"}},
        {[](const std::string& h) {
           return h.starts_with("sys/") ||
                  IsOneOf(h, {"unistd.h", "fcntl.h", "dirent.h", "signal.h", "pwd.h", "termios.h"});
         },
         {"platform"}},
        {[](const std::string& h) { return h == "getopt.h"; }, {"app"}},
        {[](const std::string& h) {
           return IsOneOf(h, {"httplib.h", "pugixml.hpp"}) || h.starts_with("openssl/");
         },
         {"serve"}},
};

// The header of an #include line and whether it is written with angle brackets.
bool ParseInclude(std::string_view line, std::string& header, bool& angled) {
  auto skip_blanks = [&line] {
    while (!line.empty() && (line[0] == ' ' || line[0] == '\t')) line.remove_prefix(1);
  };
  skip_blanks();
  if (!line.starts_with('#')) return false;
  line.remove_prefix(1);
  skip_blanks();
  if (!line.starts_with("include")) return false;
  line.remove_prefix(7);
  skip_blanks();
  if (line.empty() || (line[0] != '<' && line[0] != '"')) return false;
  angled = line[0] == '<';
  const auto end = line.find(angled ? '>' : '"', 1);
  if (end == std::string_view::npos || end == 1) return false;
  header = std::string(line.substr(1, end - 1));
  return true;
}

// "provider/source/x.cpp" -> "provider/source"; "provider/x.h" -> "provider"; "job/x.h" -> "job".
std::string FolderOf(const std::string& path) {
  const auto first = path.find('/');
  if (first == std::string::npos) return "";
  const std::string top = path.substr(0, first);
  const auto second = path.find('/', first + 1);
  if (top == "provider" && second != std::string::npos) return path.substr(0, second);
  return top;
}

struct Violation {
  std::string file;
  std::string include;
};

std::vector<Violation> Check(const fs::path& src) {
  std::vector<Violation> violations;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    const std::string file = fs::relative(entry.path(), src).generic_string();
    const std::string folder = FolderOf(file);
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) {
      std::string header;
      bool angled = false;
      if (!ParseInclude(line, header, angled)) continue;
      if (angled) {
        for (const auto& [fenced, folders] : kFences) {
          if (fenced(header) && !folders.count(folder)) violations.push_back({file, header});
        }
        continue;
      }
      if (header == "version.h") {
        if (folder != "app") violations.push_back({file, header});
        continue;
      }
      const std::string target = FolderOf(header);
      const auto allowed = kAllowed.find(folder);
      if (target == folder) continue;
      if (allowed == kAllowed.end() || !allowed->second.count(target))
        violations.push_back({file, header});
    }
  }
  return violations;
}

TEST(IncludeLayeringTest, EveryIncludeFollowsTheArrows) {
  const fs::path src = fs::path(CUBEMILL_SOURCE_DIR) / "src";
  for (const auto& entry : fs::directory_iterator(src)) {
    if (!entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(kAllowed.count(name)) << "src/" << name << " is not in the layering table";
  }
  for (const Violation& v : Check(src))
    ADD_FAILURE() << "src/" << v.file << " includes " << v.include << " against the layering";
}

TEST(IncludeLayeringTest, CatchesAWrongArrow) {
  const fs::path root = fs::temp_directory_path() / "cubemill-layering-test";
  fs::remove_all(root);
  fs::create_directories(root / "platform");
  fs::create_directories(root / "provider/source");
  std::ofstream(root / "platform/bad.cpp") << "#include \"job/run_job.h\"\n#include <cstdio>\n";
  std::ofstream(root / "provider/source/ok.cpp")
      << "#include <sql.h>\n#include \"provider/odbc_text/passwords.h\"\n";
  std::ofstream(root / "platform/odbc.cpp") << "#include <sqlext.h>\n";
  const auto violations = Check(root);
  fs::remove_all(root);
  ASSERT_EQ(violations.size(), 2u);
  std::set<std::string> seen;
  for (const Violation& v : violations) seen.insert(v.file + " " + v.include);
  EXPECT_EQ(seen, (std::set<std::string>{"platform/bad.cpp job/run_job.h",
                                         "platform/odbc.cpp sqlext.h"}));
}

}  // namespace
