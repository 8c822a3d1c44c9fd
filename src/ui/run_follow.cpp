#include "ui/run_follow.h"

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "run/update_worker.h"

namespace m4410 {

namespace {

constexpr char kGoesOn[] = "The update goes on: ";

int FirstFailedStage() {
  for (int stage = 1; stage <= kStageCount; ++stage) {
    if (StageResult(stage) == Failed) return stage;
  }
  return 0;
}

const char* PhaseText(WaitPhase phase) {
  switch (phase) {
    case WaitPhase::ImageGoingOut: return "sending data.";
    case WaitPhase::ImageInBox: return "the box has the whole image and is updating itself.";
    case WaitPhase::Stopping: return "stopping; no image is going out.";
  }
  return "";
}

}  // namespace

void RunFollow::Poll() {
  if (ended_) return;
  // Asked before the board is read: a worker that has ended has written all it will.
  const bool running = UpdateWorkerRunning();
  display_.Tick();
  if (running) {
    const WaitPhase phase = watch_.Poll();
    const std::string& sending = display_.shown().message;
    text_ = kGoesOn + (phase == WaitPhase::ImageGoingOut && !sending.empty()
                           ? sending
                           : std::string(PhaseText(phase)));
    return;
  }
  text_ = RunResultText();
  ended_ = true;
}

std::string RunResultText() {
  const int failed = FirstFailedStage();
  if (failed == 0) {
    return StageResult(UpdatingCompleted) == Okay
               ? "Last update: Box updated"
               : "Last update: stopped before the image went out; the box was not changed.";
  }
  std::string text = std::string("Last update: ") + StageCaption(failed) + " Failed";
  const std::string cause = CauseLine(failed, RunCause());
  if (!cause.empty()) text += "\n" + cause;
  const HelpPage page = CauseHelpPage(failed);
  if (!page.title.empty()) text += "\nMore in the help: " + page.title;
  return text;
}

bool StatusWindowSawEnd() {
  const int failed = FirstFailedStage();
  const int last = failed != 0 ? failed : UpdatingCompleted;
  return StageResult(last) != NoReport && GetStage(last) == NoReport;
}

}  // namespace m4410
