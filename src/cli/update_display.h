// Shows an update run on a terminal or in a log: each stage's report as it arrives, in the
// status window's words, and one progress line while the image goes out and the box updates.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "board/stage_board.h"
#include "cli/console_redraw.h"

namespace m4410 {

class UpdateDisplay {
 public:
  using Clock = std::chrono::steady_clock;

  // redraw: how the progress line is redrawn in place (Lines: a log). now: the clock the
  // box's wait is timed with. read: how the board's cells are read (see ReadStages).
  UpdateDisplay(std::FILE* out, Redraw redraw, bool quiet,
                std::function<Clock::time_point()> now = Clock::now, StageReader read = GetStage);

  // Looks at the board once and prints what changed.
  void Poll();
  // The user asked the run to stop. Call after a Poll, so a failure already on the board
  // counts as having come first.
  void NoteInterrupt();
  // After the worker has ended: the last reports, the closing line.
  void Finish();

  // 0 when stage 7 is Okay; 130 when an interrupt came before the run failed or ended (the
  // stage lines still say how far it got), as when the run left before the box confirmed;
  // else the first stage that failed.
  int ExitStatus() const;

 private:
  void ShowFinal(int stage, StageStatus status);
  void ShowProgress(int stage);
  // step: without a terminal, a line goes out only when it changes.
  void ProgressLine(const std::string& text, int step);
  void EndProgressLine();

  std::function<Clock::time_point()> now_;
  StageReader read_;
  std::FILE* out_;
  Redraw redraw_;
  bool quiet_;
  StageStatus seen_[kStageCount + 1] = {};
  int first_failed_ = 0;
  bool completed_ = false;
  bool interrupted_ = false;
  bool progress_open_ = false;
  std::size_t shown_ = 0;  // characters of the progress line on screen
  int last_printed_step_ = -1;
  bool estimate_held_ = false;  // "Updating box. 99% complete." has gone out
  std::string last_progress_text_;
  Clock::time_point box_update_started_{};
};

}  // namespace m4410
