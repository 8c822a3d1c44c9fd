// The words the window program expects Qt to leave, against what Qt itself leaves.
#include "qt/toolkit_words.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <vector>

namespace m4410 {
namespace {

std::vector<std::string> WordsQtLeft(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(words.size());
  QApplication application(argc, argv.data());
  return std::vector<std::string>(argv.begin() + 1, argv.begin() + argc);
}

TEST(ToolkitWordsTest, PredictionMatchesWhatQtLeaves) {
  const std::vector<std::vector<std::string>> lines = {
      // Taken: one dash and two, the value apart and joined.
      {"-platform", "offscreen", "--qwindowtitle", "t", "-reverse", "--style=Fusion",
       "-widgetcount", "--qwindowgeometry", "10x10"},
      // Unknown and stray words among taken ones.
      {"-platform", "offscreen", "--bogus", "-style", "Fusion", "stray", "-b", "--", "x"},
      // A value missing at the end.
      {"--platform", "offscreen", "-reverse", "-style"},
  };
  for (const std::vector<std::string>& line : lines) {
    std::vector<std::string> words{"marlovine-updater"};
    words.insert(words.end(), line.begin(), line.end());
    EXPECT_EQ(WordsQtLeaves(line), WordsQtLeft(words)) << line[2];
  }
}

}  // namespace
}  // namespace m4410
