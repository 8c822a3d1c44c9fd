// The file chooser opens the first time in the user's Documents folder, then where the last
// chosen file lies.
#include "win32/chooser_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace m4410 {
namespace {

TEST(ChooserFolderTest, FirstInDocumentsThenAtTheLastChoice) {
  const std::filesystem::path first = ChooserStartFolder("");
  EXPECT_TRUE(std::filesystem::is_directory(first)) << first;
  EXPECT_NE(first.filename().string().find("Documents"), std::string::npos) << first;
  EXPECT_EQ(ChooserStartFolder(R"(D:\menus\menu_fr.bin)"), R"(D:\menus\menu_fr.bin)");
}

}  // namespace
}  // namespace m4410
