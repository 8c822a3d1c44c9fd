// The Start command up to the status window, without a window: which file the check boxes
// choose, the check that it opens, one worker at a time, a clean board and a raised flag,
// and the worker's start. The main dialog's controller calls this, then has its window show
// the message or the status window.
#pragma once

#include <string>

namespace m4410 {

struct FileRows {
  bool complete = false;
  bool menu = false;
  bool program = false;
  bool table = false;
  const std::string* complete_path = nullptr;
  const std::string* menu_path = nullptr;
  const std::string* program_path = nullptr;
  const std::string* table_path = nullptr;
};

struct StartOutcome {
  bool started = false;  // the worker runs: show the status window
  std::string message;   // otherwise the message box's text
  bool warning = false;  // the box carries the warning icon (the file's report)
};

StartOutcome StartUpdate(const FileRows& rows);

}  // namespace m4410
