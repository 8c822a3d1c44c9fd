#include "win32/updater_dialog.h"

#include <commdlg.h>

#include <vector>

#include "run/port_environment.h"
#include "ui/dialog_template.h"
#include "ui/file_rows.h"
#include "ui/main_dialog_ids.h"
#include "ui/run_notes.h"
#include "ui/start_command.h"
#include "win32/app_identity.h"
#include "win32/help_loader.h"
#include "win32/transfer_status_dialog.h"
#include "win32/worker_wait_dialog.h"

namespace m4410 {

namespace {

constexpr int kIconId = 159;
constexpr DWORD kHelpContext = 0x20066;  // the help context of template 102
constexpr char kBrowseFilter[] = "Update Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0";

bool BoxChecked(HWND box) { return ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string TextOf(HWND edit) {
  std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(edit)) + 1);
  const int length = ::GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<std::size_t>(length));
}

}  // namespace

UpdaterDialog::UpdaterDialog(ProfileStore* profile, const PortEnvironment* environment)
    : profile_(profile), environment_(environment) {
  m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconId));
}

INT_PTR UpdaterDialog::DoModal() {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTemplateId), nullptr,
                           &UpdaterDialog::Proc, reinterpret_cast<LPARAM>(this));
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
  UpdateData(false);

  ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  if (Simulated()) {
    const std::string title = LoadDialogTemplate(kTemplateId).caption + kSimulatedTitleSuffix;
    ::SetWindowTextA(window_, title.c_str());
  }

  m_strSection = "Software Update Section";
  m_strLastPathItem = "Software Update String Item";
  m_strLastPath = profile_->GetString(m_strSection, m_strLastPathItem);
  m_strCompleteFileItem = "Software Update Filename Item";
  m_strCompleteFile = profile_->GetString(m_strSection, m_strCompleteFileItem);
  m_strProgramFileItem = "Software Update ProgramFilename Item";
  m_strProgramFile = profile_->GetString(m_strSection, m_strProgramFileItem);
  m_strMenuFileItem = "Software Update MenuFilename Item";
  m_strMenuFile = profile_->GetString(m_strSection, m_strMenuFileItem);
  m_strTableFileItem = "Software Update TableFilename Item";
  m_strTableFile = profile_->GetString(m_strSection, m_strTableFileItem);

  SetInitialRowStates(*this);

  UpdateData(false);
  return TRUE;  // the focus goes to the first tab stop, Start
}

void UpdaterDialog::OnCommand(int id, int notification) {
  if (notification == EN_CHANGE) {
    if (id == kCompleteEdit || id == kTableEdit || id == kMenuEdit || id == kProgramEdit) {
      OnFileEditChange();
    }
    return;
  }
  if (notification != BN_CLICKED) return;
  switch (id) {
    case kStart: StartCommand(); break;
    case kBrowseComplete: Browse(&m_strCompleteFile); break;
    case kQuit: OnQuit(); break;
    case kHelp: OnHelpButton(); break;
    case kBrowseTable: Browse(&m_strTableFile); break;
    case kBrowseProgram: Browse(&m_strProgramFile); break;
    case kBrowseMenu: Browse(&m_strMenuFile); break;
    case kCompleteCheck: OnRowCheck(*this, FileRow::Complete); break;
    case kMenuCheck: OnRowCheck(*this, FileRow::Menu); break;
    case kTableCheck: OnRowCheck(*this, FileRow::Table); break;
    case kProgramCheck: OnRowCheck(*this, FileRow::Program); break;
    case IDCANCEL: End(IDCANCEL); break;  // Esc and the close box
    default: break;
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

void UpdaterDialog::UpdateData(bool save) {
  const std::pair<HWND, std::string*> pairs[] = {
      {m_editCompleteFile, &m_strCompleteFile},
      {m_editProgramFile, &m_strProgramFile},
      {m_editTableFile, &m_strTableFile},
      {m_editMenuFile, &m_strMenuFile},
  };
  pushing_ = !save;
  for (const auto& [edit, value] : pairs) {
    if (edit == nullptr) continue;
    if (save) {
      *value = TextOf(edit);
    } else if (TextOf(edit) != *value) {
      ::SetWindowTextA(edit, value->c_str());
    }
  }
  pushing_ = false;
}

void UpdaterDialog::StartCommand() {
  // 1 to 6: the file, its check, the worker.
  const StartOutcome outcome = StartUpdate(
      {BoxChecked(m_checkCompleteFile), BoxChecked(m_checkMenuFile),
       BoxChecked(m_checkProgramFile), BoxChecked(m_checkTableFile), &m_strCompleteFile, &m_strMenuFile, &m_strProgramFile,
       &m_strTableFile});
  if (!outcome.started) {
    Message(outcome.message, outcome.warning ? MB_ICONEXCLAMATION : 0);
    return;
  }
  // 7, 8.
  {
    TransferStatusDialog status;
    if (Simulated()) status.SetBoxReport([this] { return environment_->BoxReport(); });
    status.DoModal(window_);
    image_seen_in_box_ = status.ImageSeenInBox();
  }
  LowerKeepGoing();
}

bool UpdaterDialog::Simulated() const {
  return environment_ != nullptr && environment_->simulated();
}

void UpdaterDialog::OnQuit() {
  profile_->WriteString(m_strSection, m_strLastPathItem, m_strLastPath);
  profile_->WriteString(m_strSection, m_strCompleteFileItem, m_strCompleteFile);
  profile_->WriteString(m_strSection, m_strProgramFileItem, m_strProgramFile);
  profile_->WriteString(m_strSection, m_strMenuFileItem, m_strMenuFile);
  profile_->WriteString(m_strSection, m_strTableFileItem, m_strTableFile);
  End(0);
}

// The program never ends while a worker still holds the port.
void UpdaterDialog::End(INT_PTR result) {
  WaitForWorkerToFinish(window_, image_seen_in_box_);
  ::EndDialog(window_, result);
}

void UpdaterDialog::Browse(std::string* target) {
  char chosen[4096] = {};
  const std::string initial = m_strLastPath.empty() ? std::string("C:") : m_strLastPath;
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = kBrowseFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen;
  dialog.nMaxFile = sizeof chosen;
  dialog.lpstrInitialDir = initial.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
  if (!::GetOpenFileNameA(&dialog)) return;  // cancelled or failed: nothing changes
  *target = chosen;
  UpdateData(false);
  m_strLastPath = chosen;
}

void UpdaterDialog::OnFileEditChange() {
  if (!pushing_) UpdateData(true);
}

HWND UpdaterDialog::BoxOf(FileRow row) const {
  switch (row) {
    case FileRow::Complete: return m_checkCompleteFile;
    case FileRow::Program: return m_checkProgramFile;
    case FileRow::Menu: return m_checkMenuFile;
    case FileRow::Table: return m_checkTableFile;
  }
  return nullptr;
}

HWND UpdaterDialog::EditOf(FileRow row) const {
  switch (row) {
    case FileRow::Complete: return m_editCompleteFile;
    case FileRow::Program: return m_editProgramFile;
    case FileRow::Menu: return m_editMenuFile;
    case FileRow::Table: return m_editTableFile;
  }
  return nullptr;
}

bool UpdaterDialog::IsChecked(FileRow row) const { return BoxChecked(BoxOf(row)); }

void UpdaterDialog::SetChecked(FileRow row, bool checked) {
  ::SendMessageA(BoxOf(row), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);  // no click
}

void UpdaterDialog::SetReadOnly(FileRow row, bool read_only) {
  ::SendMessageA(EditOf(row), EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
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
  if (!ShowContextHelp(window_, kHelpContext, "running.html")) {
    Message("Failed to launch help.", MB_ICONEXCLAMATION);
  }
}

void UpdaterDialog::Message(const std::string& text, UINT icon) {
  ::MessageBoxA(window_, text.c_str(), AppName().c_str(), MB_OK | icon);
}

}  // namespace m4410
