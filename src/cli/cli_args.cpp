#include "cli/cli_args.h"

#include <cstddef>

namespace m4410 {

const char* CliUsage() {
  return "usage: m4410 update FILE [--port PORT] [--sim OPTIONS] [--trace TRACEFILE]\n"
         "                   [--quiet] [--no-log]\n"
         "       m4410 probe [--port PORT] [--sim OPTIONS] [--trace TRACEFILE]\n"
         "       m4410 ports\n"
         "       m4410 log\n"
         "       m4410 --help | --version\n"
         "PORT is lpt (0x378, extended registers at 0x778), lpt:BASE[,ECPBASE], or sim.\n";
}

namespace {

bool TakeCommand(const std::string& word, CliArgs* parsed, std::string* error) {
  if (word == "update") {
    parsed->command = CliCommand::Update;
  } else if (word == "probe") {
    parsed->command = CliCommand::Probe;
  } else if (word == "ports") {
    parsed->command = CliCommand::Ports;
  } else if (word == "log") {
    parsed->command = CliCommand::Log;
  } else {
    *error = "unknown command '" + word + "'";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCliArgs(const std::vector<std::string>& args, CliArgs* out, std::string* error) {
  CliArgs parsed;
  bool have_command = false;
  bool port_given = false;
  bool sim_given = false;
  bool trace_given = false;
  bool options_ended = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    const bool is_option = !options_ended && word.size() > 1 && word[0] == '-';

    if (is_option) {
      if (word == "--") {
        options_ended = true;  // later words are operands, so a file may start with '-'
        continue;
      }
      if (word == "--help" || word == "-h") {
        out->command = CliCommand::Help;
        return true;
      }
      if (word == "--version") {
        out->command = CliCommand::Version;
        return true;
      }
      if (word == "--quiet" || word == "-q") {
        parsed.quiet = true;
        continue;
      }
      if (word == "--no-log") {
        parsed.no_log = true;
        continue;
      }
      std::string* target = nullptr;
      bool* given = nullptr;
      if (word == "--port") {
        target = &parsed.port;
        given = &port_given;
      } else if (word == "--sim") {
        target = &parsed.sim;
        given = &sim_given;
      } else if (word == "--trace") {
        target = &parsed.trace;
        given = &trace_given;
      } else {
        *error = "unknown option '" + word + "'";
        return false;
      }
      if (*given) {
        *error = "option '" + word + "' given twice";
        return false;
      }
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "option '" + word + "' needs a value";
        return false;
      }
      *target = args[++i];
      *given = true;
      continue;
    }

    if (!have_command) {
      if (!TakeCommand(word, &parsed, error)) return false;
      have_command = true;
    } else if (parsed.command == CliCommand::Update && parsed.file.empty()) {
      parsed.file = word;
    } else {
      *error = "unexpected argument '" + word + "'";
      return false;
    }
  }

  if (!have_command) {
    *error = "no command given";
    return false;
  }
  if (parsed.command == CliCommand::Update && parsed.file.empty()) {
    *error = "update needs the FILE to send";
    return false;
  }
  if (parsed.quiet && parsed.command != CliCommand::Update) {
    *error = "option '--quiet' applies to update only";
    return false;
  }
  if (parsed.no_log && parsed.command != CliCommand::Update) {
    *error = "option '--no-log' applies to update only";
    return false;
  }
  if ((parsed.command == CliCommand::Ports || parsed.command == CliCommand::Log) &&
      (port_given || sim_given || trace_given)) {
    *error = std::string(parsed.command == CliCommand::Ports ? "ports" : "log") +
             " takes no options";
    return false;
  }
  if (sim_given) {
    // The simulation options shape only the simulated box, so they choose it.
    if (!port_given) {
      parsed.port = "sim";
    } else if (parsed.port != "sim") {
      *error = "option '--sim' needs '--port sim', not '--port " + parsed.port + "'";
      return false;
    }
  }
  *out = parsed;
  return true;
}

}  // namespace m4410
