// The window shown while the program waits for an update worker before it ends, without a
// window: its text and its "Leave now" button. It has no way out while the image goes out;
// at any other moment it offers to leave at once.
#pragma once

#include <string>

#include "ui/run_notes.h"

namespace m4410 {

struct WorkerWaitShown {
  std::string text;
  bool leave_shown = false;
  bool leave_enabled = true;
};

class WorkerWait {
 public:
  // image_seen_in_box: the status window saw the whole image go out.
  explicit WorkerWait(bool image_seen_in_box) : watch_(image_seen_in_box) {}

  // Follows the run: called on every poll until the worker has ended.
  WorkerWaitShown Poll();
  // "Leave now": the worker stops waiting for the box, ends the link and releases the port;
  // an image that has just begun to go out still goes out whole, and the wait goes on for it.
  void Leave();

 private:
  WaitWatch watch_;
  bool leaving_ = false;
};

}  // namespace m4410
