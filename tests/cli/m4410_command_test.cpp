// Runs the m4410 executable as an operator or a script would and checks what it says and
// how it exits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_rig.h"
#include "sim/crc32.h"
#include "support/child_process.h"
#include "support/unusual_files.h"

namespace m4410 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(M4410CommandTest, CompleteUpdateOnTheSimulatedBox) {
  const fs::path image = MakeImage(5000);
  const Outcome o = Run({"update", image.string(), "--port", "sim", "--sim", "clock=virtual"});
  EXPECT_EQ(o.exit_status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("File validated: Okay\n"
                               "Driver initialized: Okay\n"
                               "Datalink established: Okay\n"
                               "Box informaition received: Okay\n"));
  EXPECT_THAT(o.err, HasSubstr("New software transmitted: Okay\n"));
  EXPECT_THAT(o.err, HasSubstr("Box updated: Okay\nSoftware updating completed: Okay\n"));
  char last[80];
  std::snprintf(last, sizeof last, "box received 5000 bytes, crc32 %08x, host faults: none\n",
                image_crc_);
  EXPECT_TRUE(o.err.size() >= std::strlen(last) &&
              o.err.compare(o.err.size() - std::strlen(last), std::string::npos, last) == 0)
      << o.err;
  // The diagnostic lines stay on standard output.
  EXPECT_THAT(o.out, HasSubstr("Negotiation succeded\n"));
  EXPECT_THAT(o.out, HasSubstr("size read\n"));
  EXPECT_THAT(o.err, Not(HasSubstr("size read")));
}

TEST_F(M4410CommandTest, QuietPrintsOnlyTheResult) {
  const fs::path image = MakeImage(100);
  const Outcome o =
      Run({"update", image.string(), "--quiet", "--port", "sim", "--sim", "clock=virtual"});
  EXPECT_EQ(o.exit_status, 0);
  EXPECT_THAT(o.err, HasSubstr("Software updating completed: Okay\n"));
  EXPECT_THAT(o.err, Not(HasSubstr("File validated")));
  EXPECT_THAT(o.err, Not(HasSubstr("Sending data")));
}

TEST_F(M4410CommandTest, ExitStatusIsTheFirstStageThatFailed) {
  const fs::path image = MakeImage(5000);
  struct Case {
    std::string sim;
    int status;
    std::string line;
    std::string cause;  // the closing line: what happened
  };
  const std::string kNoLink = "port opened, but no box answered";
  const Case cases[] = {
      {"answer-on-attempt=4", 3, "Datalink established: Failed\n", kNoLink},
      {"confirm=no", 3, "Datalink established: Failed\n", kNoLink},
      {"setup=no", 3, "Datalink established: Failed\n", kNoLink},
      {"opening=no", 4, "Box informaition received: Failed\n", "the box never sent its record"},
      {"drop-select-at=1000", 5, "New software transmitted: Failed\n",
       "the link dropped after 10"},
      {"stall-at=1000", 5, "New software transmitted: Failed\n",
       "the box stopped taking bytes after 10"},
      {"closing=no", 6, "Box updated: Failed\n", "the box did not confirm within 600 s"},
  };
  for (const Case& c : cases) {
    const Outcome o = Run({"update", image.string(), "--sim", "clock=virtual," + c.sim});
    EXPECT_EQ(o.exit_status, c.status) << c.sim << "\n" << o.err;
    EXPECT_THAT(o.err, HasSubstr(c.line)) << c.sim;
    EXPECT_THAT(o.err, HasSubstr("\nm4410: " + c.cause)) << c.sim;
    // Stage 7 reports only on runs that reached the transfer.
    EXPECT_EQ(o.err.find("Software updating completed: Failed\n") != std::string::npos,
              c.status >= 4)
        << c.sim;
  }
}

TEST_F(M4410CommandTest, LinkAnsweredOnTheThirdAttemptStillCompletes) {
  const fs::path image = MakeImage(300);
  const Outcome o = Run({"update", image.string(), "--sim", "clock=virtual,answer-on-attempt=3"});
  EXPECT_EQ(o.exit_status, 0) << o.err;
}

TEST_F(M4410CommandTest, LostLinkIsReportedOnStandardOutput) {
  const fs::path image = MakeImage(5000);
  const Outcome o = Run({"update", image.string(), "--sim", "clock=virtual,drop-select-at=1000"});
  EXPECT_TRUE(std::regex_search(o.out, std::regex("Write error -1, byte written [0-9]+\n")))
      << o.out;
}

TEST_F(M4410CommandTest, AnythingButAPlainNonEmptyFileIsRefusedBeforeThePort) {
  const UnusualFiles unusual(dir_);
  const fs::path empty = dir_ / "empty.bin";
  std::ofstream(empty).close();
  struct Case {
    std::string path;
    std::string why;
  };
  std::vector<Case> cases = {
      {(dir_ / "nowhere.bin").string(), MissingFileReason()},
      {dir_.string(), "a directory"},
      {empty.string(), "empty"},
  };
  for (const UnusualFile& file : unusual.all()) cases.push_back({file.path, file.kind});
  const std::string trace = (dir_ / "trace.txt").string();
  for (const Case& c : cases) {
    // A named pipe opened for reading would block: Wait's bound catches that hang.
    const Outcome o = Run({"update", c.path, "--sim", "clock=virtual", "--trace", trace});
    EXPECT_EQ(o.exit_status, 66) << c.path;
    EXPECT_THAT(o.err, HasSubstr("'" + c.path + "': ")) << c.path;
    EXPECT_THAT(o.err, HasSubstr(c.why)) << c.path;
    EXPECT_EQ(o.out, "") << c.path << ": the reason belongs on standard error";
    EXPECT_FALSE(fs::exists(trace)) << c.path << ": the port was set up for a file that cannot be sent";
  }
}

TEST_F(M4410CommandTest, TraceThatWouldOverwriteTheImageOrTheBoxDataIsRefused) {
  const fs::path image = MakeImage(3000);
  const fs::path alias = dir_ / "alias.bin";
  const fs::path hard = dir_ / "hard.bin";
  fs::create_hard_link(image, hard);
  const std::string box_data = (dir_ / "0").string();
  std::vector<std::string> traces{image.string(), hard.string(), std::string("image.bin"),
                                  std::string("0"), box_data};
  // Windows lets only some users make symbolic links.
  std::error_code linked;
  fs::create_symlink(image, alias, linked);
  if (!linked) traces.push_back(alias.string());
  for (const std::string& trace : traces) {
    const Outcome o =
        Run({"update", image.string(), "--sim", "clock=virtual,box-data=500", "--trace", trace});
    EXPECT_EQ(o.exit_status, 64) << trace;
    EXPECT_THAT(o.err, HasSubstr("trace file '" + trace + "'")) << trace;
    EXPECT_THAT(o.err, Not(HasSubstr("File validated"))) << trace;
    EXPECT_EQ(fs::file_size(image), 3000u) << trace;
    const std::string bytes = Slurp(image);
    EXPECT_EQ(Crc32Extend(0, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
              image_crc_)
        << trace;
    EXPECT_FALSE(fs::exists(box_data)) << trace << ": a refused trace is not left behind";
  }
}

TEST_F(M4410CommandTest, UsageErrorsExit64AndNameTheProblem) {
  const fs::path image = MakeImage(10);
  const Outcome option = Run({"update", image.string(), "--fast"});
  EXPECT_EQ(option.exit_status, 64);
  EXPECT_THAT(option.err, HasSubstr("'--fast'"));
  EXPECT_THAT(option.err, HasSubstr("usage:"));

  const Outcome key = Run({"probe", "--sim", "colour=blue"});
  EXPECT_EQ(key.exit_status, 64);
  EXPECT_THAT(key.err, HasSubstr("colour"));

  const Outcome port = Run({"probe", "--port", "lpt:0x379"});
  EXPECT_EQ(port.exit_status, 64);
  EXPECT_THAT(port.err, HasSubstr("0x379"));
}

TEST_F(M4410CommandTest, HelpAndVersion) {
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_THAT(help.out, HasSubstr("m4410 update FILE"));
  EXPECT_THAT(help.out, HasSubstr("answer-on-attempt"));
  EXPECT_THAT(help.out, HasSubstr("bus-ns=N"));  // the last of the keys, after the wrapping
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_THAT(version.out, ::testing::StartsWith("m4410 "));
}

// Each port the system knows, with the --port value that reaches it, or what to do when
// there is none (these machines and Wine have none).
TEST_F(M4410CommandTest, PortsListsWhatTheSystemKnows) {
  const Outcome o = Run({"ports"});
  EXPECT_EQ(o.exit_status, 0);
  std::istringstream lines(o.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  if (line == "no parallel ports found") {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_THAT(line, ::testing::StartsWith("("));
  } else {
    do {
      EXPECT_TRUE(std::regex_search(line, std::regex(": base 0x[0-9a-f]+, .*  --port lpt")))
          << line;
    } while (std::getline(lines, line));
  }
}

TEST_F(M4410CommandTest, ProbeSaysWhetherTheBoxAnswers) {
  const Outcome linked = Run({"probe", "--sim", "clock=virtual"});
  EXPECT_EQ(linked.exit_status, 0) << linked.err;
  EXPECT_THAT(linked.err, HasSubstr("link established"));
  // Both spellings of every shared option, and the attempt that answered.
  const Outcome third =
      Run({"probe", "--port=sim", "--sim=clock=virtual,answer-on-attempt=3"});
  EXPECT_EQ(third.exit_status, 0) << third.err;
  EXPECT_THAT(third.err, HasSubstr("(attempt 3 of 3)"));

  const Outcome silent = Run({"probe", "--sim", "clock=virtual,answer-on-attempt=0"});
  EXPECT_EQ(silent.exit_status, 3);
  EXPECT_THAT(silent.err, HasSubstr("no box answered"));
}

// A port without ECP registers: stage 3 fails after three attempts with that cause.
TEST_F(M4410CommandTest, APortWithoutEcpRegistersIsNamedAsSuch) {
  const fs::path image = MakeImage(100);
  for (const auto& args : {std::vector<std::string>{"probe", "--sim", "clock=virtual,ecp=no"},
                           std::vector<std::string>{"update", image.string(), "--sim",
                                                    "clock=virtual,ecp=no"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit_status, 3) << args[0] << ": " << o.err;
    EXPECT_THAT(o.err, HasSubstr("no ECP registers at the port's extended address")) << args[0];
    EXPECT_THAT(o.err, Not(HasSubstr("no box answered"))) << args[0];
  }
}

TEST_F(M4410CommandTest, WithoutPortAccessTheCauseIsGivenOnceOnStandardError) {
  if (fs::exists("/dev/port")) GTEST_SKIP() << "this machine has port I/O";
  const fs::path image = MakeImage(10);
  const std::vector<std::vector<std::string>> commands = {{"probe"}, {"update", image.string()}};
  for (const auto& command : commands) {
    const Outcome o = Run(command);
    EXPECT_EQ(o.exit_status, 2) << o.err;
    if (command[0] == "update") {
      EXPECT_THAT(o.err, HasSubstr("Driver initialized: Failed\n"));
    }
    const std::string label = "cannot open the port: ";
    const std::size_t at = o.err.find(label);
    ASSERT_NE(at, std::string::npos) << o.err;
    const std::string cause = o.err.substr(at + label.size(), 30);
    EXPECT_EQ(o.err.find(cause, at + label.size() + 1), std::string::npos) << o.err;
    EXPECT_THAT(o.out, Not(HasSubstr(cause)));
    // Where the port driver is missing (Windows), the line says what to install.
    if (o.err.find("WinDriver") != std::string::npos) {
      EXPECT_THAT(o.err, HasSubstr("Cannot open WinDriver device: the port driver (WinDriver, "
                                   "version 412 or later) is not installed or not running"));
    }
  }
}

// Box data the box sends lands in "0" in the current folder, and the command says where, as
// the status window does; without box data it says nothing of it.
TEST_F(M4410CommandTest, SaysWhereItWroteTheBoxData) {
  const fs::path image = MakeImage(100);
  const Outcome none = Run({"update", image.string(), "--sim", "clock=virtual"});
  EXPECT_THAT(none.err, Not(HasSubstr("Box data")));
  const Outcome o = Run({"update", image.string(), "--sim", "clock=virtual,box-data=300"});
  EXPECT_EQ(o.exit_status, 0) << o.err;
  const std::string said = "Box data written to ";
  const std::size_t at = o.err.find(said);
  ASSERT_NE(at, std::string::npos) << o.err;
  const std::size_t from = at + said.size();
  const fs::path named = o.err.substr(from, o.err.find('\n', from) - from);
  EXPECT_TRUE(named.is_absolute()) << named;
  EXPECT_TRUE(fs::equivalent(named, dir_ / "0")) << named;
  EXPECT_EQ(fs::file_size(dir_ / "0"), 300u);
}

// Each update leaves one line in the update log, which `m4410 log` prints; --no-log leaves
// none, and a log that cannot be written costs a warning, never the update.
TEST_F(M4410CommandTest, EachUpdateLeavesOneLineInTheLog) {
  const fs::path image = MakeImage(3000);
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", image_crc_);
  const char* outer = std::getenv("XDG_STATE_HOME");
  const std::string previous = outer != nullptr ? outer : "";
  SetEnvironment("XDG_STATE_HOME", (dir_ / "state").string());
  EXPECT_EQ(Run({"update", image.string(), "--sim", "clock=virtual"}).exit_status, 0);
  EXPECT_EQ(Run({"update", image.string(), "--sim", "clock=virtual", "--no-log"}).exit_status, 0);
  EXPECT_EQ(Run({"update", image.string(), "--sim", "clock=virtual,opening=no"}).exit_status, 4);
  EXPECT_EQ(Run({"update", image.string(), "--sim", "clock=virtual,answer-on-attempt=0"})
                .exit_status,
            3);

  const Outcome log = Run({"log"});
  ASSERT_EQ(log.exit_status, 0);
  std::istringstream lines(log.out);
  std::vector<std::string> entries;
  for (std::string line; std::getline(lines, line);) entries.push_back(line);
  ASSERT_EQ(entries.size(), 3u) << log.out;
  // The log quotes the path, backslashes (Windows' separators) included.
  std::string quoted;
  for (const char c : image.string()) quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::string common = " m4410 port=sim file=\"" + quoted + "\" size=3000 crc32=" + crc;
  EXPECT_THAT(entries[0], HasSubstr(common + " box=00004410,00010002,00000000 stages=Okay,Okay,"
                                             "Okay,Okay,Okay,Okay,Okay duration="));
  EXPECT_THAT(entries[1], HasSubstr(common + " box=- stages=Okay,Okay,Okay,Failed,-,-,Failed"));
  // Stopped before the image was read: the size stage 1 saw, no checksum.
  EXPECT_THAT(entries[2], HasSubstr(" size=3000 crc32=- box=- stages=Okay,Okay,Failed,"));

  // A file where the log's folder should be: the update completes, and says so once.
  std::ofstream(dir_ / "blocked") << "x";
  SetEnvironment("XDG_STATE_HOME", (dir_ / "blocked").string());
  const Outcome blocked = Run({"update", image.string(), "--sim", "clock=virtual"});
  SetEnvironment("XDG_STATE_HOME", previous);
  EXPECT_EQ(blocked.exit_status, 0);
  const std::string warning = "not in the update log";
  EXPECT_THAT(blocked.err, HasSubstr(warning));
  EXPECT_EQ(blocked.err.find(warning), blocked.err.rfind(warning));
}

TEST_F(M4410CommandTest, TraceHasOneLinePerRegisterAccess) {
  const std::string trace = (dir_ / "trace.txt").string();
  const Outcome o = Run({"probe", "--sim", "clock=virtual", "--trace", trace});
  ASSERT_EQ(o.exit_status, 0);
  std::istringstream lines(Slurp(trace));
  const std::regex shape(R"(([0-9]+) ([RW]) (0x[0-9a-f]+) (0x[0-9a-f]{2}))");
  std::string line;
  long long previous = -1;
  int count = 0;
  bool saw_config_b = false;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const long long micros = std::stoll(m[1]);
    EXPECT_GE(micros, previous) << line;
    previous = micros;
    if (m[2] == "W" && m[3] == "0x779" && m[4] == "0x0b") saw_config_b = true;
    ++count;
  }
  EXPECT_GT(count, 10);
  EXPECT_TRUE(saw_config_b) << "the ECP setup writes configuration register B";
  // The negotiation comes first, its ECR read for standard mode; a link that came up never
  // reads the data register.
  const std::string text = Slurp(trace);
  EXPECT_THAT(text.substr(0, text.find('\n')), ::testing::EndsWith(" R 0x77a 0x15"));
  EXPECT_THAT(text, Not(HasSubstr(" R 0x378 ")));
}

TEST_F(M4410CommandTest, LostOutputNeitherStopsTheRunNorLandsInTheTrace) {
  const fs::path image = MakeImage(5000);
  const Outcome piped = Wait(Spawn({"update", image.string(), "--sim", "clock=virtual"},
                                   ChildOutput::BrokenPipe));
  EXPECT_EQ(piped.exit_status, 0) << piped.err;
  EXPECT_THAT(piped.err, HasSubstr(WholeImage(5000)));

  // With standard output closed, the trace file must not become descriptor 1.
  const std::string trace = (dir_ / "trace.txt").string();
  const Outcome closed = Wait(Spawn(
      {"update", image.string(), "--sim", "clock=virtual", "--trace", trace}, ChildOutput::Closed));
  EXPECT_EQ(closed.exit_status, 0) << closed.err;
  const std::string text = Slurp(trace);
  EXPECT_THAT(text, Not(HasSubstr("Negotiation succeded")));
  EXPECT_THAT(text, Not(HasSubstr("size read")));
}

// The box never confirms in these runs, so a command that waited for it would sit out the
// ten-minute bound; leaving at once is what they check, on the real clock.
TEST_F(M4410CommandTest, InterruptOutsideTheImageLeavesAtOnceWith130) {
  const fs::path image = MakeImage(300);
  struct Case {
    std::string sim;    // real clock: the box keeps the command waiting
    std::string await;  // the waiting has begun
    std::chrono::seconds wait;  // how long the box would keep it
    std::string box;    // what the box holds at the end
  };
  const Case cases[] = {
      // Waiting ten seconds for the opening record: stops before the image.
      {"opening=no", "Datalink established: Okay", std::chrono::seconds(10),
       "box received no image, host faults: none\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sim);
    ChildProcess child = Spawn({"update", image.string(), "--sim", c.sim});
    ASSERT_TRUE(AwaitErr(c.await));
    if (!child.Interrupt()) GTEST_SKIP() << "no console event reaches the command here";
    // "At once" is anything well short of the box's wait, however busy the machine is.
    const Outcome o =
        Wait(std::move(child), std::min<std::chrono::seconds>(c.wait * 4 / 5, std::chrono::seconds(90)));
    EXPECT_EQ(o.exit_status, 130) << o.err;
    EXPECT_THAT(o.err, HasSubstr("stopping at the next safe point"));
    EXPECT_THAT(o.err, Not(HasSubstr("going out")));
    EXPECT_THAT(o.err, HasSubstr(c.box));
  }
}

// Interrupted while the box rewrites itself: the box has the whole image and finishes without
// the command, so stage 6 is not confirmed rather than failed, on screen and in the log. The
// neighbours: no interrupt is still a failure, and a late confirmation still passes.
TEST_F(M4410CommandTest, InterruptAfterTheImageIsNotConfirmedRatherThanFailed) {
  const fs::path image = MakeImage(300);
  const char* outer = std::getenv("XDG_STATE_HOME");
  const std::string previous = outer != nullptr ? outer : "";
  SetEnvironment("XDG_STATE_HOME", (dir_ / "state").string());
  // Real clock: the box would keep the command ten minutes.
  ChildProcess child = Spawn({"update", image.string(), "--sim", "closing=no,update-ms=0"});
  const bool waiting = AwaitErr("New software transmitted: Okay");
  if (!waiting || !child.Interrupt()) {
    SetEnvironment("XDG_STATE_HOME", previous);
    ASSERT_TRUE(waiting);
    GTEST_SKIP() << "no console event reaches the command here";  // the child is killed
  }
  // "At once" is anything well short of the box's ten minutes, however busy the machine is.
  const Outcome o = Wait(std::move(child), std::chrono::seconds(90));
  const Outcome unconfirmed = Run({"update", image.string(), "--sim", "clock=virtual,closing=no"});
  const Outcome late = Run({"update", image.string(), "--sim", "clock=virtual,update-ms=590000"});
  const Outcome log = Run({"log"});
  SetEnvironment("XDG_STATE_HOME", previous);

  EXPECT_EQ(o.exit_status, 130) << o.err;
  EXPECT_THAT(o.err, HasSubstr("stopping at the next safe point"));
  EXPECT_THAT(o.err,
              HasSubstr("Box updated: not confirmed (left before the box's confirmation)\n"));
  EXPECT_THAT(o.err, Not(HasSubstr("Box updated: Failed")));
  EXPECT_THAT(o.err, Not(HasSubstr("Software updating completed")));
  EXPECT_THAT(o.err, HasSubstr(WholeImage(300)));

  EXPECT_EQ(unconfirmed.exit_status, 6) << unconfirmed.err;
  EXPECT_EQ(late.exit_status, 0) << late.err;

  std::istringstream lines(log.out);
  std::vector<std::string> entries;
  for (std::string line; std::getline(lines, line);) entries.push_back(line);
  ASSERT_EQ(entries.size(), 3u) << log.out;
  EXPECT_THAT(entries[0], HasSubstr(" stages=Okay,Okay,Okay,Okay,Okay,NotConfirmed,- "));
  EXPECT_THAT(entries[0], ::testing::EndsWith(
                              " cause=\"not confirmed (left before the box's confirmation)\""));
  EXPECT_THAT(entries[1], HasSubstr(" stages=Okay,Okay,Okay,Okay,Okay,Failed,Failed "));
  EXPECT_THAT(entries[1], HasSubstr(" cause=\"the box did not confirm within 600 s;"));
  EXPECT_THAT(entries[2], ::testing::EndsWith("s"));  // completed: no cause
}

}  // namespace
}  // namespace m4410
