#include "win32/transfer_status_dialog.h"

#include <commctrl.h>

#include <cstdint>

#include "ui/status_dialog_ids.h"
#include "win32/help_loader.h"

namespace m4410 {

namespace {

constexpr int kNotesControl = 1100;   // ours, below the message line
constexpr int kNotesHelpControl = 1101;  // the notes' help line, a button at the room's foot
constexpr int kHelpButtonUnits = 12;     // its height in dialog units, a gap of 2 above it

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
  void ShowHelp(const std::string& page) override { ShowHelpPage(page.c_str()); }
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
      if (LOWORD(wparam) == kNotesHelpControl) self->controller_.OnHelp();
      return TRUE;
    case WM_HELP:  // F1
      self->controller_.OnHelp();
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
  const DialogRect& r = room.notes;
  RECT notes{r.x, r.y, r.x + r.width, r.y + r.height - kHelpButtonUnits - 2};
  ::MapDialogRect(window_, &notes);
  RECT help{r.x, r.y + r.height - kHelpButtonUnits, r.x + r.width, r.y + r.height};
  ::MapDialogRect(window_, &help);
  RECT shift{0, 0, 0, room.shift};
  ::MapDialogRect(window_, &shift);
  // A read-only edit, so the operator can select a cause and its remedy and copy them.
  notes_ = ::CreateWindowExA(0, "Edit", "",
                             WS_CHILD | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY |
                                 ES_AUTOVSCROLL,
                             notes.left, notes.top, notes.right - notes.left,
                             notes.bottom - notes.top, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNotesControl)),
                             ::GetModuleHandleA(nullptr), nullptr);
  help_ = ::CreateWindowExA(0, "Button", "", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | BS_LEFT,
                            help.left, help.top, help.right - help.left, help.bottom - help.top,
                            window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNotesHelpControl)),
                            ::GetModuleHandleA(nullptr), nullptr);
  const WPARAM font = ::SendMessageA(window_, WM_GETFONT, 0, 0);
  ::SendMessageA(notes_, WM_SETFONT, font, TRUE);
  ::SendMessageA(help_, WM_SETFONT, font, TRUE);
  const HWND button = ::GetDlgItem(window_, kStatusButton);
  const RECT place = PlaceOf(window_, button);
  ::SetWindowPos(button, nullptr, place.left, place.top + shift.bottom, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + shift.bottom, SWP_NOMOVE | SWP_NOZORDER);
}

// An edit has no links: the line with a help page is the button below it, named by the
// page's title as the help lists it.
void TransferStatusDialog::ShowNotes(const std::vector<NoteLine>& lines) {
  std::string text;
  std::string help;
  for (const NoteLine& line : lines) {
    if (!line.help.page.empty()) {
      help = line.text + line.help.title;
      continue;
    }
    if (!text.empty()) text += "\r\n";
    text += line.text;
  }
  ::SetWindowTextA(notes_, text.c_str());
  ::ShowWindow(notes_, text.empty() ? SW_HIDE : SW_SHOW);
  ::SetWindowTextA(help_, help.c_str());
  ::ShowWindow(help_, help.empty() ? SW_HIDE : SW_SHOW);
}

void TransferStatusDialog::EndDialog() {
  if (key_filter_ != nullptr) ::UnhookWindowsHookEx(key_filter_);
  key_filter_ = nullptr;
  if (g_filtered == this) g_filtered = nullptr;
  ::EndDialog(window_, IDCANCEL);
}

}  // namespace m4410
