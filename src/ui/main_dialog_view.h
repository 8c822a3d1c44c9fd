// What the main dialog's controller needs of a window, nothing more. The Qt and Win32 windows
// each implement it in a few lines per call; controls are named by their template IDs
// (ui/main_dialog_ids.h).
#pragma once

#include <string>
#include <vector>

#include "ui/run_notes.h"

namespace m4410 {

enum class MessageKind { Plain, Warning };

// One filter the open-file dialog offers: its name as shown, and the names it lets through.
struct FileFilter {
  std::string name;
  std::string pattern;
};

class MainDialogView {
 public:
  virtual ~MainDialogView() = default;

  // A control's text. SetText raises no edit-change notification: only the operator's own
  // typing is a change.
  virtual std::string Text(int id) const = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  // A check box's state; only "checked" counts. SetChecked raises no click.
  virtual bool Checked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual void SetReadOnly(int id, bool read_only) = 0;
  virtual void Show(int id, bool shown) = 0;
  virtual void SetTitle(const std::string& title) = 0;

  // A box with one OK button, captioned with the program's name; returns once closed.
  virtual void Message(const std::string& text, MessageKind kind) = 0;
  // The open-file dialog of the browse buttons, opening on last_path (empty: the system's
  // usual folder) with filters, the first chosen. True with the chosen full path on OK;
  // false, *chosen untouched, otherwise.
  virtual bool ChooseFile(const std::string& last_path, const std::vector<FileFilter>& filters,
                          std::string* chosen) = 0;
  // Runs the status window modally, with the simulated box's report when there is one (see
  // StatusDialogController::SetBoxReport); true when it saw the whole image go out.
  virtual bool RunStatusWindow(const BoxReport& box_report) = 0;
  // Shows that the program waits for the running worker and returns once it has ended.
  virtual void WaitForWorker(bool image_seen_in_box) = 0;
  // A periodic timer that calls the controller's OnTimer.
  virtual void StartTimer(int period_ms) = 0;
  virtual void StopTimer() = 0;
  // Ends the modal dialog with result.
  virtual void EndDialog(int result) = 0;
};

}  // namespace m4410
