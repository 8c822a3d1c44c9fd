// Runs a program as an operator or a script would, on Linux and on Windows alike: in a
// folder of its own, standard input empty, standard error (and usually output) into files.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace m4410 {

enum class ChildOutput {
  File,        // standard output into the file given
  BrokenPipe,  // a pipe whose reader has gone, as after `| head -3`
  Closed,      // no standard output at all
};

class ChildProcess {
 public:
  // Starts program with args in dir; false (and nothing running) if it could not start.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::filesystem::path& dir, const std::filesystem::path& out,
             const std::filesystem::path& err, ChildOutput output = ChildOutput::File);

  // Waits up to limit for the exit. False if it did not end in time; it is then killed.
  bool Wait(std::chrono::milliseconds limit, int* exit_status);

  // What an operator's Ctrl-C does: SIGINT on Linux, Ctrl-Break to the child's own process
  // group on Windows (Ctrl-C cannot be sent to one group alone). False where the system
  // cannot deliver it (Wine delivers no console events).
  bool Interrupt();

  // Linux only: sends a signal.
  void Signal(int signal_number);

  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();

 private:
  long long id_ = -1;        // pid, or the process handle on Windows
  unsigned long group_ = 0;  // Windows: the child's process group, its own
  bool running_ = false;
};

// Sets (or with an empty value removes) a variable for the children started after it.
void SetEnvironment(const std::string& name, const std::string& value);

}  // namespace m4410
