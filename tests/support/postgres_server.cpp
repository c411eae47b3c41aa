#include "support/postgres_server.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/test_support.h"

namespace cubemill::test {
namespace {

namespace fs = std::filesystem;

// psql's field separator in the rows Psql reads: a byte that no test value holds.
constexpr char kFieldSeparator = '\x1f';

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// `ini` with each line that sets CommLog (blanks and letter case as the driver manager allows)
// set to 0.
std::string WithoutCommLog(const std::string& ini) {
  std::istringstream in(ini);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    std::string key = line.substr(0, line.find('='));
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t\r") + 1);
    bool commlog = key.size() == 7;
    for (std::size_t i = 0; commlog && i < key.size(); ++i)
      commlog = std::tolower(static_cast<unsigned char>(key[i])) == "commlog"[i];
    out += (commlog && line.find('=') != std::string::npos ? "CommLog=0" : line) + "\n";
  }
  return out;
}

// Writes a copy of the driver manager's odbcinst.ini into `dir` with CommLog off and points
// ODBCSYSINI there. Returns "" or what went wrong.
std::string UsePrivateOdbcinst(const fs::path& dir) {
  const CommandOutput where = RunCommand("odbcinst -j");
  const std::string label = "DRIVERS";
  std::istringstream lines(where.text);
  std::string system_file;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (line.starts_with(label) && colon != std::string::npos) {
      system_file = line.substr(line.find_first_not_of(" \t", colon + 1));
    }
  }
  if (where.status != 0 || system_file.empty())
    return "odbcinst -j does not name the drivers' file: " + where.text;
  const std::string drivers = ReadBytes(system_file);
  if (drivers.find("[PostgreSQL Unicode]") == std::string::npos)
    return system_file + " has no driver \"PostgreSQL Unicode\": install odbc-postgresql";
  fs::create_directories(dir);
  WriteBytes((dir / "odbcinst.ini").string(), WithoutCommLog(drivers));
  ::setenv("ODBCSYSINI", dir.c_str(), 1);
  return "";
}

}  // namespace

CommandOutput RunCommand(const std::string& command) {
  CommandOutput output;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.text.append(buffer, count);
  const int status = ::pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::string ShellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

PostgresServer::PostgresServer(std::string script, std::string dir)
    : script_(std::move(script)), dir_(std::move(dir)) {
  port_ = FirstLine(ReadBytes((fs::path(dir_) / "port").string()));
  password_ = FirstLine(ReadBytes((fs::path(dir_) / "password").string()));
}

std::string PostgresServer::OdbcConnection() const {
  return "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + port_ +
         ";Database=cubemill;Uid=cubemill;Pwd=" + password_;
}

Rows PostgresServer::Psql(const std::string& sql) const {
  const CommandOutput run =
      RunCommand(ShellQuoted(script_) + " psql " + ShellQuoted(dir_) +
                 " -U cubemill -A -t --pset=null=NULL -F " +
                 ShellQuoted(std::string(1, kFieldSeparator)) + " -c " + ShellQuoted(sql));
  Rows rows;
  if (run.status != 0) {
    ADD_FAILURE() << "psql on " << dir_ << " failed: " << run.text << "\nSQL: " << sql;
    return rows;
  }
  std::istringstream lines(run.text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> row;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find(kFieldSeparator, start)) != std::string::npos;
         start = end + 1) {
      row.push_back(line.substr(start, end - start));
    }
    row.push_back(line.substr(start));
    rows.push_back(row);
  }
  return rows;
}

PostgresEnvironment::PostgresEnvironment(std::string script, std::vector<std::string> arguments)
    : script_(std::move(script)), arguments_(std::move(arguments)) {}

void PostgresEnvironment::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "cubemill-pg-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot make " << pattern;
  temporary_dir_ = pattern;
  // The servers run as the user "postgres" when the tests run as root: it must enter here.
  fs::permissions(temporary_dir_, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
  const std::string odbc_error = UsePrivateOdbcinst(fs::path(temporary_dir_) / "odbc");
  ASSERT_EQ(odbc_error, "");

  servers_dir_ = (fs::path(temporary_dir_) / "servers").string();
  std::string command = ShellQuoted(script_) + " start " + ShellQuoted(servers_dir_);
  for (const std::string& argument : arguments_) command += " " + ShellQuoted(argument);
  command += " --watch " + std::to_string(::getpid());
  const CommandOutput started = RunCommand(command);
  ASSERT_EQ(started.status, 0) << command << "\n" << started.text;
}

void PostgresEnvironment::TearDown() {
  if (temporary_dir_.empty()) return;
  if (!servers_dir_.empty()) {
    const CommandOutput stopped =
        RunCommand(ShellQuoted(script_) + " stop " + ShellQuoted(servers_dir_));
    EXPECT_EQ(stopped.status, 0) << stopped.text;
  }
  std::error_code ignored;
  fs::remove_all(temporary_dir_, ignored);
}

}  // namespace cubemill::test
