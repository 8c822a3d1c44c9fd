// What the settings store must do on both systems, our own INI store on Linux and Windows'
// private-profile functions alike: read a file written on Windows, keep five items in the
// order first written, store empty values, cut long ones to 4095 characters.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ui/profile_store.h"

namespace m4410 {
namespace {

namespace fs = std::filesystem;
constexpr char kSection[] = "Software Update Section";

std::string Lines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string lines;
  for (const char c : text.str()) {
    if (c != '\r') lines += c;  // Windows writes CR LF
  }
  return lines;
}

TEST(ProfileStoreContract, HoldsTheLayoutOfTheOriginalSettingsFile) {
  const fs::path dir = fs::temp_directory_path() /
      ("m4410-profile-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(dir);

  ProfileStore missing((dir / "none.ini").string());
  EXPECT_EQ(missing.GetString(kSection, "Software Update String Item"), "");

  fs::copy_file(M4410_FIXTURE_DIR "/settings-written-on-windows.ini", dir / "win.ini");
  ProfileStore windows((dir / "win.ini").string());
  EXPECT_EQ(windows.GetString(kSection, "Software Update Filename Item"),
            R"(C:\Updates\4410\release 2.07\complete.bin)");
  EXPECT_EQ(windows.GetString(kSection, "Software Update MenuFilename Item"),
            R"(D:\menus\menu_fr.bin)");
  EXPECT_EQ(windows.GetString(kSection, "Software Update ProgramFilename Item"), "");

  ProfileStore fresh((dir / "new.ini").string());
  const std::string items[] = {"Software Update String Item", "Software Update Filename Item",
                               "Software Update ProgramFilename Item",
                               "Software Update MenuFilename Item",
                               "Software Update TableFilename Item"};
  const std::string long_value(5000, 'x');
  const std::string values[] = {R"(C:\a\b.bin)", R"(C:\a\b.bin)", "", long_value, ""};
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(fresh.WriteString(kSection, items[i], values[i]));
  std::string expected = "[Software Update Section]\n";
  for (int i = 0; i < 5; ++i) expected += items[i] + "=" + values[i] + "\n";
  EXPECT_EQ(Lines(dir / "new.ini"), expected);
  EXPECT_EQ(fresh.GetString(kSection, items[0]), values[0]);
  EXPECT_EQ(fresh.GetString(kSection, items[3]), long_value.substr(0, 4095));

  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace m4410
