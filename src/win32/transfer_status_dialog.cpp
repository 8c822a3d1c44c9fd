#include "win32/transfer_status_dialog.h"

#include <commctrl.h>

#include "board/stage_board.h"
#include "run/update_log.h"
#include "run/update_worker.h"
#include "ui/dialog_template.h"
#include "ui/run_notes.h"

namespace m4410 {

namespace {

constexpr int kResultControl = 1052;  // results of stages 1 to 7: 1052 to 1058
constexpr int kMessageControl = 1059;
constexpr int kProgressControl = 1003;
constexpr int kNotesControl = 1100;   // ours, below the message line
constexpr UINT kEndWatchId = 2;       // looks for the worker's end, for the notes
constexpr UINT kEndWatchMs = 50;

}  // namespace

INT_PTR TransferStatusDialog::DoModal(HWND owner) {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTemplateId), owner,
                           &TransferStatusDialog::Proc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TransferStatusDialog::Proc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TransferStatusDialog*>(lparam);
    ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    self->window_ = window;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<TransferStatusDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_TIMER:
      self->OnTimer(static_cast<UINT>(wparam));
      return TRUE;
    case WM_COMMAND:
      // The button whatever its caption, Esc and the close box.
      if (LOWORD(wparam) == IDCANCEL) self->OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

void TransferStatusDialog::OnInitDialog() {
  if (box_report_) {
    const std::string title = LoadDialogTemplate(kTemplateId).caption + kSimulatedTitleSuffix;
    ::SetWindowTextA(window_, title.c_str());
  }
  timer_running_ = ::SetTimer(window_, kTimerId, kTimerPeriodMs, nullptr) != 0;
  ::SetTimer(window_, kEndWatchId, kEndWatchMs, nullptr);
  const HWND bar = ::GetDlgItem(window_, kProgressControl);
  ::SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(StatusView::kLower, StatusView::kUpper));
  model_ = StatusDisplay();
  Draw();
}

void TransferStatusDialog::OnTimer(UINT id) {
  if (id == kEndWatchId) {
    if (run_ended_ || UpdateWorkerRunning()) return;
    ::KillTimer(window_, kEndWatchId);
    run_ended_ = true;
    if (box_report_) box_line_ = box_report_();
    const std::string warning = UpdateLogWarning();
    if (!warning.empty()) log_line_ = "The run is not in the update log: " + warning;
    ShowNotes();
    return;
  }
  if (!timer_running_) return;
  model_.Tick();
  Draw();
  if (!model_.view().polling) {
    ::KillTimer(window_, id);
    timer_running_ = false;
    ShowNotes();
  }
}

// The bar and the button are set when the model moves them, as the tick always set them.
void TransferStatusDialog::Draw() {
  const StatusView& view = model_.view();
  for (int i = 0; i < kStageCount; ++i) {
    ::SetDlgItemTextA(window_, kResultControl + i, view.results[static_cast<std::size_t>(i)].c_str());
  }
  ::SetDlgItemTextA(window_, kMessageControl, view.message.c_str());
  if (view.bar != drawn_bar_) {
    ::SendDlgItemMessageA(window_, kProgressControl, PBM_SETPOS, static_cast<WPARAM>(view.bar), 0);
  }
  drawn_bar_ = view.bar;
  if (view.button != drawn_button_) ::SetDlgItemTextA(window_, IDCANCEL, view.button.c_str());
  drawn_button_ = view.button;
}

void TransferStatusDialog::OnCancel() {
  ::KillTimer(window_, kTimerId);
  ::KillTimer(window_, kEndWatchId);
  ::EndDialog(window_, IDCANCEL);
  LowerKeepGoing();
}

// Beyond the template: the cause of a failed stage 2 or 3 and where the help says more, what
// the simulated box received, and a log that could not be written, in lines below the
// message line; the button and the foot of the window move down to make room.
void TransferStatusDialog::ShowNotes() {
  const StatusView& view = model_.view();
  std::string text;
  const auto add = [&text](const std::string& line) {
    if (line.empty()) return;
    if (!text.empty()) text += "\r\n";
    text += line;
  };
  add(view.cause);
  if (!view.cause.empty() && !view.cause_page.title.empty()) {
    add("More in the help: " + view.cause_page.title);
  }
  add(box_line_);
  add(log_line_);
  if (text.empty()) return;

  const HWND message = ::GetDlgItem(window_, kMessageControl);
  RECT place{};
  ::GetWindowRect(message, &place);
  ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&place), 2);
  const int width = place.right - place.left;
  const int line = place.bottom - place.top;
  int lines = 1;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  const int gap = line / 2;
  const int height = (lines + 1) * line;  // a spare line for a long one that wraps
  if (notes_ == nullptr) {
    notes_ = ::CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0, 0,
                               window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNotesControl)),
                               ::GetModuleHandleA(nullptr), nullptr);
    ::SendMessageA(notes_, WM_SETFONT, ::SendMessageA(window_, WM_GETFONT, 0, 0), TRUE);
  }
  ::SetWindowPos(notes_, nullptr, place.left, place.bottom + gap, width, height, SWP_NOZORDER);
  const int added = height + gap;
  const int more = added - notes_added_;
  notes_added_ = added;
  const HWND button = ::GetDlgItem(window_, IDCANCEL);
  RECT button_place{};
  ::GetWindowRect(button, &button_place);
  ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&button_place), 2);
  ::SetWindowPos(button, nullptr, button_place.left, button_place.top + more, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + more, SWP_NOMOVE | SWP_NOZORDER);
  ::SetWindowTextA(notes_, text.c_str());
}

}  // namespace m4410
