// m4410: the update run without a window, for scripts, CI and field laptops.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "cli/console_redraw.h"
#include "cli/end_requests.h"
#include "cli/help_text.h"
#include "cli/update_display.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "os/files.h"
#include "port/parport_listing.h"
#include "port/port_thread.h"
#include "protocol/update_protocol.h"
#include "run/link_bring_up.h"
#include "run/port_environment.h"
#include "run/program_start.h"
#include "run/run_start.h"
#include "run/update_file_check.h"
#include "run/update_log.h"
#include "run/update_worker.h"
#include "sim/sim_options.h"

namespace m4410 {
namespace {

constexpr int kExitUsage = 64;
constexpr int kExitNoInput = 66;
constexpr int kExitInterrupted = 130;
constexpr int kExitPortNotOpened = 2;
constexpr int kExitNoLink = 3;
constexpr auto kPollInterval = std::chrono::milliseconds(100);

int UsageError(const std::string& message) {
  std::fprintf(stderr, "m4410: %s\n%s", message.c_str(), CliUsage());
  return kExitUsage;
}

int RunUpdate(const CliArgs& args, PortEnvironment& environment) {
  CatchEndRequests(kExitInterrupted);
  const std::string path = args.file;
  // The worker runs on the port thread, which no signal reaches: end requests come to this
  // one and never break off one of the worker's system calls.
  const bool started = BeginUpdateRun(&path, &StartUpdateWorker);
  if (!started) {
    std::fprintf(stderr, "m4410: another update is still running\n");
    return 1;
  }
  UpdateDisplay display(stderr, RedrawFor(stderr), args.quiet);
  bool noted = false;
  bool told_image_goes_on = false;
  bool left = false;
  while (UpdateWorkerRunning()) {
    display.Poll();
    if (EndRequestCount() > 0) {
      if (!noted) {
        noted = true;
        display.NoteInterrupt();
        const std::string what = LastEndRequestName();
        std::fprintf(stderr, "\nm4410: %s: stopping at the next safe point\n", what.c_str());
        std::fflush(stderr);
      }
      if (UpdateSafeToLeave()) {
        // Before the image or once it is out: nothing is being sent, and a box that has the
        // image finishes on its own, so there is nothing left worth waiting for.
        if (!left) LeaveUpdate();
        left = true;
      } else if (!told_image_goes_on) {
        told_image_goes_on = true;
        std::fprintf(stderr,
                     "m4410: the image is going out and is sent whole first (a box cut off "
                     "mid-image cannot start); the run stops after it\n");
      }
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  WaitForUpdateWorker();
  if (EndRequestCount() > 0 && !noted) {
    display.Poll();  // a failure already on the board came before the interrupt
    display.NoteInterrupt();
  }
  display.Finish();
  // Where the box's own data went, as the status window says it.
  if (const std::string box_data = LastBoxDataFile(); !box_data.empty()) {
    std::fprintf(stderr, "Box data written to %s\n", PrintableName(box_data).c_str());
  }
  if (environment.simulated()) std::fprintf(stderr, "%s\n", environment.BoxReport().c_str());
  if (const std::string warning = UpdateLogWarning(); !warning.empty()) {
    std::fprintf(stderr, "m4410: warning: the run is not in the update log: %s\n",
                 warning.c_str());
  }
  const int status = display.ExitStatus();
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
  LinkProbe probe;
  RunOnPortThread([&probe] { probe = ProbeLink(); });
  if (probe.failed_stage == DriverInitialized) {
    std::fprintf(stderr, "m4410: cannot open the port: %s", probe.cause.c_str());
    return kExitPortNotOpened;
  }
  if (probe.failed_stage != 0) {
    std::fprintf(stderr, "m4410: %s\n", probe.cause.c_str());
    return kExitNoLink;
  }
  std::fprintf(stderr, "m4410: link established with the box (attempt %d of %d), then released\n",
               probe.attempts, LinkAttempts);
  return 0;
}

int RunPorts() {
  for (const std::string& line : FormatParportListing(ListParallelPorts())) {
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

// The update log as it stands, oldest run first. Its lines hold no control character, but a
// log written by hand or by an older version might: they are shown escaped, never replayed.
int RunLog() {
  std::string why;
  std::FILE* log = OpenUpdateLogToRead(&why);
  if (!log) {
    const std::string path = PrintableName(UpdateLogPath());
    std::fprintf(stderr, "m4410: no update log to show%s%s: %s\n", path.empty() ? "" : " in ",
                 path.c_str(), why.c_str());
    return 0;
  }
  std::string line;
  int c;
  while ((c = std::fgetc(log)) != EOF) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    std::printf("%s\n", PrintableName(line).c_str());
    line.clear();
  }
  if (!line.empty()) std::printf("%s", PrintableName(line).c_str());
  std::fclose(log);
  return 0;
}

// What the command does before its port environment: the answers that need no port, and the
// update file's check, before the port is touched, so a typo costs nothing.
std::optional<int> FirstSteps(bool parsed, const CliArgs& args, const std::string& error) {
  IgnoreLostOutput();
  if (!parsed) return UsageError(error);
  switch (args.command) {
    case CliCommand::Help:
      std::printf("%s", HelpText().c_str());
      return 0;
    case CliCommand::Version:
      std::printf("m4410 %s\n", M4410_VERSION);
      return 0;
    case CliCommand::Ports:
      return RunPorts();
    case CliCommand::Log:
      return RunLog();
    case CliCommand::Update:
    case CliCommand::Probe:
      break;
  }
  if (args.command == CliCommand::Update) {
    const UpdateFileCheck check = CheckUpdateFile(args.file, UpdateFileAccess::Read);
    if (!check.ok) {
      std::fprintf(stderr, "m4410: cannot send '%s': %s\n", PrintableName(args.file).c_str(),
                   check.why.c_str());
      const std::string remedy = FileRefusalRemedy(check.cause);
      if (!remedy.empty()) std::fprintf(stderr, "m4410: %s\n", remedy.c_str());
      return kExitNoInput;
    }
  }
  return std::nullopt;
}

int Main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  CliArgs args;
  std::string error;
  bool parsed = false;
  std::vector<std::string> not_trace;

  ProgramStartSteps steps;
  steps.program = "m4410";
  steps.read_command_line = [&]() -> const RunOptions* {
    parsed = ParseCliArgs(words, &args, &error);
    if (!parsed || (args.command != CliCommand::Update && args.command != CliCommand::Probe)) {
      return nullptr;
    }
    if (args.command == CliCommand::Update) not_trace.push_back(args.file);
    return &args.run;
  };
  steps.own_first_steps = [&] { return FirstSteps(parsed, args, error); };
  steps.not_trace = &not_trace;
  ProgramStarted started = StartProgram(steps);
  if (started.exit_status) return *started.exit_status;
  if (!started.environment) return UsageError(started.refusal);
  return args.command == CliCommand::Update ? RunUpdate(args, *started.environment)
                                            : RunProbe(*started.environment);
}

}  // namespace
}  // namespace m4410

int main(int argc, char** argv) { return m4410::Main(argc, argv); }
