#include "win32/updater_dialog.h"

#include <commdlg.h>

#include <string>
#include <vector>

#include "ui/main_dialog_ids.h"
#include "ui/run_notes.h"
#include "win32/app_identity.h"
#include "win32/chooser_folder.h"
#include "win32/help_loader.h"
#include "win32/system_libraries.h"
#include "win32/transfer_status_dialog.h"
#include "win32/worker_wait_dialog.h"

namespace m4410 {

namespace {

constexpr int kIconId = 159;
constexpr DWORD kHelpContext = 0x20000 + kMainDialogTemplate;  // the help context of the dialog
constexpr UINT_PTR kRunTimerId = 1;

}  // namespace

// The controller's calls on this dialog's controls, by their template IDs.
class UpdaterDialog::Controls : public MainDialogView {
 public:
  explicit Controls(UpdaterDialog* dialog) : d_(dialog) {}

  std::string Text(int id) const override {
    const HWND control = ::GetDlgItem(d_->window_, id);
    std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(control)) + 1);
    const int length = ::GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
  }
  void SetText(int id, const std::string& text) override {
    // A static control breaks lines at CR LF.
    std::string shown;
    for (const char c : text) shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
    d_->pushing_ = true;  // EN_CHANGE comes at once, and is no change of the operator's
    ::SetDlgItemTextA(d_->window_, id, shown.c_str());
    d_->pushing_ = false;
  }
  bool Checked(int id) const override {
    return ::IsDlgButtonChecked(d_->window_, id) == BST_CHECKED;
  }
  void SetChecked(int id, bool checked) override {  // BM_SETCHECK raises no click
    ::CheckDlgButton(d_->window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  void SetReadOnly(int id, bool read_only) override {
    ::SendDlgItemMessageA(d_->window_, id, EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
  }
  void Show(int id, bool shown) override {
    ::ShowWindow(::GetDlgItem(d_->window_, id), shown ? SW_SHOW : SW_HIDE);
  }
  void SetTitle(const std::string& title) override { ::SetWindowTextA(d_->window_, title.c_str()); }
  void Message(const std::string& text, MessageKind kind) override {
    const UINT icon = kind == MessageKind::Warning ? MB_ICONEXCLAMATION : 0;
    ::MessageBoxA(d_->window_, text.c_str(), AppName().c_str(), MB_OK | icon);
  }
  bool ChooseFile(const std::string& last_path, const std::vector<FileFilter>& filters,
                  std::string* chosen) override {
    // Each filter's name and names, each ended by a NUL, and one more NUL after the last.
    std::string filter_text;
    for (const FileFilter& filter : filters) {
      filter_text += filter.name + '\0' + filter.pattern + '\0';
    }
    filter_text += '\0';
    char path[4096] = {};
    const std::string initial = ChooserStartFolder(last_path);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = d_->window_;
    dialog.lpstrFilter = filter_text.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrInitialDir = initial.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
    if (!GetOpenFileNameFromSystem(&dialog)) return false;  // cancelled or failed
    *chosen = path;
    return true;
  }
  bool RunStatusWindow(const BoxReport& box_report) override {
    TransferStatusDialog status;
    status.SetBoxReport(box_report);
    status.DoModal(d_->window_);
    return status.ImageSeenInBox();
  }
  void WaitForWorker(bool image_seen_in_box) override {
    WaitForWorkerToFinish(d_->window_, image_seen_in_box);
  }
  void StartTimer(int period_ms) override {
    ::SetTimer(d_->window_, kRunTimerId, static_cast<UINT>(period_ms), nullptr);
  }
  void StopTimer() override { ::KillTimer(d_->window_, kRunTimerId); }
  void EndDialog(int result) override { ::EndDialog(d_->window_, result); }

 private:
  UpdaterDialog* d_;
};

UpdaterDialog::UpdaterDialog(ProfileStore* profile, const PortEnvironment* environment)
    : controls_(std::make_unique<Controls>(this)),
      controller_(*controls_, *profile, SimulatedBoxReport(environment)) {
  m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconId));
}

UpdaterDialog::~UpdaterDialog() = default;

INT_PTR UpdaterDialog::DoModal() {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kMainDialogTemplate),
                           nullptr, &UpdaterDialog::Proc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UpdaterDialog::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<UpdaterDialog*>(lparam);
    ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    self->window_ = window;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<UpdaterDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_PAINT:
      if (!::IsIconic(window)) return FALSE;
      self->OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(self->m_hIcon);
    case WM_COMMAND:
      self->OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_HELP:
      self->OnHelpInfo();
      return TRUE;
    case WM_TIMER:
      if (wparam == kRunTimerId) self->controller_.OnTimer();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL UpdaterDialog::OnInitDialog() {
  m_editProgramFile = ::GetDlgItem(window_, kProgramEdit);
  m_editTableFile = ::GetDlgItem(window_, kTableEdit);
  m_editMenuFile = ::GetDlgItem(window_, kMenuEdit);
  m_editCompleteFile = ::GetDlgItem(window_, kCompleteEdit);
  m_checkTableFile = ::GetDlgItem(window_, kTableCheck);
  m_checkProgramFile = ::GetDlgItem(window_, kProgramCheck);
  m_checkMenuFile = ::GetDlgItem(window_, kMenuCheck);
  m_checkCompleteFile = ::GetDlgItem(window_, kCompleteCheck);

  ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  controller_.OnInitDialog();
  return TRUE;  // the focus goes to the first tab stop, Start
}

void UpdaterDialog::OnCommand(int id, int notification) {
  if (notification == EN_CHANGE) {
    if (!pushing_) controller_.OnEditChange(id);
  } else if (notification == BN_CLICKED) {
    if (id == IDCANCEL) {
      controller_.OnCancel();  // Esc and the close box
    } else if (id == kHelp) {
      OnHelpButton();
    } else {
      controller_.OnClicked(id);
    }
  }
}

// Minimised: the icon, centred in the client area.
void UpdaterDialog::OnPaint() {
  PAINTSTRUCT paint{};
  const HDC dc = ::BeginPaint(window_, &paint);
  ::SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int icon_width = ::GetSystemMetrics(SM_CXICON);
  const int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client{};
  ::GetClientRect(window_, &client);
  const int x = (client.right - client.left - icon_width + 1) / 2;
  const int y = (client.bottom - client.top - icon_height + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(window_, &paint);
}

// A viewer that cannot be had is silent. The help file is the one beside the program, as F1's
// is: a bare name would make the viewer open whatever the current folder (Downloads, a share,
// a stick of update images) holds under that name, and a CHM is active content.
void UpdaterDialog::OnHelpButton() { HtmlHelpA(nullptr, HelpFile().c_str(), 0, 0); }

// F1: the classic context help at the dialog's context where it can be had, else the help
// file at the main window's page.
void UpdaterDialog::OnHelpInfo() {
  const bool held = (::GetKeyState(VK_SHIFT) | ::GetKeyState(VK_CONTROL) |
                     ::GetKeyState(VK_MENU)) < 0;
  if (held) return;
  if (!ShowContextHelp(window_, kHelpContext, kRunningHelpPage)) {
    ::MessageBoxA(window_, "Failed to launch help.", AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
  }
}

}  // namespace m4410
