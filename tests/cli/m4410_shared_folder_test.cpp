// What the command does with names that someone else may have prepared: a trace or box-data
// file planted in a shared folder, links on the way to the update log, control characters in
// a file name. Run as root (as `sudo m4410` runs), the other user is nobody.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/command_rig.h"

namespace m4410 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr uid_t kNobody = 65534;

bool HasControlByte(const std::string& text) {
  for (const char c : text) {
    if (c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)) return true;
  }
  return false;
}

class SharedFolderTest : public M4410CommandTest {
 protected:
  void SetUp() override {
    M4410CommandTest::SetUp();
    for (const char* name : {"XDG_STATE_HOME", "HOME"}) {
      const char* outer = std::getenv(name);
      outer_.emplace_back(name, outer != nullptr ? outer : "");
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : outer_) SetEnvironment(name, value);
    M4410CommandTest::TearDown();
  }
  std::vector<std::pair<std::string, std::string>> outer_;
};

// Every kind of thing that may already sit at the trace's name or at "0" in a sticky folder
// is left as it is: the trace is refused before the port, the box data is dropped.
TEST_F(SharedFolderTest, NothingPlantedAtTheTraceOrBoxDataNameIsWrittenInto) {
  ASSERT_EQ(::chmod(dir_.c_str(), 01777), 0);
  const fs::path image = MakeImage(2000);
  const fs::path victim = dir_ / "victim";
  std::ofstream(victim) << "keep";
  struct Plant {
    std::string kind;
    std::function<void(const fs::path&)> make;
    std::string why;
  };
  std::vector<Plant> plants = {
      {"pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }, "a named pipe"},
      {"link", [&](const fs::path& p) { fs::create_symlink(victim, p); }, "a link"},
      {"hard link", [&](const fs::path& p) { fs::create_hard_link(victim, p); }, "hard link"},
  };
  if (::geteuid() == 0) {
    plants.push_back({"another user's file", [](const fs::path& p) {
                        std::ofstream(p).close();
                        ASSERT_EQ(::chown(p.c_str(), kNobody, kNobody), 0);
                        ASSERT_EQ(::chmod(p.c_str(), 0666), 0);
                      },
                      "belongs to another user"});
  }
  const std::vector<std::string> run = {"update", image.string(), "--sim",
                                        "clock=virtual,box-data=50", "--no-log"};
  for (const Plant& plant : plants) {
    for (const std::string name : {"trace.txt", "0"}) {
      const fs::path at = dir_ / name;
      plant.make(at);
      struct stat before {};
      ASSERT_EQ(::lstat(at.c_str(), &before), 0) << plant.kind << " at " << name;
      std::vector<std::string> args = run;
      if (name != "0") args.insert(args.end(), {"--trace", name});
      // A named pipe opened for writing would block: Run's hang bound catches that.
      const Outcome o = Run(args);
      if (name == "0") {
        EXPECT_EQ(o.exit_status, 0) << plant.kind << "\n" << o.err;
      } else {
        EXPECT_EQ(o.exit_status, 64) << plant.kind;
        EXPECT_THAT(o.err, HasSubstr("trace file 'trace.txt': ")) << plant.kind;
        EXPECT_THAT(o.err, HasSubstr(plant.why)) << plant.kind;
        EXPECT_THAT(o.err, Not(HasSubstr("File validated"))) << plant.kind;
      }
      EXPECT_EQ(Slurp(victim), "keep") << plant.kind << " at " << name;
      struct stat after {};
      ASSERT_EQ(::lstat(at.c_str(), &after), 0) << plant.kind << " at " << name;
      EXPECT_EQ(after.st_ino, before.st_ino) << plant.kind << " at " << name;
      EXPECT_EQ(after.st_size, before.st_size) << plant.kind << " at " << name;
      fs::remove(at);
      fs::remove(dir_ / "0");
    }
  }

  // Made new, the trace is its user's alone and "0" holds the box data.
  const Outcome fresh = Run({"update", image.string(), "--sim", "clock=virtual,box-data=50",
                             "--no-log", "--trace", "trace.txt"});
  EXPECT_EQ(fresh.exit_status, 0) << fresh.err;
  struct stat trace {};
  ASSERT_EQ(::stat((dir_ / "trace.txt").c_str(), &trace), 0);
  EXPECT_EQ(trace.st_mode & 0777, 0600u);
  EXPECT_EQ(fs::file_size(dir_ / "0"), 50u);
}

// Another user's link on the way to the log, and a link at its name, are not followed, writing
// it or reading it; as root a HOME and an XDG_STATE_HOME in another user's folder are not
// root's to write into.
TEST_F(SharedFolderTest, UpdateLogIsReachedWithoutLinksAndNeverInAnotherUsersFolder) {
  const fs::path image = MakeImage(500);
  const fs::path state = dir_ / "state";
  const fs::path elsewhere = dir_ / "elsewhere";
  fs::create_directories(state);
  fs::create_directories(elsewhere);
  SetEnvironment("XDG_STATE_HOME", state.string());

  if (::geteuid() == 0) {
    fs::create_directory_symlink(elsewhere, state / "marlovine-updater");
    ASSERT_EQ(::lchown((state / "marlovine-updater").c_str(), kNobody, kNobody), 0);
    const Outcome linked_folder = Run({"update", image.string(), "--sim", "clock=virtual"});
    EXPECT_EQ(linked_folder.exit_status, 0);
    EXPECT_THAT(linked_folder.err, HasSubstr("not in the update log"));
    EXPECT_TRUE(fs::is_empty(elsewhere));
    fs::remove(state / "marlovine-updater");
  }
  fs::create_directories(state / "marlovine-updater");
  const fs::path secret = dir_ / "secret";
  std::ofstream(secret) << "root-only words";
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(secret, state / "marlovine-updater" / "updates.log");
  const Outcome linked_log = Run({"log"});
  EXPECT_THAT(linked_log.out, Not(HasSubstr("root-only words")));
  EXPECT_THAT(linked_log.err, HasSubstr("link"));
  EXPECT_EQ(Run({"update", image.string(), "--sim", "clock=virtual"}).exit_status, 0);
  EXPECT_EQ(Slurp(secret), "root-only words");

  if (::geteuid() != 0) return;
  // sudo -E keeps the user's environment: root must not make folders in the user's home.
  const fs::path home = dir_ / "home";
  fs::create_directories(home);
  ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
  SetEnvironment("HOME", home.string());
  SetEnvironment("XDG_STATE_HOME", (home / ".local" / "state").string());
  const Outcome shown = Run({"log"});  // reads root's own log, if any, and writes nothing
  EXPECT_THAT(shown.err, Not(HasSubstr(home.string())));
  EXPECT_TRUE(fs::is_empty(home));
}

// A file name with every control byte in it reaches neither the terminal nor the log raw.
TEST_F(SharedFolderTest, ControlCharactersInAFileNameAreShownEscaped) {
  SetEnvironment("XDG_STATE_HOME", (dir_ / "state").string());
  std::string name = "odd";
  for (int byte = 1; byte < 0x20; ++byte) name += static_cast<char>(byte);
  name += "\x7f.bin";
  const fs::path image = MakeImage(300);
  fs::rename(image, dir_ / name);
  const fs::path odd = dir_ / name;

  const Outcome sent = Run({"update", odd.string(), "--sim", "clock=virtual"});
  EXPECT_EQ(sent.exit_status, 0) << sent.err;
  const Outcome missing = Run({"update", odd.string() + ".gone", "--trace", name});
  EXPECT_EQ(missing.exit_status, 66);
  const Outcome trace = Run({"update", odd.string(), "--sim", "clock=virtual", "--trace", odd.string()});
  EXPECT_EQ(trace.exit_status, 64);
  const Outcome log = Run({"log"});

  std::string escaped = "odd";
  for (int byte = 1; byte < 0x20; ++byte) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    escaped += hex;
  }
  escaped += "\\x7f.bin";
  for (const Outcome& o : {sent, missing, trace, log}) {
    EXPECT_FALSE(HasControlByte(o.out + o.err)) << o.out << o.err;
  }
  EXPECT_THAT(missing.err, HasSubstr(escaped + ".gone'"));
  EXPECT_THAT(trace.err, HasSubstr(escaped + "'"));
  EXPECT_THAT(log.out, HasSubstr(escaped + "\" size=300"));
}

}  // namespace
}  // namespace m4410
