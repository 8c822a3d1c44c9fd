#include "cli/cli_args.h"

#include <gtest/gtest.h>

namespace m4410 {
namespace {

struct Parsed {
  bool ok;
  CliArgs args;
  std::string error;
};

Parsed Parse(std::vector<std::string> words) {
  Parsed parsed{};
  parsed.ok = ParseCliArgs(words, &parsed.args, &parsed.error);
  return parsed;
}

TEST(CliArgsTest, UpdateTakesFileAndOptionsInAnyOrder) {
  const Parsed p = Parse({"--port", "sim", "update", "--quiet", "image.bin", "--trace", "t.txt"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.args.command, CliCommand::Update);
  EXPECT_EQ(p.args.file, "image.bin");
  EXPECT_EQ(p.args.run.port.port.kind, PortKind::Sim);
  EXPECT_EQ(p.args.run.port.trace, "t.txt");
  EXPECT_TRUE(p.args.quiet);
}

TEST(CliArgsTest, DefaultsToTheMachinesPort) {
  const Parsed p = Parse({"probe"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(PortChoiceName(p.args.run.port.port), "lpt");
  EXPECT_TRUE(p.args.run.port.sim.empty());
}

TEST(CliArgsTest, SimOptionsChooseTheSimulatedBox) {
  const Parsed implied = Parse({"probe", "--sim", "clock=virtual"});
  ASSERT_TRUE(implied.ok);
  EXPECT_EQ(implied.args.run.port.port.kind, PortKind::Sim);

  const Parsed clash = Parse({"probe", "--port", "lpt", "--sim", "clock=virtual"});
  EXPECT_FALSE(clash.ok);
  EXPECT_NE(clash.error.find("--port lpt"), std::string::npos);
}

TEST(CliArgsTest, DoubleDashLetsAFileStartWithADash) {
  const Parsed p = Parse({"update", "--", "-odd name.bin"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.args.file, "-odd name.bin");
}

TEST(CliArgsTest, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse({"update", "--help"}).args.command, CliCommand::Help);
  EXPECT_EQ(Parse({"--version", "bogus"}).args.command, CliCommand::Version);
}

TEST(CliArgsTest, UsageErrorsNameWhatIsWrong) {
  struct Case {
    std::vector<std::string> words;
    std::string named;
  };
  const Case cases[] = {
      {{}, "no command"},
      {{"flash", "x.bin"}, "'flash'"},
      {{"update"}, "FILE"},
      {{"update", "a.bin", "b.bin"}, "'b.bin'"},
      {{"update", "a.bin", "--speed", "9"}, "'--speed'"},
      {{"update", "a.bin", "--port"}, "'--port' needs a value"},
      {{"update", "a.bin", "--port", "sim", "--port", "lpt"}, "given twice"},
      {{"probe", "--quiet"}, "'--quiet'"},
      {{"ports", "--port", "sim"}, "no options"},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.words);
    EXPECT_FALSE(p.ok) << c.named;
    EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
  }
}

}  // namespace
}  // namespace m4410
