// The main dialog in Qt widgets: the complete-file row (and three hidden part-file rows),
// Start, Quit, Help and the browse buttons. Its behaviour is the shared controller's; this
// class draws it and turns Qt's events into the controller's handlers.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "qt/message_sink.h"
#include "ui/main_dialog_controller.h"

class QCheckBox;
class QLineEdit;

namespace m4410 {

class FileChooser;
class UpdaterApp;

class UpdaterDialog : public QDialog, public MainDialogController {
  Q_OBJECT

 public:
  static constexpr int kTemplateId = 102;

  explicit UpdaterDialog(UpdaterApp* app, QWidget* parent = nullptr);
  ~UpdaterDialog() override;

  // Opens the dialog (OnInitDialog) and runs it modally.
  int DoModal();
  // Icon, settings, check boxes, read-only states and the remembered paths in the edits.
  void OnInitDialog();

  void OnHelpButton();
  void OnHelpInfo();

  // Seams for tests; the defaults show real boxes and dialogs and open the help viewer.
  void SetMessageSink(MessageSink* sink);
  void SetFileChooser(FileChooser* chooser);
  void SetHelpAction(std::function<void()> action);

  // Control members, in the order the main dialog has always declared them; its strings
  // (m_strCompleteFile ...) are the controller's.
  QLineEdit* m_editProgramFile = nullptr;
  QLineEdit* m_editTableFile = nullptr;
  QLineEdit* m_editMenuFile = nullptr;
  QLineEdit* m_editCompleteFile = nullptr;
  QCheckBox* m_checkTableFile = nullptr;
  QCheckBox* m_checkProgramFile = nullptr;
  QCheckBox* m_checkMenuFile = nullptr;
  QCheckBox* m_checkCompleteFile = nullptr;
  UpdaterApp* m_pApp = nullptr;
  QIcon m_hIcon;

 public slots:
  void done(int result) override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class View;  // the controller's view of these widgets

  // Beyond the template: the note on a run whose status window was closed early, its OK.
  void AddRunNote();

  bool Simulated() const;

  UpdaterApp* app_;
  std::unique_ptr<MessageSink> own_sink_;
  std::unique_ptr<FileChooser> own_chooser_;
  MessageSink* sink_;
  FileChooser* chooser_;
  std::function<void()> help_action_;
  QTimer run_timer_;
};

}  // namespace m4410
