#include "ui/updater_options.h"

#include <cstddef>

#include "run/run_options.h"

namespace m4410 {

std::string UpdaterUsageText() {
  return "usage: marlovine-updater [--port PORT] [--sim OPTIONS] [--trace TRACEFILE] [--no-log]\n"
         "       marlovine-updater --help | --version\n"
         "PORT is lpt (0x378, extended registers at 0x778, the default), lpt:BASE[,ECPBASE],\n"
         "or sim (a simulated box, shaped by --sim key=value,...).\n";
}

bool ParseUpdaterOptions(const std::vector<std::string>& arguments, UpdaterOptions* out,
                         std::string* error) {
  RunOptions shared;
  std::vector<std::string> rest;
  const std::vector<std::string> words(arguments.empty() ? arguments.end() : arguments.begin() + 1,
                                       arguments.end());
  if (!ParseRunOptions(words, &shared, &rest, error)) return false;
  // This program has no options of its own beyond --help and --version, answered before.
  if (!rest.empty()) {
    const std::string& word = rest.front();
    *error = word.rfind('-', 0) == 0
                 ? UnknownOptionText(word)
                 : "unexpected argument '" + word + "'; the update file is chosen in the window";
    return false;
  }
  out->port = shared.port;
  out->no_log = shared.no_log;
  return true;
}

std::optional<std::string> PortBeforeToolkit(const std::vector<std::string>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help" || word == "-h" || word == "--version") return std::nullopt;
  }
  // Read by the same rules as the options proper, the toolkit's own words left aside. A line
  // that will be refused takes no port at all.
  RunOptions shared;
  std::vector<std::string> rest;
  std::string error;
  const std::vector<std::string> words(arguments.empty() ? arguments.end() : arguments.begin() + 1,
                                       arguments.end());
  if (!ParseRunOptions(words, &shared, &rest, &error)) return std::nullopt;
  return shared.port.port;
}

}  // namespace m4410
