// The status window's tick, without a window.
#include "ui/status_display.h"

#include <gtest/gtest.h>

#include <string>

#include "board/run_cause.h"
#include "link/block_transfer.h"
#include "support/stepped_worker.h"

namespace m4410 {
namespace {

class StatusDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    BytesWritten.store(0);
    BytesToWrite.store(0);
  }
  static void Progress(int written, int of) {
    BytesToWrite.store(of);
    BytesWritten.store(written);
  }
  std::string Result(int stage) const { return d.shown().results[stage - 1]; }
  bool Held() const { return d.shown().message == "Updating box. 99% complete."; }

  StatusDisplay d;
};

TEST_F(StatusDisplayTest, CompletedRunAsTheOperatorSeesIt) {
  EXPECT_EQ(d.shown().bar, 1);
  EXPECT_EQ(d.shown().button, "&Cancel");
  d.Tick();  // an empty board changes nothing
  EXPECT_EQ(d.shown().bar, 1);

  const int after[] = {29, 59, 89, 119};
  for (int stage = 1; stage <= 4; ++stage) {
    SetStage(stage, Okay);
    d.Tick();
    EXPECT_EQ(Result(stage), "Okay");
    EXPECT_EQ(d.shown().bar, after[stage - 1]);
    EXPECT_EQ(GetStage(stage), NoReport) << "a final report is taken once";
  }

  SetStage(SoftwareTransmitted, Busy);
  for (const auto& [percent, bar] : {std::pair{0, 119}, {50, 584}, {100, 1049}}) {
    Progress(percent, 100);
    d.Tick();
    EXPECT_EQ(d.shown().bar, bar);
    EXPECT_EQ(d.shown().message, "Sending data. " + std::to_string(percent) + "% complete.");
    EXPECT_EQ(GetStage(SoftwareTransmitted), Busy) << "progress is left in its cell";
  }
  SetStage(SoftwareTransmitted, Okay);
  d.Tick();
  EXPECT_EQ(Result(5), "Okay");
  EXPECT_EQ(d.shown().message, "");

  // The box rewrites itself: one step a tick from 1049, the estimate held at 99 % from 2829.
  SetStage(BoxUpdated, Busy);
  int ticks = 0;
  while (!Held() && ticks < 1000) {
    const int before = d.shown().bar;
    d.Tick();
    ++ticks;
    if (!Held()) {
      EXPECT_EQ(d.shown().bar, before + 10);
    }
  }
  EXPECT_EQ(ticks, 179);
  EXPECT_EQ(d.shown().bar, 2829);
  // From then on the line holds as it stands, and the box's 600 s count down beside it, a
  // tick being 250 ms of them, to 0 at the bound and no further; the bar rests.
  EXPECT_EQ(d.shown().countdown, "The box has 556 s left to confirm.");
  for (; ticks < 2401 + 8; ++ticks) {
    d.Tick();
    const long long left_ms = 600000 - 250LL * ticks;
    const long long left = left_ms > 0 ? (left_ms + 999) / 1000 : 0;
    ASSERT_EQ(d.shown().message, "Updating box. 99% complete.") << ticks;
    ASSERT_EQ(d.shown().countdown, "The box has " + std::to_string(left) + " s left to confirm.")
        << ticks;
  }
  EXPECT_EQ(d.shown().bar, 2829) << "the bar rests once the estimate is reached";

  SetStage(BoxUpdated, Okay);
  d.Tick();
  EXPECT_EQ(d.shown().message, "Updating box. 100% complete.");
  EXPECT_EQ(d.shown().countdown, "");
  SetStage(UpdatingCompleted, Okay);
  d.Tick();
  EXPECT_EQ(Result(7), "Okay");
  EXPECT_EQ(d.shown().bar, 2999);
  EXPECT_EQ(d.shown().message, "Box updated");
  EXPECT_EQ(d.shown().button, "OK");
  EXPECT_FALSE(d.shown().polling);
}

// Every stage, every code that is not its own success or progress: "Failed", polling stops,
// the button reads OK except after stage 7, and the message follows the stage's rule.
TEST_F(StatusDisplayTest, EveryFailureOfEveryStage) {
  for (int stage = 1; stage <= kStageCount; ++stage) {
    for (const StageStatus code : {Failed, Busy, StageStatus{7}, StageStatus{-1}}) {
      const bool progress = code == Busy && (stage == 5 || stage == 6);
      if (progress) continue;
      SCOPED_TRACE(testing::Message() << "stage " << stage << " code " << code);
      StatusDisplay fresh;
      // A message is up before the failure.
      SetStage(SoftwareTransmitted, Busy);
      Progress(1, 2);
      fresh.Tick();
      SetStage(SoftwareTransmitted, NoReport);
      const std::string before = fresh.shown().message;
      SetRunCause("why, and what to check");
      SetStage(stage, code);
      fresh.Tick();
      EXPECT_EQ(fresh.shown().results[stage - 1], "Failed");
      // Every stage's failure comes with its cause and the help page on it.
      EXPECT_EQ(fresh.shown().cause,
                std::string(stage == 2 ? "cannot open the port: " : "") + "why, and what to check");
      EXPECT_EQ(fresh.shown().cause_page.page, stage == 2 ? std::string("port-access.html")
                                                         : "stages.html#s" + std::to_string(stage));
      EXPECT_FALSE(fresh.shown().polling);
      EXPECT_EQ(fresh.shown().button, stage == 7 ? "&Cancel" : "OK");
      const std::string expected =
          stage == 7 ? "Box update failed" : stage >= 5 ? "" : before;
      EXPECT_EQ(fresh.shown().message, expected);
      EXPECT_EQ(GetStage(stage), NoReport);
      SetStage(stage, Okay);
      fresh.Tick();
      EXPECT_EQ(fresh.shown().results[stage - 1], "Failed") << "no tick after the timer stops";
      Clear();
    }
  }
  ClearRunCause();
}

TEST_F(StatusDisplayTest, ReportsWaitingTogetherAreShownByOneTick) {
  for (int stage = 1; stage <= 4; ++stage) SetStage(stage, Okay);
  SetStage(SoftwareTransmitted, Okay);
  SetStage(BoxUpdated, Busy);
  d.Tick();
  for (int stage = 1; stage <= 5; ++stage) EXPECT_EQ(Result(stage), "Okay");
  // Stage 5 empties the line, then stage 6 writes it; the estimate is clamped at 0.
  EXPECT_EQ(d.shown().message, "Updating box. 0% complete.");
  EXPECT_EQ(d.shown().bar, 129);
}

// However the worker's reports fall between one tick's reads of the board, the tick that
// stops polling leaves no earlier stage unshown, and each stage is shown in order: for every
// run (completed, or failed first at each stage), every count of reports already on the board
// and every read after which the rest land.
TEST_F(StatusDisplayTest, ReportsLandingBetweenReadsLeaveNoStageUnshown) {
  for (int failed = 0; failed <= kStageCount; ++failed) {
    const std::vector<StageReport> run = WorkerReports(failed);
    const int last = failed == 0 ? UpdatingCompleted : failed;
    for (std::size_t written = 0; written <= run.size(); ++written) {
      for (int read = 1; read <= kStageCount; ++read) {
        SCOPED_TRACE(testing::Message() << "failed " << failed << ", " << written
                                        << " written, the rest after read " << read);
        SteppedWorker worker(run, written, read);
        StatusDisplay display(worker.Reader());
        for (int tick = 0; tick < 3 && display.shown().polling; ++tick) display.Tick();
        ASSERT_FALSE(display.shown().polling);
        for (int stage = 1; stage < last; ++stage) {
          EXPECT_EQ(display.shown().results[stage - 1], "Okay") << "stage " << stage;
        }
        EXPECT_EQ(display.shown().results[last - 1], failed == 0 ? "Okay" : "Failed");
        if (failed == 0) {
          EXPECT_EQ(display.shown().message, "Box updated");
        }
      }
    }
  }
}

// A tick that reads the header's length (12) and then the image's count (100) would make
// 833 %: the window shows at most the whole.
TEST_F(StatusDisplayTest, CountersOfTwoWritesShowNoMoreThanAHundred) {
  SetStage(SoftwareTransmitted, Busy);
  Progress(100, 12);
  d.Tick();
  EXPECT_EQ(d.shown().message, "Sending data. 100% complete.");
  EXPECT_EQ(d.shown().bar, 1049);
}

TEST_F(StatusDisplayTest, EmptyImageWriteShowsNoProgressAndDoesNotFault) {
  SetStage(SoftwareTransmitted, Busy);
  Progress(0, 0);
  d.Tick();
  EXPECT_EQ(d.shown().message, "Sending data. 0% complete.");
  EXPECT_EQ(d.shown().bar, 119);
}

}  // namespace
}  // namespace m4410
