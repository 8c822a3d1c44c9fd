// Where the programs write (settings, box data, trace, update log) and read back, run as root
// and as an ordinary user: through every owner of a link and of the folder on the way. Only
// what belongs to the running user or to root is passed or followed; anything else is refused
// and nothing lands behind it. Other users are made by number (they need not exist), which
// takes root.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "os/files.h"
#include "ui/profile_store.h"

namespace m4410 {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kUserA = 61001;
constexpr uid_t kUserB = 61002;
constexpr int kChildBroken = 3;

// body's result in a child process that runs as user (group the same number, no others).
int RunAs(uid_t user, const std::function<bool()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 ||
        ::setresuid(user, user, user) != 0 || ::chdir("/") != 0) {
      ::_exit(kChildBroken);
    }
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool WriteByOwnFile(const std::string& path, bool owner_only) {
  FileFacts facts;
  bool created = false;
  std::FILE* file = OpenOwnFileToWrite(path, owner_only, &facts, &created, nullptr);
  if (file == nullptr) return false;
  const bool written = std::fputs("written", file) >= 0;
  return (std::fclose(file) == 0) && written;
}

// A place the programs write, by the calls they make; read is empty where nothing is read back.
enum class LinkAt { Folder, Name, Nowhere };  // Nowhere: the path is resolved before the run

struct Place {
  const char* what;
  const char* file;  // its name in the folder it lands in
  LinkAt link_at;
  std::function<bool(const fs::path&)> write;  // in the child; the path as the program gets it
  std::function<bool(const fs::path&)> read;   // true when the planted text was read
};

const std::vector<Place>& Places() {
  static const std::vector<Place> places = {
      {"settings", "m.ini", LinkAt::Folder,
       [](const fs::path& p) { return ProfileStore(p.string()).WriteString("S", "k", "v"); },
       [](const fs::path& p) { return ProfileStore(p.string()).GetString("S", "k") == "planted"; }},
      {"settings named by a link", "m.ini", LinkAt::Name,
       [](const fs::path& p) { return ProfileStore(p.string()).WriteString("S", "k", "v"); },
       [](const fs::path& p) { return ProfileStore(p.string()).GetString("S", "k") == "planted"; }},
      // The box data goes to "0" in the folder the program was started in.
      {"box data", "0", LinkAt::Nowhere,
       [](const fs::path& p) {
         return ::chdir(p.parent_path().c_str()) == 0 && WriteByOwnFile("0", false);
       },
       nullptr},
      {"trace", "trace.txt", LinkAt::Folder,
       [](const fs::path& p) { return WriteByOwnFile(p.string(), true); }, nullptr},
      {"update log", "updates.log", LinkAt::Folder,
       [](const fs::path& p) { return AppendToPrivateFile(p.string(), "written\n", nullptr); },
       [](const fs::path& p) {
         std::FILE* file = OpenPrivateFileToRead(p.string(), nullptr);
         if (file == nullptr) return false;
         char text[16] = {};
         const bool planted = std::fgets(text, sizeof text, file) != nullptr &&
                              std::string(text).rfind("[S]", 0) == 0;
         std::fclose(file);
         return planted;
       }},
  };
  return places;
}

enum class Owner { None, Self, Root, Other };
const char* Named(Owner owner) {
  static const char* const names[] = {"no", "own", "root's", "another user's"};
  return names[static_cast<int>(owner)];
}

TEST(OwnedPathsTest, OnlyTheUsersOrRootsLinksAndFoldersLeadToAFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: links and folders of other users";
  const fs::path base = fs::temp_directory_path() / ("owned-paths-" + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base);
  fs::permissions(base, fs::perms(0755));
  int n = 0;
  for (const uid_t runner : {uid_t{0}, kUserA}) {
    const uid_t other = runner == 0 ? kUserA : kUserB;
    const auto uid = [&](Owner owner) {
      return owner == Owner::Self ? runner : owner == Owner::Root ? 0 : other;
    };
    for (const Place& place : Places()) {
      for (const Owner link : {Owner::None, Owner::Self, Owner::Root, Owner::Other}) {
        for (const Owner folder : {Owner::Self, Owner::Root, Owner::Other}) {
          // Root's own is root's: each distinct case once.
          if (runner == 0 && (link == Owner::Root || folder == Owner::Root)) continue;
          if (place.link_at == LinkAt::Nowhere && link != Owner::None) continue;
          const std::string name = "as " + std::to_string(runner) + ", " + place.what +
                                   " through " + Named(link) + " link, in " + Named(folder) +
                                   " folder";
          const fs::path at = base / std::to_string(n++);
          const fs::path real = at / "real";
          fs::create_directories(real);
          fs::permissions(at, fs::perms(0755));
          fs::permissions(real, fs::perms(01777));  // anyone may write: only the rule decides
          ASSERT_EQ(::chown(real.c_str(), uid(folder), uid(folder)), 0);
          fs::path path = real / place.file;
          if (link != Owner::None) {
            const bool folder_link = place.link_at == LinkAt::Folder;
            const fs::path via = at / "via";
            fs::create_symlink(folder_link ? fs::path("real") : fs::path("real") / place.file, via);
            ASSERT_EQ(::lchown(via.c_str(), uid(link), uid(link)), 0);
            path = folder_link ? via / place.file : via;
          }
          const bool trusted = link != Owner::Other && folder != Owner::Other;

          const int wrote = RunAs(runner, [&] { return place.write(path); });
          ASSERT_NE(wrote, kChildBroken) << name;
          EXPECT_EQ(wrote == 0, trusted) << name;
          EXPECT_EQ(fs::exists(real / place.file), trusted) << name;
          if (!place.read) continue;

          // The user's own file, planted where the path leads, is read only along the rule.
          {
            std::ofstream(real / place.file, std::ios::trunc) << "[S]\nk=planted\n";
          }
          ASSERT_EQ(::chown((real / place.file).c_str(), runner, runner), 0);
          ASSERT_EQ(::chmod((real / place.file).c_str(), 0600), 0);
          const int read = RunAs(runner, [&] { return place.read(path); });
          ASSERT_NE(read, kChildBroken) << name;
          EXPECT_EQ(read == 0, trusted) << name << ": read";
        }
      }
    }
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace m4410
