#include "cli/cli_args.h"

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
  RunOptions shared;
  std::vector<std::string> words;
  if (!ParseRunOptions(args, &shared, &words, error)) {
    // --help and --version still answer, whatever else the line holds.
    for (const std::string& word : args) {
      if (word == "--") break;
      if (word == "--help" || word == "-h" || word == "--version") {
        out->command = word == "--version" ? CliCommand::Version : CliCommand::Help;
        return true;
      }
    }
    return false;
  }
  CliArgs parsed;
  parsed.run = shared;
  bool have_command = false;
  bool options_ended = false;

  for (const std::string& word : words) {
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
      *error = UnknownOptionText(word);
      return false;
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
  if (parsed.run.no_log && parsed.command != CliCommand::Update) {
    *error = "option '--no-log' applies to update only";
    return false;
  }
  if ((parsed.command == CliCommand::Ports || parsed.command == CliCommand::Log) &&
      (shared.port_given || shared.sim_given || shared.trace_given)) {
    *error = std::string(parsed.command == CliCommand::Ports ? "ports" : "log") +
             " takes no options";
    return false;
  }
  *out = parsed;
  return true;
}

}  // namespace m4410
