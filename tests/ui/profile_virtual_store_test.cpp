// The settings of an ordinary user, whom the Windows folder refuses: kept in the user's
// VirtualStore copy of the INI, begun from the file an earlier install left, and read from
// there first on the next start. The folder is made unwritable outside the test
// (unwritable_folder.sh); the test's LOCALAPPDATA is a folder of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/sim_rig.h"  // ScratchDir
#include "support/child_process.h"
#include "ui/profile_store.h"

namespace m4410 {
namespace {

constexpr char kSection[] = "Software Update Section";
constexpr char kMenu[] = "Software Update MenuFilename Item";
constexpr char kComplete[] = "Software Update Filename Item";

TEST(ProfileVirtualStoreTest, AFolderTheUserCannotWriteKeepsTheChoicesInTheUsersCopy) {
  const std::string folder = M4410_UNWRITABLE_FOLDER;
  const std::string file = folder + "\\marlovine-updater.INI";
  const HANDLE probe = ::CreateFileA((folder + "\\probe").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    GTEST_SKIP() << folder << " could not be made unwritable here";
  }
  test::ScratchDir local;
  SetEnvironment("LOCALAPPDATA", local.root().string());
  const std::string copy =
      local.root().string() + "\\VirtualStore" + std::filesystem::path(file).string().substr(2);

  {
    ProfileStore store(file);
    EXPECT_EQ(store.GetString(kSection, kMenu), R"(D:\menus\menu_fr.bin)");
    EXPECT_TRUE(store.WriteString(kSection, kComplete, R"(C:\new\complete.bin)"));
  }
  // The next start: the new choice and the earlier one, the file itself as it was.
  ProfileStore next(file);
  EXPECT_EQ(next.GetString(kSection, kComplete), R"(C:\new\complete.bin)");
  EXPECT_EQ(next.GetString(kSection, kMenu), R"(D:\menus\menu_fr.bin)");
  EXPECT_TRUE(std::filesystem::exists(copy)) << copy;
  EXPECT_EQ(ProfileStore(file).GetString(kSection, kComplete), next.GetString(kSection, kComplete));
  char untouched[64] = {};
  ::GetPrivateProfileStringA(kSection, kComplete, "", untouched, sizeof untouched, file.c_str());
  EXPECT_STREQ(untouched, "");

  // Neither place writable: the write says so, and why, for the operator.
  SetEnvironment("LOCALAPPDATA", folder);
  ProfileStore neither(file);
  EXPECT_FALSE(neither.WriteString(kSection, kComplete, "x"));
  EXPECT_NE(neither.why().find("nor your copy of it"), std::string::npos) << neither.why();
}

}  // namespace
}  // namespace m4410
