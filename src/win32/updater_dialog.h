// The main dialog as a Win32 dialog from template 102: the complete-file row (and three
// hidden part-file rows), Start, Quit, Help and the browse buttons, with the remembered file
// choices in the program's INI file. Its behaviour is the shared controller's; this class
// draws it and turns window messages into the controller's handlers.
#pragma once

#include <windows.h>

#include <string>

#include "ui/main_dialog_controller.h"
#include "ui/profile_store.h"

namespace m4410 {

class PortEnvironment;

class UpdaterDialog : public MainDialogController {
 public:
  static constexpr int kTemplateId = 102;

  UpdaterDialog(ProfileStore* profile, const PortEnvironment* environment);

  // Runs the dialog modally: 0 after Quit, IDCANCEL after Esc or the close box, -1 when the
  // template cannot be loaded.
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  BOOL OnInitDialog();
  void OnCommand(int id, int notification);
  void OnPaint();
  void OnHelpButton();
  void OnHelpInfo();

  class View;  // the controller's view of this dialog's controls

  // Beyond the template: the note on a run whose status window was closed early, its OK.
  void AddRunNote();

  bool Simulated() const;

  HWND window_ = nullptr;
  bool pushing_ = false;  // the dialog's own pushes into the edits are no edit changes
  ProfileStore* profile_;
  const PortEnvironment* environment_;

 public:
  // Control members, in the order the main dialog has always declared them; its strings
  // (m_strCompleteFile ...) are the controller's.
  HWND m_editProgramFile = nullptr;
  HWND m_editTableFile = nullptr;
  HWND m_editMenuFile = nullptr;
  HWND m_editCompleteFile = nullptr;
  HWND m_checkTableFile = nullptr;
  HWND m_checkProgramFile = nullptr;
  HWND m_checkMenuFile = nullptr;
  HWND m_checkCompleteFile = nullptr;
  HICON m_hIcon = nullptr;
};

}  // namespace m4410
