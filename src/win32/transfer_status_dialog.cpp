#include "win32/transfer_status_dialog.h"

#include <commctrl.h>

#include <cstdint>

#include "ui/status_dialog_ids.h"

namespace m4410 {

namespace {

constexpr int kNotesControl = 1100;   // ours, below the message line

// The status window whose keys the filter looks at: one at a time, on the interface thread.
TransferStatusDialog* g_filtered = nullptr;

// A control's place in the dialog's client area.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT place{};
  ::GetWindowRect(control, &place);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

}  // namespace

class TransferStatusDialog::Controls : public StatusDialogView {
 public:
  explicit Controls(TransferStatusDialog& dialog) : d_(dialog) {}

  void SetTitle(const std::string& title) override { ::SetWindowTextA(d_.window_, title.c_str()); }
  void SetResult(int stage, const std::string& text) override {
    ::SetDlgItemTextA(d_.window_, StageResultControl(stage), text.c_str());
  }
  void SetMessage(const std::string& text) override {
    ::SetDlgItemTextA(d_.window_, kStatusMessage, text.c_str());
  }
  void SetBarRange(int lower, int upper) override {
    ::SendDlgItemMessageA(d_.window_, kStatusProgress, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
  }
  void SetBar(int position) override {
    ::SendDlgItemMessageA(d_.window_, kStatusProgress, PBM_SETPOS, static_cast<WPARAM>(position),
                          0);
  }
  void SetButtonText(const std::string& text) override {
    ::SetDlgItemTextA(d_.window_, kStatusButton, text.c_str());
  }
  void ReserveNotes(const NotesRoom& room) override { d_.ReserveNotes(room); }
  void ShowNotes(const std::vector<NoteLine>& lines) override { d_.ShowNotes(lines); }
  void StartTimer(StatusTimer timer, int period_ms) override {
    ::SetTimer(d_.window_, static_cast<UINT_PTR>(timer), static_cast<UINT>(period_ms), nullptr);
  }
  void StopTimer(StatusTimer timer) override {
    ::KillTimer(d_.window_, static_cast<UINT_PTR>(timer));
  }
  void EndDialog() override { d_.EndDialog(); }

 private:
  TransferStatusDialog& d_;
};

TransferStatusDialog::TransferStatusDialog()
    : controls_(std::make_unique<Controls>(*this)), controller_(*controls_) {}

TransferStatusDialog::~TransferStatusDialog() {
  if (key_filter_ != nullptr) ::UnhookWindowsHookEx(key_filter_);
  if (g_filtered == this) g_filtered = nullptr;
}

INT_PTR TransferStatusDialog::DoModal(HWND owner) {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kStatusDialogTemplate),
                           owner, &TransferStatusDialog::Proc, reinterpret_cast<LPARAM>(this));
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

// The dialog manager turns Enter into the default button's command, and the button takes
// Space, before any window procedure of ours sees the key. Its modal loop offers each message
// to the thread's message filters first, so the keys are judged there.
void TransferStatusDialog::OnInitDialog() {
  shown_at_ = ::GetTickCount();
  g_filtered = this;
  key_filter_ = ::SetWindowsHookExA(WH_MSGFILTER, &TransferStatusDialog::KeyFilter, nullptr,
                                    ::GetCurrentThreadId());
  controller_.OnInitDialog();
}

LRESULT CALLBACK TransferStatusDialog::KeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_DIALOGBOX && g_filtered != nullptr) {
    const MSG& message = *reinterpret_cast<const MSG*>(lparam);
    if (!g_filtered->TakesKey(message)) return 1;
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

bool TransferStatusDialog::TakesKey(const MSG& message) const {
  if (message.message != WM_KEYDOWN) return true;
  if (message.wParam != VK_RETURN && message.wParam != VK_SPACE) return true;
  if (message.hwnd != window_ && !::IsChild(window_, message.hwnd)) return true;
  ButtonKeyPress press;
  press.auto_repeat = (message.lParam & (1L << 30)) != 0;  // the key was already down
  // Message times and the tick count are one clock, wrapping together.
  press.ms_since_shown = static_cast<std::int32_t>(message.time - shown_at_);
  press.double_click_ms = static_cast<int>(::GetDoubleClickTime());
  return KeyPressesButton(press);
}

void TransferStatusDialog::ReserveNotes(const NotesRoom& room) {
  RECT notes{room.notes.x, room.notes.y, room.notes.x + room.notes.width,
             room.notes.y + room.notes.height};
  ::MapDialogRect(window_, &notes);
  RECT shift{0, 0, 0, room.shift};
  ::MapDialogRect(window_, &shift);
  notes_ = ::CreateWindowExA(0, "Static", "", WS_CHILD | SS_LEFT | SS_NOPREFIX, notes.left,
                             notes.top, notes.right - notes.left, notes.bottom - notes.top,
                             window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNotesControl)),
                             ::GetModuleHandleA(nullptr), nullptr);
  ::SendMessageA(notes_, WM_SETFONT, ::SendMessageA(window_, WM_GETFONT, 0, 0), TRUE);
  const HWND button = ::GetDlgItem(window_, kStatusButton);
  const RECT place = PlaceOf(window_, button);
  ::SetWindowPos(button, nullptr, place.left, place.top + shift.bottom, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + shift.bottom, SWP_NOMOVE | SWP_NOZORDER);
}

// A static has no links: a help page is named by its title, as the help lists it.
void TransferStatusDialog::ShowNotes(const std::vector<NoteLine>& lines) {
  std::string text;
  for (const NoteLine& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line.text + line.help.title;
  }
  ::SetWindowTextA(notes_, text.c_str());
  ::ShowWindow(notes_, SW_SHOW);
}

void TransferStatusDialog::EndDialog() {
  if (key_filter_ != nullptr) ::UnhookWindowsHookEx(key_filter_);
  key_filter_ = nullptr;
  if (g_filtered == this) g_filtered = nullptr;
  ::EndDialog(window_, IDCANCEL);
}

}  // namespace m4410
