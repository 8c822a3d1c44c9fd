// The "File Transfer Status" window as a Win32 dialog from template 103. It owns the status
// dialog's controller, draws what it says and passes on its timers, its button, Esc, the close
// box, F1, the notes' help line and the keys that press the button.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/status_dialog.h"

namespace m4410 {

class TransferStatusDialog {
 public:
  TransferStatusDialog();
  ~TransferStatusDialog();

  // The box is simulated: see StatusDialogController::SetBoxReport.
  void SetBoxReport(BoxReport report) { controller_.SetBoxReport(std::move(report)); }

  // Runs the dialog modally over owner; returns IDCANCEL once closed.
  INT_PTR DoModal(HWND owner);

  bool ImageSeenInBox() const { return controller_.ImageSeenInBox(); }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void OnTimer(UINT id) { controller_.OnTimer(static_cast<StatusTimer>(id)); }
  void OnCancel() { controller_.OnCancel(); }
  bool TakesKey(const MSG& message) const;

  void ReserveNotes(const NotesRoom& room);
  void ShowNotes(const std::vector<NoteLine>& lines);
  void EndDialog();

  class Controls;  // the controller's view of this window's controls (in the .cpp)

  HWND window_ = nullptr;
  HWND notes_ = nullptr;
  HWND help_ = nullptr;  // the notes' help line
  HHOOK key_filter_ = nullptr;
  DWORD shown_at_ = 0;  // GetTickCount as the window came up, the clock of message times
  std::unique_ptr<Controls> controls_;
  StatusDialogController controller_;
};

}  // namespace m4410
