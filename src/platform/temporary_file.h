// A temporary file that is removed when its owner fails, and also when SIGINT, SIGTERM or SIGHUP
// ends the process while the file exists.
#pragma once

#include <string>

namespace cubemill::platform {

class TemporaryFile {
 public:
  // Takes charge of the existing file at `path` (an absolute or relative native path). While
  // it is in charge, SIGINT, SIGTERM and SIGHUP remove the file and then end the process with
  // the signal's default action; a signal that is ignored or has a handler of its own
  // (InstallStopSignalHandlers) is left as it is.
  explicit TemporaryFile(std::string path);
  // Removes the file unless Keep was called.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  // The file has been renamed into place: it is no longer removed.
  void Keep();

 private:
  std::string path_;
  int slot_ = -1;  // place in the signal handler's list, -1 when not listed
};

// Removes the files of every TemporaryFile in charge now, for a process that is about to end (a
// fatal signal, the watchdog). Safe to call from a signal handler, and while other threads make
// and drop TemporaryFiles: the files it removes stay off the list, and their places in it are
// not given to new files.
void RemoveListedTemporaryFiles();

}  // namespace cubemill::platform
