#include "run/run_options.h"

#include <cstddef>
#include <utility>

#include "port/port_choice.h"

namespace m4410 {

namespace {

// --port's text, read where it is met; --sim and --trace keep theirs.
struct ValueOption {
  const char* name;
  std::string PortSetup::*value;  // nullptr: --port
  bool RunOptions::*given;
};

constexpr ValueOption kValueOptions[] = {
    {"--port", nullptr, &RunOptions::port_given},
    {"--sim", &PortSetup::sim, &RunOptions::sim_given},
    {"--trace", &PortSetup::trace, &RunOptions::trace_given},
};

}  // namespace

std::string UnknownOptionText(const std::string& word) {
  return "unknown option '" + word + "'";
}

bool ParseRunOptions(const std::vector<std::string>& words, RunOptions* out,
                     std::vector<std::string>* rest, std::string* error) {
  RunOptions parsed;
  std::string port_text;
  std::vector<std::string> others;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--") {
      // Operands only from here on: a file name may start with a dash.
      others.insert(others.end(), words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
      break;
    }
    const std::size_t eq = word.find('=');
    const bool inline_value = word.rfind("--", 0) == 0 && eq != std::string::npos && eq > 2;
    const std::string name = inline_value ? word.substr(0, eq) : word;

    if (name == "--no-log") {
      if (inline_value) {
        *error = "option '--no-log' takes no value";
        return false;
      }
      parsed.no_log = true;
      parsed.no_log_given = true;
      continue;
    }
    const ValueOption* option = nullptr;
    for (const ValueOption& candidate : kValueOptions) {
      if (name == candidate.name) option = &candidate;
    }
    if (option == nullptr) {
      others.push_back(word);
      continue;
    }
    if (parsed.*option->given) {
      *error = "option '" + name + "' given twice";
      return false;
    }
    std::string value;
    if (inline_value) {
      value = word.substr(eq + 1);
    } else if (i + 1 < words.size()) {
      value = words[++i];
    }
    if (value.empty()) {
      *error = "option '" + name + "' needs a value";
      return false;
    }
    if (option->value == nullptr) {
      port_text = value;
    } else {
      parsed.port.*option->value = value;
    }
    parsed.*option->given = true;
  }
  if (parsed.sim_given) {
    // The simulation options shape only the simulated box, so they choose it.
    if (!parsed.port_given) {
      port_text = "sim";
    } else if (port_text != "sim") {
      *error = "option '--sim' needs '--port sim', not '--port " + port_text + "'";
      return false;
    }
  }
  if (!port_text.empty()) {
    const PortChoiceResult choice = ParsePortChoice(port_text);
    if (!choice.choice) {
      *error = choice.error;
      return false;
    }
    parsed.port.port = *choice.choice;
  }
  *out = parsed;
  *rest = std::move(others);
  return true;
}

}  // namespace m4410
