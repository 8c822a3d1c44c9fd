// The operator's program's command line: [--port PORT] [--sim OPTIONS] [--trace TRACEFILE]
// [--no-log], the same for every windowing system. --help and --version are answered before
// the window system starts.
#pragma once

#include <string>
#include <vector>

#include "run/run_options.h"

namespace m4410 {

// arguments with the program's name first, read as the m4410 command reads its options:
// --sim alone chooses the simulated box. False with a message naming the offending word on a
// usage error.
bool ParseUpdaterOptions(const std::vector<std::string>& arguments, RunOptions* out,
                         std::string* error);

// The refusal of words the program does not take (what is left once the shared options and
// the toolkit's own are out), naming the first; empty when none is left.
std::string LeftOverWordsError(const std::vector<std::string>& rest);

std::string UpdaterUsageText();

// --help (-h) or --version, whichever comes first among the words after the program's name;
// answered before anything else is read.
enum class UpdaterAnswer { None, Help, Version };
UpdaterAnswer AnswerAskedFor(const std::vector<std::string>& arguments);

}  // namespace m4410
