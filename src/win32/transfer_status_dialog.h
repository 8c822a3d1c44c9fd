// The "File Transfer Status" window as a Win32 dialog from template 103: draws what the status
// dialog's controller says and passes on its timers, its button, Esc, the close box and the
// keys that press the button.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/status_dialog.h"

namespace m4410 {

class TransferStatusDialog {
 public:
  static constexpr int kTemplateId = 103;

  TransferStatusDialog();
  ~TransferStatusDialog();

  // The box is simulated: see StatusDialogController::SetBoxReport.
  void SetBoxReport(std::function<std::string()> report) {
    controller_.SetBoxReport(std::move(report));
  }

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

  // What the controller draws with: this window's controls (in the .cpp).
  class Drawing;

  HWND window_ = nullptr;
  HWND notes_ = nullptr;
  HHOOK key_filter_ = nullptr;
  DWORD shown_at_ = 0;  // GetTickCount as the window came up, the clock of message times
  std::unique_ptr<Drawing> drawing_;
  StatusDialogController controller_;
};

}  // namespace m4410
