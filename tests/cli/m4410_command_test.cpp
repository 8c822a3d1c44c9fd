// Runs the m4410 executable as an operator or a script would and checks what it says and
// how it exits.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/crc32.h"

extern char** environ;

namespace m4410 {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

struct Outcome {
  int exit_status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class M4410CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("m4410-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path MakeImage(std::size_t size) {
    const fs::path path = dir_ / "image.bin";
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    image_crc_ = Crc32Extend(0, bytes.data(), bytes.size());
    return path;
  }

  // Starts the command in dir_ (where the box-data file would land) with its output in files.
  pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<std::string> all{M4410_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : all) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (dir_ / "stdout").string();
    const std::string err = (dir_ / "stderr").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    fs::current_path(previous);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    return pid;
  }

  // Waits for the command, killing it if it hangs: a hang is a failure of its own.
  Outcome Wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "m4410 did not end within " << limit.count() << " s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = Slurp(dir_ / "stdout");
    outcome.err = Slurp(dir_ / "stderr");
    return outcome;
  }

  Outcome Run(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

  // Waits until the command's standard error shows text.
  bool AwaitErr(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Slurp(dir_ / "stderr").find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  fs::path dir_;
  std::uint32_t image_crc_ = 0;
};

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
  };
  const Case cases[] = {
      {"answer-on-attempt=4", 3, "Datalink established: Failed\n"},
      {"confirm=no", 3, "Datalink established: Failed\n"},
      {"setup=no", 3, "Datalink established: Failed\n"},
      {"opening=no", 4, "Box informaition received: Failed\n"},
      {"drop-select-at=1000", 5, "New software transmitted: Failed\n"},
      {"stall-at=1000", 5, "New software transmitted: Failed\n"},
      {"closing=no", 6, "Box updated: Failed\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = Run({"update", image.string(), "--sim", "clock=virtual," + c.sim});
    EXPECT_EQ(o.exit_status, c.status) << c.sim << "\n" << o.err;
    EXPECT_THAT(o.err, HasSubstr(c.line)) << c.sim;
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
  EXPECT_THAT(o.out, ::testing::ContainsRegex("Write error -1, byte written [0-9]+\n"));
}

TEST_F(M4410CommandTest, UnreadableFileIsRefusedBeforeThePortIsTouched) {
  const std::string trace = (dir_ / "trace.txt").string();
  const Outcome missing =
      Run({"update", (dir_ / "nowhere.bin").string(), "--sim", "clock=virtual", "--trace", trace});
  EXPECT_EQ(missing.exit_status, 66);
  EXPECT_THAT(missing.err, HasSubstr("nowhere.bin"));
  EXPECT_THAT(missing.err, HasSubstr("No such file or directory"));
  EXPECT_FALSE(fs::exists(trace)) << "the port was set up for a file that cannot be sent";

  const Outcome directory = Run({"update", dir_.string(), "--sim", "clock=virtual"});
  EXPECT_EQ(directory.exit_status, 66);
  EXPECT_THAT(directory.err, HasSubstr("directory"));
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
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_THAT(version.out, ::testing::StartsWith("m4410 "));
}

TEST_F(M4410CommandTest, ProbeSaysWhetherTheBoxAnswers) {
  const Outcome linked = Run({"probe", "--sim", "clock=virtual"});
  EXPECT_EQ(linked.exit_status, 0) << linked.err;
  EXPECT_THAT(linked.err, HasSubstr("link established"));

  const Outcome silent = Run({"probe", "--sim", "clock=virtual,answer-on-attempt=0"});
  EXPECT_EQ(silent.exit_status, 3);
  EXPECT_THAT(silent.err, HasSubstr("no box answered"));
}

TEST_F(M4410CommandTest, ProbeWithoutPortAccessExits2WithCauseAndRemedy) {
  if (::access("/dev/port", F_OK) == 0) GTEST_SKIP() << "this machine has port I/O";
  const auto start = std::chrono::steady_clock::now();
  const Outcome o = Run({"probe"});
  EXPECT_EQ(o.exit_status, 2) << o.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_THAT(o.err, HasSubstr("cannot open the port:"));
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
  // The negotiation starts by reading the ECR to change its mode.
  const std::string text = Slurp(trace);
  EXPECT_THAT(text.substr(0, text.find('\n')), ::testing::EndsWith(" R 0x77a 0x15"));
}

TEST_F(M4410CommandTest, FirstInterruptLetsAnImageInFlightFinish) {
  // 20000 bytes at 10000 bytes a second: two seconds of sending on the real clock.
  const fs::path image = MakeImage(20000);
  const pid_t pid = Spawn({"update", image.string(), "--sim", "rate=10000,update-ms=100"});
  ASSERT_TRUE(AwaitErr("Box informaition received: Okay"));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // past the header's pause
  ::kill(pid, SIGINT);
  const Outcome o = Wait(pid);
  EXPECT_EQ(o.exit_status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("stopping at the next safe point"));
  // Two seconds of sending show progress; without a terminal only every tenth percent.
  EXPECT_THAT(o.err, ::testing::ContainsRegex("Sending data\\. [0-9]+% complete\\.\n"));
  EXPECT_THAT(o.err, Not(HasSubstr("\r")));
  EXPECT_THAT(o.err, HasSubstr("Software updating completed: Okay"));
}

TEST_F(M4410CommandTest, SecondInterruptEndsAtOnce) {
  const fs::path image = MakeImage(100);
  // The box never confirms: the command would wait ten minutes for it.
  const pid_t pid = Spawn({"update", image.string(), "--sim", "closing=no,update-ms=0"});
  ASSERT_TRUE(AwaitErr("New software transmitted: Okay"));
  ::kill(pid, SIGINT);
  ASSERT_TRUE(AwaitErr("stopping"));
  ::kill(pid, SIGINT);
  const Outcome o = Wait(pid, std::chrono::seconds(5));
  EXPECT_EQ(o.exit_status, 130);
}

}  // namespace
}  // namespace m4410
