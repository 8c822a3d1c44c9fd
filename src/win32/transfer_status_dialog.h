// The "File Transfer Status" window as a Win32 dialog from template 103: on its 250 ms timer
// the status display model polls the stage board, and the dialog draws the stage results,
// the progress bar, the message line and the button as the model says.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/status_display.h"

namespace m4410 {

class TransferStatusDialog {
 public:
  static constexpr int kTemplateId = 103;
  static constexpr UINT kTimerId = 1;
  static constexpr UINT kTimerPeriodMs = 250;

  // The box is simulated: the title says so, and once the run has ended the window shows what
  // the box received (report gives the line, as m4410 prints it).
  void SetBoxReport(std::function<std::string()> report) { box_report_ = std::move(report); }

  // Runs the dialog modally over owner; returns IDCANCEL once closed.
  INT_PTR DoModal(HWND owner);

  bool ImageSeenInBox() const { return model_.view().image_in_box; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void OnTimer(UINT id);
  void OnCancel();
  void Draw();
  void ShowNotes();

  HWND window_ = nullptr;
  HWND notes_ = nullptr;
  int notes_added_ = 0;  // pixels the notes added below the message line
  StatusDisplay model_;
  int drawn_bar_ = -1;
  std::string drawn_button_;
  bool timer_running_ = false;
  bool run_ended_ = false;
  std::string box_line_;
  std::string log_line_;
  std::function<std::string()> box_report_;
};

}  // namespace m4410
