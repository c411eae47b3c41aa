// cubemill-serve started for a test: the real program on a free loopback port, stopped (SIGTERM,
// then SIGKILL) when the test ends, also when it fails.
#pragma once

#include <string>
#include <vector>

namespace cubemill::test {

class ServeProcess {
 public:
  // Starts cubemill-serve with `arguments` and "--listen 127.0.0.1:0" and waits until it says
  // where it listens (at most 20 s). `input` is its standard input.
  explicit ServeProcess(const std::vector<std::string>& arguments, const std::string& input = "");
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  bool Listening() const { return port_ > 0; }
  int Port() const { return port_; }
  // Sends SIGTERM and returns the exit status (-1 when killed by a signal).
  int Stop();
  // What the program wrote to standard error (its access log among it), so far.
  std::string Errors() const;

 private:
  int pid_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string errors_path_;
};

// Runs cubemill-serve with `arguments` to its end, `input` on standard input; returns the exit
// status and puts standard output and error into `output`.
int RunServe(const std::vector<std::string>& arguments, const std::string& input,
             std::string& output);

}  // namespace cubemill::test
