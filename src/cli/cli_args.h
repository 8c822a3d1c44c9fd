// The m4410 command line.
#pragma once

#include <string>
#include <vector>

namespace m4410 {

enum class CliCommand { Update, Probe, Ports, Log, Help, Version };

struct CliArgs {
  CliCommand command = CliCommand::Help;
  std::string file;              // update
  std::string port = "lpt";      // --port
  std::string sim;               // --sim
  std::string trace;             // --trace
  bool quiet = false;            // --quiet (update only)
  bool no_log = false;           // --no-log (update only): no line in the update log
};

// false with a message naming the offending word on a usage error.
bool ParseCliArgs(const std::vector<std::string>& args, CliArgs* out, std::string* error);

const char* CliUsage();

}  // namespace m4410
