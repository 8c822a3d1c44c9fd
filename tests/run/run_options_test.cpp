// Both programs read the shared options alike: every spelling, and every mistake in the same
// words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "ui/updater_options.h"

namespace m4410 {
namespace {

// The port as PortChoiceName spells it, with the --sim and --trace texts.
struct Port {
  std::string port;
  std::string sim;
  std::string trace;
};

Port Spelled(const PortSetup& setup) { return {PortChoiceName(setup.port), setup.sim, setup.trace}; }

struct Read {
  bool ok = false;
  Port port;
  bool no_log = false;
  std::string error;
};

using Program = Read (*)(const std::vector<std::string>&);

Read ByCommand(const std::vector<std::string>& options) {
  std::vector<std::string> words{"update", "image.bin"};
  words.insert(words.end(), options.begin(), options.end());
  CliArgs args;
  Read read;
  read.ok = ParseCliArgs(words, &args, &read.error);
  read.port = Spelled(args.run.port);
  read.no_log = args.run.no_log;
  return read;
}

Read ByWindowProgram(const std::vector<std::string>& options) {
  std::vector<std::string> words{"marlovine-updater"};
  words.insert(words.end(), options.begin(), options.end());
  RunOptions parsed;
  Read read;
  read.ok = ParseUpdaterOptions(words, &parsed, &read.error);
  read.port = Spelled(parsed.port);
  read.no_log = parsed.no_log;
  return read;
}

struct Row {
  std::vector<std::string> options;
  Port port;            // when accepted
  bool no_log;
  std::string error;    // empty: accepted
};

const Row kRows[] = {
    {{}, {"lpt", "", ""}, false, ""},
    {{"--port", "sim"}, {"sim", "", ""}, false, ""},
    {{"--port=sim"}, {"sim", "", ""}, false, ""},
    {{"--port=lpt:0xd010,0xd000"}, {"lpt:0xd010,0xd000", "", ""}, false, ""},
    {{"--port", "lpt:888"}, {"lpt", "", ""}, false, ""},
    {{"--port=lpt:53264"}, {"lpt:0xd010,0xd410", "", ""}, false, ""},
    {{"--sim", "clock=virtual"}, {"sim", "clock=virtual", ""}, false, ""},
    {{"--sim=clock=virtual,rate=0"}, {"sim", "clock=virtual,rate=0", ""}, false, ""},
    {{"--port=sim", "--sim", "rate=0"}, {"sim", "rate=0", ""}, false, ""},
    {{"--trace", "t x.txt"}, {"lpt", "", "t x.txt"}, false, ""},
    {{"--trace=t.vcd", "--port", "sim"}, {"sim", "", "t.vcd"}, false, ""},
    {{"--no-log"}, {"lpt", "", ""}, true, ""},
    {{"--port"}, {}, false, "option '--port' needs a value"},
    {{"--port", "usb"}, {}, false, "unknown port 'usb': use lpt, lpt:BASE[,ECPBASE] or sim"},
    {{"--port=lpt:0x37a"}, {}, false, "port base 0x37a is not a multiple of 4"},
    {{"--port="}, {}, false, "option '--port' needs a value"},
    {{"--trace", ""}, {}, false, "option '--trace' needs a value"},
    {{"--sim=a", "--sim", "b"}, {}, false, "option '--sim' given twice"},
    {{"--port", "sim", "--port=lpt"}, {}, false, "option '--port' given twice"},
    {{"--port=lpt", "--sim=rate=0"}, {}, false, "option '--sim' needs '--port sim', not '--port lpt'"},
    {{"--no-log=yes"}, {}, false, "option '--no-log' takes no value"},
    {{"--speed=9"}, {}, false, "unknown option '--speed=9'"},
    {{"--ports", "sim"}, {}, false, "unknown option '--ports'"},
};

TEST(RunOptionsTest, BothProgramsReadEverySpellingAlike) {
  const std::pair<const char*, Program> programs[] = {{"m4410", &ByCommand},
                                                      {"marlovine-updater", &ByWindowProgram}};
  for (const auto& [name, read_by] : programs) {
    for (const Row& row : kRows) {
      std::string line;
      for (const std::string& word : row.options) line += " [" + word + "]";
      SCOPED_TRACE(std::string(name) + line);
      const Read read = read_by(row.options);
      if (row.error.empty()) {
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.port.port, row.port.port);
        EXPECT_EQ(read.port.sim, row.port.sim);
        EXPECT_EQ(read.port.trace, row.port.trace);
        EXPECT_EQ(read.no_log, row.no_log);
      } else {
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error, row.error);
      }
    }
  }
}

}  // namespace
}  // namespace m4410
