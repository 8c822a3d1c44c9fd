#include "ui/updater_options.h"

#include <cstddef>

namespace m4410 {

std::string UpdaterUsageText() {
  return "usage: marlovine-updater [--port PORT] [--sim OPTIONS] [--trace TRACEFILE] [--no-log]\n"
         "       marlovine-updater --help | --version\n"
         "PORT is lpt (0x378, extended registers at 0x778, the default), lpt:BASE[,ECPBASE],\n"
         "or sim (a simulated box, shaped by --sim key=value,...).\n";
}

UpdaterAnswer AnswerAskedFor(const std::vector<std::string>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") return UpdaterAnswer::Help;
    if (arguments[i] == "--version") return UpdaterAnswer::Version;
  }
  return UpdaterAnswer::None;
}

std::string LeftOverWordsError(const std::vector<std::string>& rest) {
  // This program has no options of its own beyond --help and --version, answered before.
  if (rest.empty()) return {};
  const std::string& word = rest.front();
  return word.rfind('-', 0) == 0
             ? UnknownOptionText(word)
             : "unexpected argument '" + word + "'; the update file is chosen in the window";
}

bool ParseUpdaterOptions(const std::vector<std::string>& arguments, RunOptions* out,
                         std::string* error) {
  RunOptions shared;
  std::vector<std::string> rest;
  const std::vector<std::string> words(arguments.empty() ? arguments.end() : arguments.begin() + 1,
                                       arguments.end());
  if (!ParseRunOptions(words, &shared, &rest, error)) return false;
  if (std::string left_over = LeftOverWordsError(rest); !left_over.empty()) {
    *error = std::move(left_over);
    return false;
  }
  *out = shared;
  return true;
}

}  // namespace m4410
