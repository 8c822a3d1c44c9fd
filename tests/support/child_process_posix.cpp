#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "support/child_process.h"

extern char** environ;

namespace m4410 {

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, const std::filesystem::path& out,
                         const std::filesystem::path& err, ChildOutput output) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : all) argv.push_back(word.data());
  argv.push_back(nullptr);

  int pipe_ends[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  switch (output) {
    case ChildOutput::File:
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case ChildOutput::BrokenPipe:
      if (::pipe(pipe_ends) != 0) return false;
      ::close(pipe_ends[0]);
      posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
      break;
    case ChildOutput::Closed:
      posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
      break;
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  std::filesystem::current_path(previous);
  posix_spawn_file_actions_destroy(&actions);
  if (pipe_ends[1] >= 0) ::close(pipe_ends[1]);
  running_ = spawned == 0;
  id_ = pid;
  return running_;
}

bool ChildProcess::Wait(std::chrono::milliseconds limit, int* exit_status) {
  if (!running_) return false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  bool ended = true;
  while (::waitpid(static_cast<pid_t>(id_), &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(static_cast<pid_t>(id_), SIGKILL);
      ::waitpid(static_cast<pid_t>(id_), &status, 0);
      ended = false;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  running_ = false;
  *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ended;
}

bool ChildProcess::Interrupt() { return running_ && ::kill(static_cast<pid_t>(id_), SIGINT) == 0; }

void ChildProcess::Signal(int signal_number) {
  if (running_) ::kill(static_cast<pid_t>(id_), signal_number);
}

ChildProcess::~ChildProcess() {
  int ignored;
  if (running_) Wait(std::chrono::milliseconds(0), &ignored);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    ::unsetenv(name.c_str());
  } else {
    ::setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace m4410
