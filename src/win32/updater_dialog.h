// The main dialog as a Win32 dialog from template 102: the complete-file row (and three
// hidden part-file rows), Start, Quit, Help and the browse buttons, with the remembered file
// choices in the program's INI file.
#pragma once

#include <windows.h>

#include <string>

#include "ui/file_rows.h"
#include "ui/profile_store.h"

namespace m4410 {

class PortEnvironment;

class UpdaterDialog : private FileRowControls {
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

  void StartCommand();
  void OnQuit();
  void Browse(std::string* target);
  void OnFileEditChange();
  // The check boxes and edits of each file row, for the shared rules.
  HWND BoxOf(FileRow row) const;
  HWND EditOf(FileRow row) const;
  bool IsChecked(FileRow row) const override;
  void SetChecked(FileRow row, bool checked) override;
  void SetReadOnly(FileRow row, bool read_only) override;
  void OnHelpButton();
  void OnHelpInfo();
  void UpdateData(bool save);
  void End(INT_PTR result);
  void Message(const std::string& text, UINT icon);
  bool Simulated() const;

  HWND window_ = nullptr;
  bool pushing_ = false;  // the dialog's own pushes into the edits are no edit changes
  bool image_seen_in_box_ = false;
  ProfileStore* profile_;
  const PortEnvironment* environment_;

 public:
  // Members, in the order the main dialog has always declared them.
  HWND m_editProgramFile = nullptr;
  HWND m_editTableFile = nullptr;
  HWND m_editMenuFile = nullptr;
  HWND m_editCompleteFile = nullptr;
  HWND m_checkTableFile = nullptr;
  HWND m_checkProgramFile = nullptr;
  HWND m_checkMenuFile = nullptr;
  HWND m_checkCompleteFile = nullptr;
  std::string m_strCompleteFile;
  std::string m_strSection;
  std::string m_strLastPathItem;
  std::string m_strCompleteFileItem;
  std::string m_strProgramFileItem;
  std::string m_strTableFileItem;
  std::string m_strMenuFileItem;
  std::string m_strLastPath;
  std::string m_strProgramFile;
  std::string m_strTableFile;
  std::string m_strMenuFile;
  HICON m_hIcon = nullptr;
};

}  // namespace m4410
