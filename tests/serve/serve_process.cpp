#include "serve_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "support/test_support.h"

namespace cubemill::test {
namespace {

// Forks cubemill-serve with `arguments`: standard input from `input_path`, standard output to
// `output_fd`, standard error to `errors_path`.
int Spawn(const std::vector<std::string>& arguments, const std::string& input_path, int output_fd,
          const std::string& errors_path) {
  std::vector<std::string> words{CUBEMILL_SERVE_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int in = ::open(input_path.c_str(), O_RDONLY);
  const int err = ::open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(in, 0);
  ::dup2(output_fd, 1);
  ::dup2(err, 2);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

ServeProcess::ServeProcess(const std::vector<std::string>& arguments, const std::string& input)
    : errors_path_("serve-errors-" + std::to_string(::getpid()) + "-" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".txt") {
  WriteBytes("serve-input.txt", input);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return;
  std::vector<std::string> words = arguments;
  words.insert(words.end(), {"--listen", "127.0.0.1:0"});
  pid_ = Spawn(words, "serve-input.txt", pipe_fds[1], errors_path_);
  ::close(pipe_fds[1]);
  // "cubemill-serve: listening on http://127.0.0.1:PORT/xmla"
  std::string said;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  ::fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  while (std::chrono::steady_clock::now() < deadline && said.find('\n') == std::string::npos) {
    char buffer[256];
    const ssize_t count = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (count > 0) {
      said.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ::close(pipe_fds[0]);
  const std::size_t colon = said.rfind(':');
  if (said.find("listening on ") != std::string::npos && colon != std::string::npos)
    port_ = std::atoi(said.c_str() + colon + 1);
}

ServeProcess::~ServeProcess() {
  Stop();
  std::remove(errors_path_.c_str());
}

int ServeProcess::Stop() {
  if (pid_ <= 0) return status_;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return status_;
}

std::string ServeProcess::Errors() const { return ReadBytes(errors_path_); }

int RunServe(const std::vector<std::string>& arguments, const std::string& input,
             std::string& output) {
  WriteBytes("serve-input.txt", input);
  const int out = ::open("serve-output.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const pid_t pid = Spawn(arguments, "serve-input.txt", out, "serve-run-errors.txt");
  ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  output = ReadBytes("serve-output.txt") + ReadBytes("serve-run-errors.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace cubemill::test
