// The operator's program's command line: [--port PORT] [--sim OPTIONS] [--trace TRACEFILE]
// [--no-log], the same for every windowing system.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/port_environment.h"

namespace m4410 {

// --help and --version are answered before the window system starts.
struct UpdaterOptions {
  PortChoiceText port;  // no options: the machine's own parallel port
  bool no_log = false;  // --no-log: runs leave no line in the update log
};

// arguments with the program's name first, read as the m4410 command reads its options:
// --sim alone chooses the simulated box. False with a message naming the offending word on a
// usage error.
bool ParseUpdaterOptions(const std::vector<std::string>& arguments, UpdaterOptions* out,
                         std::string* error);

std::string UpdaterUsageText();

// The --port choice read from the raw command line before the toolkit takes its own options
// out, by the same rules: "sim" where --sim alone is given, "lpt" by default, nothing for
// --help and --version or for shared options that will be refused.
// The claim of each run holds to the port taken with it, so a word the toolkit takes later
// cannot widen what the program may reach.
std::optional<std::string> PortBeforeToolkit(const std::vector<std::string>& arguments);

}  // namespace m4410
