#include "run/program_start.h"

#include "os/library_search.h"
#include "os/running_copy.h"
#include "privilege/port_copy_handoff.h"
#include "privilege/start_privilege.h"
#include "run/standard_descriptors.h"
#include "run/update_log.h"

namespace m4410 {

ProgramStarted StartProgram(const ProgramStartSteps& steps) {
  LoadLibrariesFromTheSystemOnly();
  // Before any file is opened, so none takes the place of a closed standard stream.
  EnsureStandardDescriptors();
  // The command line alone chooses the port; then whatever the program was given beyond that
  // goes, before any toolkit, plugin or file is touched.
  const RunOptions* options = steps.read_command_line();
  HandRealPortRunToCopy(steps.program, options ? &options->port.port : nullptr);
  TakePortThenDropPrivileges(steps.program, options ? &options->port.port : nullptr);
  AnnounceRunningCopy();

  ProgramStarted started;
  if (steps.own_first_steps) started.exit_status = steps.own_first_steps();
  if (started.exit_status) return started;
  if (!options) {
    started.refusal = "no port to run on";
    return started;
  }
  static const std::vector<std::string> kNone;
  started.environment = PortEnvironment::Install(options->port, &started.refusal,
                                                 steps.not_trace ? *steps.not_trace : kNone);
  if (started.environment) ConfigureUpdateLog(steps.program, options->port.port, !options->no_log);
  return started;
}

}  // namespace m4410
