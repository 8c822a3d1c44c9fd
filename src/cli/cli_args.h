// The m4410 command line.
#pragma once

#include <string>
#include <vector>

#include "run/run_options.h"

namespace m4410 {

enum class CliCommand { Update, Probe, Ports, Log, Help, Version };

struct CliArgs {
  CliCommand command = CliCommand::Help;
  std::string file;              // update
  RunOptions run;                // --port, --sim, --trace, --no-log (update only)
  bool quiet = false;            // --quiet (update only)
};

// false with a message naming the offending word on a usage error.
bool ParseCliArgs(const std::vector<std::string>& args, CliArgs* out, std::string* error);

const char* CliUsage();

}  // namespace m4410
