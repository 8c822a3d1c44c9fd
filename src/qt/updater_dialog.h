// The main dialog: the complete-file row (and three hidden part-file rows), Start, Quit,
// Help and the browse buttons, with the remembered file choices.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "qt/message_sink.h"
#include "ui/file_rows.h"

class QCheckBox;
class QLineEdit;

namespace m4410 {

class FileChooser;
class UpdaterApp;

class UpdaterDialog : public QDialog, private FileRowControls {
  Q_OBJECT

 public:
  static constexpr int kTemplateId = 102;
  static constexpr int kIdCancel = 2;

  explicit UpdaterDialog(UpdaterApp* app, QWidget* parent = nullptr);
  ~UpdaterDialog() override;

  // Opens the dialog (OnInitDialog) and runs it modally.
  int DoModal();
  // Icon, settings, check boxes, read-only states and the remembered paths in the edits.
  void OnInitDialog();

  // Handlers, one per control and event.
  void StartCommand();
  void OnQuit();
  void OnBrowseCompleteFile();
  void OnBrowseProgramFile();
  void OnBrowseMenuFile();
  void OnBrowseTableFile();
  void OnFileEditChange();
  void OnCompleteFileCheck();
  void OnProgramFileCheck();
  void OnMenuFileCheck();
  void OnTableFileCheck();
  void OnHelpButton();
  void OnHelpInfo();

  // Pushes the four path strings into the edits (save false) or pulls the edits' texts into
  // the strings (save true).
  void UpdateData(bool save);

  // Seams for tests; the defaults show real boxes and dialogs and open the help viewer.
  void SetMessageSink(MessageSink* sink);
  void SetFileChooser(FileChooser* chooser);
  void SetHelpAction(std::function<void()> action);

  // Members, in the order the main dialog has always declared them.
  QLineEdit* m_editProgramFile = nullptr;
  QLineEdit* m_editTableFile = nullptr;
  QLineEdit* m_editMenuFile = nullptr;
  QLineEdit* m_editCompleteFile = nullptr;
  QCheckBox* m_checkTableFile = nullptr;
  QCheckBox* m_checkProgramFile = nullptr;
  QCheckBox* m_checkMenuFile = nullptr;
  QCheckBox* m_checkCompleteFile = nullptr;
  // Paths are kept as the file system's bytes; the worker is handed the address of one.
  std::string m_strCompleteFile;
  std::string m_strSection;
  std::string m_strLastPathItem;
  std::string m_strCompleteFileItem;
  std::string m_strProgramFileItem;
  std::string m_strTableFileItem;
  std::string m_strMenuFileItem;
  UpdaterApp* m_pApp = nullptr;
  std::string m_strLastPath;
  std::string m_strProgramFile;
  std::string m_strTableFile;
  std::string m_strMenuFile;
  QIcon m_hIcon;

 public slots:
  void done(int result) override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The check boxes and edits of each file row, for the shared rules.
  QCheckBox* BoxOf(FileRow row) const;
  QLineEdit* EditOf(FileRow row) const;
  bool IsChecked(FileRow row) const override;
  void SetChecked(FileRow row, bool checked) override;
  void SetReadOnly(FileRow row, bool read_only) override;

  void Browse(std::string* target);
  void Message(const QString& text, QMessageBox::Icon icon);
  // Shows that the program waits for a worker that is still running, until it has ended;
  // the operator may leave at once unless the image is going out.
  void WaitForWorkerToFinish();
  bool Simulated() const;

  UpdaterApp* app_;
  std::unique_ptr<MessageSink> own_sink_;
  std::unique_ptr<FileChooser> own_chooser_;
  MessageSink* sink_;
  FileChooser* chooser_;
  std::function<void()> help_action_;
  // The last status window saw the whole image go out (it takes reports off the board).
  bool image_seen_in_box_ = false;
};

}  // namespace m4410
