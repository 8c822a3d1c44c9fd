// The options both programs take to shape a run: --port PORT, --sim OPTIONS, --trace TRACEFILE
// and --no-log, each value as the next word or after '=' (--port sim, --port=sim).
#pragma once

#include <string>
#include <vector>

#include "run/port_environment.h"

namespace m4410 {

// The options read once: every later step (the start's privilege, the port environment, the
// update log) takes these values, never the text again.
struct RunOptions {
  PortSetup port;       // none given: the machine's own parallel port
  bool no_log = false;  // --no-log: the run leaves no line in the update log
  bool port_given = false;
  bool sim_given = false;
  bool trace_given = false;
  bool no_log_given = false;
};

// Takes the shared options out of words and leaves every other word in *rest, in order, for
// the program's own reading; "--" and every word after it go to *rest untouched. --sim alone
// chooses the simulated box. False with a message naming the offending option or the
// --port value that is wrong.
bool ParseRunOptions(const std::vector<std::string>& words, RunOptions* out,
                     std::vector<std::string>* rest, std::string* error);

// The one text both programs give for an option neither knows.
std::string UnknownOptionText(const std::string& word);

}  // namespace m4410
