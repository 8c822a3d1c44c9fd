#include "ui/updater_options.h"

namespace m4410 {

std::string UpdaterUsageText() {
  return "usage: marlovine-updater [--port PORT] [--sim OPTIONS] [--trace TRACEFILE] [--no-log]\n"
         "       marlovine-updater --help | --version\n"
         "PORT is lpt (0x378, extended registers at 0x778, the default), lpt:BASE[,ECPBASE],\n"
         "or sim (a simulated box, shaped by --sim key=value,...).\n";
}

bool ParseUpdaterOptions(const std::vector<std::string>& arguments, UpdaterOptions* out,
                         std::string* error) {
  UpdaterOptions parsed;
  bool port_given = false;
  bool sim_given = false;
  bool trace_given = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    std::string* target = nullptr;
    bool* given = nullptr;
    std::string name = word;
    std::string value;
    bool inline_value = false;
    // Both "--port sim" and "--port=sim".
    const std::size_t eq = word.find('=');
    if (word.rfind("--", 0) == 0 && eq != std::string::npos && eq > 2) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
      inline_value = true;
    }
    if (word == "--no-log") {
      parsed.no_log = true;
      continue;
    }
    if (name == "--port") {
      target = &parsed.port.port;
      given = &port_given;
    } else if (name == "--sim") {
      target = &parsed.port.sim;
      given = &sim_given;
    } else if (name == "--trace") {
      target = &parsed.port.trace;
      given = &trace_given;
    } else if (word.rfind('-', 0) == 0) {
      *error = "unknown option '" + word + "'";
      return false;
    } else {
      *error = "unexpected argument '" + word + "'; the update file is chosen in the window";
      return false;
    }
    if (*given) {
      *error = "option '" + name + "' given twice";
      return false;
    }
    if (!inline_value) {
      if (i + 1 >= arguments.size()) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (value.empty()) {
      *error = "option '" + name + "' needs a value";
      return false;
    }
    *given = true;
    *target = value;
  }
  if (sim_given) {
    // The simulation options shape only the simulated box, so they choose it.
    if (!port_given) {
      parsed.port.port = "sim";
    } else if (parsed.port.port != "sim") {
      *error = "option '--sim' needs '--port sim', not '--port " + parsed.port.port + "'";
      return false;
    }
  }
  *out = parsed;
  return true;
}

std::optional<std::string> PortBeforeToolkit(const std::vector<std::string>& arguments) {
  std::optional<std::string> port;
  bool sim = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help" || word == "-h" || word == "--version") return std::nullopt;
    if (word == "--port" && i + 1 < arguments.size()) {
      if (!port) port = arguments[i + 1];
      ++i;
    } else if (word.rfind("--port=", 0) == 0) {
      if (!port) port = word.substr(7);
    } else if (word == "--sim" || word.rfind("--sim=", 0) == 0) {
      sim = true;
    }
  }
  if (!port) port = sim ? "sim" : "lpt";
  return port;
}

}  // namespace m4410
