// What m4410 prints while the image goes out.
#include "cli/update_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "link/block_transfer.h"

namespace m4410 {
namespace {

std::string Written(std::FILE* file) {
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

// A poll that reads the header's length (12) and then the image's count (100) would make
// 833 %: on a terminal and in a log alike, the line says at most the whole.
TEST(UpdateDisplayTest, CountersOfTwoWritesShowNoMoreThanAHundred) {
  for (const Redraw redraw : {Redraw::Escapes, Redraw::Spaces, Redraw::Lines}) {
    SCOPED_TRACE(static_cast<int>(redraw));
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    SetStage(SoftwareTransmitted, Busy);
    BytesToWrite.store(12);
    BytesWritten.store(100);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    UpdateDisplay display(out, redraw, false);
    display.Poll();
    const std::string text = Written(out);
    std::fclose(out);
    EXPECT_NE(text.find("Sending data. 100% complete."), std::string::npos) << text;
    EXPECT_EQ(text.find("833"), std::string::npos) << text;
  }
  SetStage(SoftwareTransmitted, NoReport);
  BytesToWrite.store(0);
  BytesWritten.store(0);
}

// Where the console takes no escapes the line is redrawn with spaces over what a longer line
// left, and cleared the same way before the stage's report.
TEST(UpdateDisplayTest, WithoutEscapesSpacesCoverTheLineBefore) {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  SetStage(SoftwareTransmitted, Busy);
  BytesToWrite.store(100);
  BytesWritten.store(100);
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  UpdateDisplay display(out, Redraw::Spaces, false);
  display.Poll();
  BytesWritten.store(5);
  display.Poll();
  SetStage(SoftwareTransmitted, Okay);
  display.Poll();
  const std::string text = Written(out);
  std::fclose(out);
  const std::string full = "Sending data. 100% complete.";
  EXPECT_EQ(text, "\r" + full + "\rSending data. 5% complete.  \r" +
                      std::string(full.size(), ' ') + "\rNew software transmitted: Okay\n");
  BytesToWrite.store(0);
  BytesWritten.store(0);
  SetStage(SoftwareTransmitted, NoReport);
}

// A file or a pipe is a log; a character device that is no console (NUL on Windows) takes
// no escapes.
TEST(UpdateDisplayTest, OnlyAConsoleIsSentEscapes) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(RedrawFor(file), Redraw::Lines);
  std::fclose(file);
#ifdef _WIN32
  std::FILE* nul = std::fopen("NUL", "w");
  ASSERT_NE(nul, nullptr);
  EXPECT_EQ(RedrawFor(nul), Redraw::Spaces);
  std::fclose(nul);
#endif
}

// Stage 6 in a log: the estimate every tenth percent up to 44.5 s, then the box's time left
// once a minute, counted down from its 600 s to 0 and no further.
TEST(UpdateDisplayTest, LongBoxUpdateCountsDownTheBoxsTimeLeft) {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  SetStage(BoxUpdated, Busy);
  UpdateDisplay::Clock::time_point now{};
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  UpdateDisplay display(out, Redraw::Lines, false, [&now] { return now; });
  for (int ms = 0; ms <= 700000; ms += 250) {
    now = UpdateDisplay::Clock::time_point(std::chrono::milliseconds(ms));
    display.Poll();
  }
  const std::string text = Written(out);
  std::fclose(out);
  SetStage(BoxUpdated, NoReport);
  std::string expected;
  for (int percent = 0; percent < 100; percent += 10) {
    expected += "Updating box. " + std::to_string(percent) + "% complete.\n";
  }
  // 44.5 s, then each whole minute from 60 s to 660 s.
  expected += "Updating box. 99% complete. The box has 556 s left to confirm.\n";
  for (int left = 540; left >= -60; left -= 60) {
    expected += "Updating box. 99% complete. The box has " + std::to_string(std::max(left, 0)) +
                " s left to confirm.\n";
  }
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace m4410
