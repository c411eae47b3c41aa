#include "bench/pg_server.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace cubemill::bench {
namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// `text` in single quotes for /bin/sh.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The process id of the postmaster of the server in `dir`, or 0.
long PostmasterPid(const std::string& dir) {
  const std::string line = FirstLine(dir + "/data/postmaster.pid");
  return line.empty() ? 0 : std::atol(line.c_str());
}

// True when the child `pid` of a postmaster serves a client of the role "cubemill", or is ending
// (its CPU time is counted once the postmaster has reaped it). A backend names its role and
// database in its process title ("postgres: cubemill cubemill 127.0.0.1(40312) idle"), the
// server's own processes name their task; a process that is exiting, or has exited and waits to
// be reaped, shows no title at all.
bool ServesClient(long pid) {
  std::ifstream title("/proc/" + std::to_string(pid) + "/cmdline");
  if (!title) return false;  // reaped
  std::string text;
  std::getline(title, text, '\0');
  return text.empty() || text.find(" cubemill ") != std::string::npos;
}

}  // namespace

PsqlOutput Psql(const std::string& pg_cluster, const std::string& dir, const std::string& sql) {
  const std::string command =
      ShellQuoted(pg_cluster) + " psql " + ShellQuoted(dir) + " -U cubemill -A -t -F " +
      ShellQuoted(std::string(1, kPsqlSeparator)) + " -c " + ShellQuoted(sql) + " 2>&1";
  PsqlOutput output;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    output.text = "cannot run " + pg_cluster;
    return output;
  }
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.text.append(buffer, count);
  const int status = ::pclose(pipe);
  output.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return output;
}

std::string OdbcConnection(const std::string& dir, std::string& error) {
  const std::string port = FirstLine(dir + "/port");
  const std::string password = FirstLine(dir + "/password");
  if (port.empty() || password.empty()) {
    error = dir + ": no port or password file (was the server started by pg-cluster.sh?)";
    return "";
  }
  return "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + port +
         ";Database=cubemill;Uid=cubemill;Pwd=" + password;
}

double ServerCpuSeconds(const std::vector<std::string>& dirs) {
  static const double kTicks = static_cast<double>(sysconf(_SC_CLK_TCK));
  double seconds = 0;
  for (const std::string& dir : dirs) {
    const long pid = PostmasterPid(dir);
    const std::string stat = pid > 0 ? FirstLine("/proc/" + std::to_string(pid) + "/stat") : "";
    // The fields after the command name, which stands in parentheses and may hold blanks:
    // state is field 3, utime, stime, cutime and cstime are fields 14 to 17.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int number = 3; number <= 17 && fields >> field; ++number) {
      if (number >= 14) ticks += std::atof(field.c_str());
    }
    seconds += ticks / kTicks;
  }
  return seconds;
}

bool WaitForBackends(const std::vector<std::string>& dirs, double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    bool serving = false;
    for (const std::string& dir : dirs) {
      const long pid = PostmasterPid(dir);
      std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                             "/children");
      for (long child; !serving && children >> child;) serving = ServesClient(child);
    }
    if (!serving) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace cubemill::bench
