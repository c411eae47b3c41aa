#include "ui/browse_window_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "provider/connection/build_cube_file.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"

namespace cubemill::ui {
namespace {

namespace fs = std::filesystem;

// One QApplication for the whole test program, on Qt's offscreen platform.
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows keep each cube's last layout in the user's settings: here in a folder of the
    // test's own, never the user's.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(SettingsFolder()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(SettingsFolder()));
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override {
    app_.reset();
    std::error_code ignored;
    fs::remove_all(SettingsFolder(), ignored);
  }

 private:
  int argc_ = 1;
  char name_[24] = "ui_browse_window_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment = testing::AddGlobalTestEnvironment(new QtEnvironment);

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

SampleCube::SampleCube()
    : folder_(
          (fs::temp_directory_path() / ("browse_sample_" + std::to_string(::getpid()))).string()) {
  fs::create_directories(folder_);
  const fs::path sample = fs::path(CUBEMILL_SOURCE_DIR) / "sample";
  source_ = (fs::path(folder_) / "sales.db").string();
  cube_ = (fs::path(folder_) / "sales.cub").string();
  test::RunSqlite(source_, test::ReadBytes((sample / "make_sample_db.sql").string()));
  const std::string oqy =
      test::ReadBytes((sample / "OQY-Dateien/rel01/Output_Detail.oqy").string());
  // The two statements as the query file's connection line holds them.
  auto between = [&oqy](const std::string& from, const std::string& to) {
    const auto start = oqy.find(from) + from.size();
    return oqy.substr(start, oqy.find(to, start) - start);
  };
  const std::string create = between("CreateCube=", ";InsertInto=");
  const std::string insert = between("InsertInto=", ";Source_DSN=");
  const std::string connection = "LOCATION=" + cube_ +
                                 ";SOURCE_DSN=" + Quoted(test::SqliteOdbc(source_)) +
                                 ";CREATECUBE=" + Quoted(create) + ";INSERTINTO=" + Quoted(insert);
  const test::FixedClock clock(platform::MakeDateTime(2024, 3, 5, 7, 8, 9));
  const auto open_source = [](const std::string& c, const std::string& select,
                              const std::vector<provider::ColumnHint>& hints) {
    return provider::source::OpenOdbcSource(c, select, hints);
  };
  const auto error = provider::connection::BuildCube(connection, open_source, {}, clock);
  if (error) error_ = error->description;
}

const std::string& SettingsFolder() {
  static const std::string folder =
      (fs::temp_directory_path() / ("browse_settings_" + std::to_string(::getpid()))).string();
  return folder;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int RunProgram(const std::string& arguments, std::string* errors) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              std::string(CUBEMILL_BROWSE_BINARY) + " " + arguments +
                              " 2>&1 >/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (errors != nullptr) *errors = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

SampleCube::~SampleCube() { fs::remove_all(folder_); }

const SampleCube& Sample() {
  // Lives to the end of the program (a window of any test may still read it); its folder goes
  // when the program exits, so that test runs leave nothing in the temporary folder.
  static const SampleCube* sample = [] {
    const auto* made = new SampleCube;
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Sample().Folder(), ignored);
    });
    return made;
  }();
  return *sample;
}

}  // namespace cubemill::ui
