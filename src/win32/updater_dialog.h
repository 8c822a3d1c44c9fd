// The main dialog as a Win32 dialog from template 102: the complete-file row (and three
// hidden part-file rows), Start, Quit, Help and the browse buttons, with the remembered file
// choices in the program's INI file. It owns the shared controller, which holds the dialog's
// strings and handlers; this window draws what the controller says and turns window messages
// into its handlers.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/main_dialog_controller.h"
#include "ui/profile_store.h"

namespace m4410 {

class PortEnvironment;

class UpdaterDialog {
 public:
  UpdaterDialog(ProfileStore* profile, const PortEnvironment* environment);
  ~UpdaterDialog();

  // Runs the dialog modally: 0 after Quit, IDCANCEL after Esc or the close box, -1 when the
  // template cannot be loaded.
  INT_PTR DoModal();

  // The dialog's strings (m_strCompleteFile ...) and handlers.
  MainDialogController& controller() { return controller_; }

  // Control members, in the order the main dialog has always declared them.
  HWND m_editProgramFile = nullptr;
  HWND m_editTableFile = nullptr;
  HWND m_editMenuFile = nullptr;
  HWND m_editCompleteFile = nullptr;
  HWND m_checkTableFile = nullptr;
  HWND m_checkProgramFile = nullptr;
  HWND m_checkMenuFile = nullptr;
  HWND m_checkCompleteFile = nullptr;
  HICON m_hIcon = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  BOOL OnInitDialog();
  void OnCommand(int id, int notification);
  void OnPaint();
  void OnHelpButton();
  void OnHelpInfo();

  class Controls;  // the controller's view of this dialog's controls (in the .cpp)

  HWND window_ = nullptr;
  bool pushing_ = false;  // the dialog's own pushes into the edits are no edit changes
  std::unique_ptr<Controls> controls_;
  MainDialogController controller_;
};

}  // namespace m4410
