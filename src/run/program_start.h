// The start of every program, the same steps in their one order: libraries from the system
// only, standard descriptors open, the command line read, a real-port run handed to the port
// copy where this user may run it, the chosen port's permission taken and every privilege
// dropped; then the program's own first steps, and last the port environment and the update
// log. Each main calls StartProgram, then does only what is its own.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/port_environment.h"
#include "run/run_options.h"

namespace m4410 {

struct ProgramStartSteps {
  const char* program = "";  // for the privilege step's message and the update log
  // The program's reading of its command line: words only, no file, toolkit or environment.
  // The run's options when the line drives a port; nullptr when it drives none (help,
  // version, ports, log) or will be refused, so that it takes no port permission.
  std::function<const RunOptions*()> read_command_line;
  // Once privileges are gone and before the port environment: answers that need no port,
  // refusals, the update file's check, the toolkit. An exit status ends the program there;
  // the program must end there when read_command_line gave no options.
  std::function<std::optional<int>()> own_first_steps;
  // Files the trace must never be (the update file), as they stand after the reading.
  const std::vector<std::string>* not_trace = nullptr;
};

struct ProgramStarted {
  std::optional<int> exit_status;                 // the program ends with it
  std::unique_ptr<PortEnvironment> environment;  // the run's port, for the program's life
  std::string refusal;  // why there is no environment: a usage error the program reports
};

ProgramStarted StartProgram(const ProgramStartSteps& steps);

}  // namespace m4410
