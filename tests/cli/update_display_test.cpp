// What m4410 prints while the image goes out.
#include "cli/update_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>

#include "link/block_transfer.h"
#include "support/stepped_worker.h"

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

// Stage 6 in a log: the estimate every tenth percent up to 44.5 s, the held line once as it
// stands, then the box's time left on lines of its own once a minute, from its 600 s to 0.
TEST(UpdateDisplayTest, LongBoxUpdateCountsDownTheBoxsTimeLeft) {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  SetStage(BoxUpdated, Busy);
  UpdateDisplay::Clock::time_point now{};
  std::string text;
  for (const bool terminal : {true, false}) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    UpdateDisplay display(out, terminal ? Redraw::Escapes : Redraw::Lines, false,
                          [&now] { return now; });
    for (int ms = 0; ms <= 700000; ms += 250) {
      now = UpdateDisplay::Clock::time_point(std::chrono::milliseconds(ms));
      display.Poll();
    }
    text = Written(out);
    std::fclose(out);
    if (terminal) {
      // Redrawn in place below the held line, which stands once and alone.
      const std::string held = "Updating box. 99% complete.\n";
      EXPECT_NE(text.find(held), std::string::npos) << text.substr(0, 400);
      EXPECT_EQ(text.find(held), text.rfind(held));
      EXPECT_EQ(text.find("complete. The"), std::string::npos);
    }
  }
  SetStage(BoxUpdated, NoReport);
  std::string expected;
  for (int percent = 0; percent < 100; percent += 10) {
    expected += "Updating box. " + std::to_string(percent) + "% complete.\n";
  }
  // 44.5 s, then each whole minute from 60 s to 660 s.
  expected += "Updating box. 99% complete.\nThe box has 556 s left to confirm.\n";
  for (int left = 540; left >= -60; left -= 60) {
    expected += "The box has " + std::to_string(std::max(left, 0)) + " s left to confirm.\n";
  }
  EXPECT_EQ(text, expected);
}

// However the worker's reports fall between one poll's reads of the board, the stage lines
// come in stage order and the exit status names the first failure: for every run, every
// count of reports already on the board and every read after which the rest land.
TEST(UpdateDisplayTest, ReportsLandingBetweenReadsArePrintedInStageOrder) {
  for (int failed = 0; failed <= kStageCount; ++failed) {
    const std::vector<StageReport> run = WorkerReports(failed);
    std::string expected;
    for (const auto& [stage, status] : run) {
      if (status != Busy) {
        expected += std::string(StageCaption(stage)) + (status == Okay ? " Okay\n" : " Failed\n");
      }
    }
    for (std::size_t written = 0; written <= run.size(); ++written) {
      for (int read = 1; read <= kStageCount; ++read) {
        SCOPED_TRACE(testing::Message() << "failed " << failed << ", " << written
                                        << " written, the rest after read " << read);
        SteppedWorker worker(run, written, read);
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        UpdateDisplay display(out, Redraw::Lines, false, UpdateDisplay::Clock::now, worker.Reader());
        display.Poll();
        display.Finish();
        std::string stage_lines;
        std::istringstream lines(Written(out));
        std::fclose(out);
        for (std::string line; std::getline(lines, line);) {
          if (line.find(" Okay") != std::string::npos || line.find(" Failed") != std::string::npos) {
            stage_lines += line + "\n";
          }
        }
        EXPECT_EQ(stage_lines, expected);
        EXPECT_EQ(display.ExitStatus(), failed);
      }
    }
  }
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
}

}  // namespace
}  // namespace m4410
