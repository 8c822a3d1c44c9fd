// The main window's account of a run whose status window was closed before the run's end:
// what the run is doing while its worker goes on, then its result with the cause, so that
// no result is lost to a status window closed early (by a second Enter on Start, Escape or
// the close box).
#pragma once

#include <string>

#include "ui/run_notes.h"
#include "ui/status_display.h"

namespace m4410 {

class RunFollow {
 public:
  // image_seen_in_box: the closed status window saw the whole image go out.
  explicit RunFollow(bool image_seen_in_box) : watch_(image_seen_in_box) {}

  // One poll: while the worker runs, what it is doing; once it has ended, the run's result.
  void Poll();

  const std::string& text() const { return text_; }
  bool ended() const { return ended_; }

 private:
  StatusDisplay display_;
  WaitWatch watch_;
  std::string text_;
  bool ended_ = false;
};

// The result of the last run, once its worker has ended, from the results it left on the
// stage board: the first failed stage with its cause and help page, or its completion.
std::string RunResultText();

// Whether the status window, now closed, showed the run's end: its first failure or its
// completion. It takes the reports it shows off the board, so a final result whose report is
// still on the board went unseen. Start clears the results, so they are this run's alone.
bool StatusWindowSawEnd();

}  // namespace m4410
