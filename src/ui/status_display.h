// The "File Transfer Status" window without a window: what each 250 ms tick of its timer
// shows, from the stage board and the image's write progress. The status window's
// controller (ui/status_dialog.h) ticks it on the window's timer and has the window draw the
// result; the arithmetic lives here once.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "board/stage_board.h"
#include "ui/run_notes.h"

namespace m4410 {

struct StatusShown {
  static constexpr int kLower = 1;
  static constexpr int kUpper = 3000;

  std::array<std::string, kStageCount> results;  // "Okay", "Failed" or empty, stage 1 first
  std::string message;                           // the one-line message under the bar
  int bar = kLower;                              // the progress bar's position
  std::string button = "&Cancel";
  bool polling = true;                           // false once the timer is to stop

  // Beyond the template: whether a tick has shown that the whole image went out (the board
  // no longer says so once its reports are taken), and, once a stage has failed, the cause as
  // m4410 words it and the help page on it. While stage 6 waits past the estimate, countdown
  // says how long the box has left to confirm, beside the message, which keeps its own text.
  bool image_in_box = false;
  std::string cause;
  HelpPage cause_page;
  std::string countdown;
};

class StatusDisplay {
 public:
  // The window as it opens: bar at 1 of 1..3000, texts empty, timer running. read: how the
  // board's cells are read (see ReadStages).
  explicit StatusDisplay(StageReader read = GetStage) : read_(std::move(read)) {}

  // One poll of the stage board: takes each final report (the cell goes back to NoReport)
  // and moves the bar and the message. Does nothing once polling has stopped.
  void Tick();

  const StatusShown& shown() const { return shown_; }

 private:
  void SetPos(int position);
  void StepIt();
  void ShowFailure(int stage);
  void NoteCause(int stage);

  StageReader read_;
  StatusShown shown_;
  int box_wait_ticks_ = 0;  // ticks that have seen stage 6 under way
};

}  // namespace m4410
