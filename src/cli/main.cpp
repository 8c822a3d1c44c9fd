// m4410: the update run without a window, for scripts, CI and field laptops.
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "cli/update_display.h"
#include "link/ecp_presence.h"
#include "link/parallel_link.h"
#include "port/parport_listing.h"
#include "port/port_driver.h"
#include "run/port_environment.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "run/update_worker.h"
#include "sim/sim_options.h"

namespace m4410 {
namespace {

constexpr int kExitUsage = 64;
constexpr int kExitNoInput = 66;
constexpr int kExitInterrupted = 130;
constexpr int kExitPortNotOpened = 2;
constexpr int kExitNoLink = 3;
constexpr const char* kExitStatusHelp =
    "exit status: 0 completed (probe: linked); 2-7 the first stage that failed (probe: 2 port\n"
    "not opened, 3 no link); 64 command-line error; 66 FILE unreadable; 130 interrupted\n";
constexpr auto kPollInterval = std::chrono::milliseconds(100);

volatile sig_atomic_t interrupts = 0;

// The first interrupt stops the run at its next check, as closing the status window does;
// the second ends the command at once (the kernel drops the port claim with the process).
void OnInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts > 1) _exit(kExitInterrupted);
  LowerKeepGoing();
  static const char note[] =
      "\nstopping at the next safe point (press Ctrl-C again to quit at once)\n";
  const ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
  (void)ignored;
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "m4410: %s\n%s", message.c_str(), CliUsage());
  return kExitUsage;
}

// The file is checked before the port is touched, so a typo costs nothing.
bool CheckReadable(const std::string& path, std::string* why) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *why = "it is a directory";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *why = std::strerror(errno);
    return false;
  }
  std::fclose(file);
  if (S_ISREG(info.st_mode) && info.st_size > std::numeric_limits<std::int32_t>::max()) {
    *why = "it is larger than the 2 GiB the box protocol can announce";
    return false;
  }
  return true;
}

int RunUpdate(const CliArgs& args, PortEnvironment& environment) {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  RaiseKeepGoing();
  CatchInterrupts();
  const std::string path = args.file;
  if (!StartUpdateWorker(&path)) {
    std::fprintf(stderr, "m4410: another update is still running\n");
    return 1;
  }
  UpdateDisplay display(stderr, isatty(STDERR_FILENO) != 0, args.quiet);
  while (UpdateWorkerRunning()) {
    display.Poll();
    std::this_thread::sleep_for(kPollInterval);
  }
  WaitForUpdateWorker();
  const bool interrupted = interrupts > 0;
  display.Finish(interrupted);
  if (environment.simulated()) std::fprintf(stderr, "%s\n", environment.BoxReport().c_str());
  const int status = display.ExitStatus(interrupted);
  // The failed stage says where; the cause says why and what to do about it.
  const std::string cause = RunCause();
  if (status == DriverInitialized) {
    std::fprintf(stderr, "m4410: cannot open the port: %s\n", cause.c_str());
  } else if (!cause.empty()) {
    std::fprintf(stderr, "m4410: %s\n", cause.c_str());
  }
  return status;
}

int RunProbe(PortEnvironment&) {
  std::unique_ptr<PortDriverContext> context;
  if (OpenPortDriver(&context) != 0) {
    std::fprintf(stderr, "m4410: cannot open the port: %s", PortErrorText().c_str());
    return kExitPortNotOpened;
  }
  const EcpPresence presence = CheckEcpRegisters(context.get());
  if (presence != EcpPresence::Present) {
    ClosePortDriver(std::move(context));
    std::fprintf(stderr, "m4410: %s\n", EcpPresenceCause(presence).c_str());
    return kExitNoLink;
  }
  int attempts = 0;
  int linked = 1;
  while (attempts < LinkAttempts && linked != 0) {
    ++attempts;
    linked = EstablishLink(context.get());
  }
  if (linked != 0) {
    ClosePortDriver(std::move(context));
    std::fprintf(stderr, "m4410: %s\n", NoLinkCause(LinkAttempts).c_str());
    return kExitNoLink;
  }
  TerminateLink(context.get());
  ClosePortDriver(std::move(context));
  std::fprintf(stderr, "m4410: link established with the box (attempt %d of %d), then released\n",
               attempts, LinkAttempts);
  return 0;
}

int RunPorts() {
  for (const std::string& line : FormatParportListing(ListParallelPorts())) {
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int Main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  CliArgs args;
  std::string error;
  if (!ParseCliArgs(words, &args, &error)) return UsageError(error);

  switch (args.command) {
    case CliCommand::Help:
      std::printf("%s%s\n\n%s", CliUsage(), std::string(SimOptionsHelp()).c_str(),
                  kExitStatusHelp);
      return 0;
    case CliCommand::Version:
      std::printf("m4410 %s\n", M4410_VERSION);
      return 0;
    case CliCommand::Ports:
      return RunPorts();
    case CliCommand::Update:
    case CliCommand::Probe:
      break;
  }

  if (args.command == CliCommand::Update) {
    std::string why;
    if (!CheckReadable(args.file, &why)) {
      std::fprintf(stderr, "m4410: cannot read '%s': %s\n", args.file.c_str(), why.c_str());
      return kExitNoInput;
    }
  }

  auto environment = PortEnvironment::Install({args.port, args.sim, args.trace}, &error);
  if (!environment) return UsageError(error);
  return args.command == CliCommand::Update ? RunUpdate(args, *environment)
                                            : RunProbe(*environment);
}

}  // namespace
}  // namespace m4410

int main(int argc, char** argv) { return m4410::Main(argc, argv); }
