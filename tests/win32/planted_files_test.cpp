// Under Wine: what a folder may hold that the program must never take. The build puts this test
// in a folder of its own beside a Help2QRB.chm and a planted library under two names: the help
// control's, hhctrl.ocx, and m4410_planted.dll, which no system provides.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "os/library_search.h"
#include "win32/app_identity.h"
#include "win32/help_loader.h"

namespace m4410 {
namespace {

const HWND kPlantedViewer = reinterpret_cast<HWND>(0x4410);  // see planted_library.c
constexpr UINT kCloseAllHelp = 0x12;                           // HH_CLOSE_ALL: shows nothing

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Started from a folder (Downloads, a share, a stick) that holds a Help2QRB.chm of its own,
// Help opens the one beside the program.
TEST(PlantedFilesTest, HelpOpensTheFileBesideTheProgram) {
  char temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder =
      std::string(temp) + "m4410-planted-" + std::to_string(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string planted = folder + "\\Help2QRB.chm";
  std::ofstream(planted, std::ios::binary) << "planted in the current folder\n";
  char before[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, before);
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str()));

  EXPECT_EQ(Contents(HelpFile()), "beside the program\n") << HelpFile();

  ::SetCurrentDirectoryA(before);
  ::DeleteFileA(planted.c_str());
  ::RemoveDirectoryA(folder.c_str());
}

// After the program's start-up set-up, neither the help loader nor a plain load by name takes a
// library from the program's folder: the viewer found and run is the system's.
TEST(PlantedFilesTest, LibrariesBesideTheProgramAreNeverLoaded) {
  for (const char* name : {"hhctrl.ocx", "m4410_planted.dll"}) {
    ASSERT_NE(::GetFileAttributesA(BesideExecutable(name).c_str()), INVALID_FILE_ATTRIBUTES)
        << name << " is not planted beside the test";
  }
  LoadLibrariesFromTheSystemOnly();

  EXPECT_EQ(::LoadLibraryA("m4410_planted.dll"), nullptr);
  EXPECT_NE(HtmlHelpA(nullptr, nullptr, kCloseAllHelp, 0), kPlantedViewer);
  const HMODULE viewer = ::GetModuleHandleA("hhctrl.ocx");
  ASSERT_NE(viewer, nullptr) << "no help control loaded";
  char path[MAX_PATH] = {};
  char system[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameA(viewer, path, MAX_PATH), 0u);
  ASSERT_NE(::GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_EQ(Lower(path), Lower(std::string(system) + "\\hhctrl.ocx"));
}

}  // namespace
}  // namespace m4410
